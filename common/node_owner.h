// The programs of a node (pelix, pelix-hatch, pelixcfg, the editor) run as
// the user who owns the node directory, the mailer's user: files they leave
// in the outbound, the queue or the configuration must stay readable and
// replaceable by it. Started by root in another user's node directory they
// refuse before writing anything.
#pragma once

#include <string>

// The exit status of that refusal, the same for every program of the node.
inline constexpr int kExitNotNodeOwner = 10;

// The refusal, one line: who owns the node and how to run `command` as
// that user ("Fatal : ... sudo -u ftn pelix /A").
std::string NotNodeOwnerText(const std::string& owner, const std::string& command);
