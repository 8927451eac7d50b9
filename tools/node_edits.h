// The changes pelixcfg makes in place, each on the records read from a
// node and each touching one file: the links in pelix.nod, the echoes and
// their subscriptions in pelix.fe. Each returns true with what it did in
// `said`, or false with why it refused in `said`, the records unchanged.
//
// Addresses compare as pelix compares them (zone, net, node and point; the
// domain plays no part), echo tags ignoring letter case. Settings are
// "KEY=VALUE" with the names and limits of the text form.
#pragma once

#include <string>
#include <vector>

#include "tools/config_text.h"

// ADDRESS [KEY=VALUE...]: a new link, Normal flavour, as pelix-setup makes one.
bool AddLink(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);
// ADDRESS KEY=VALUE...: any field but the address.
bool SetLink(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);
// ADDRESS: the link goes; echoes that still list it are named.
bool RemoveLink(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);

// TAG [DESCRIPTION...]: a new echo, its tag in upper case as pelix-setup
// enters it.
bool AddEcho(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);
// TAG KEY=VALUE...: any field but the tag.
bool SetEcho(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);
// TAG: the echo and its subscriptions go.
bool RemoveEcho(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);

// ADDRESS TAG receive|send|both: the link's entry in the echo gets exactly
// these flags. "receive": this node takes the echo's files from the link;
// "send": this node sends them to it.
bool Subscribe(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);
// ADDRESS TAG: the link's entry leaves the echo.
bool Unsubscribe(ConfigText& node, const std::vector<std::string>& arguments, std::string& said);
