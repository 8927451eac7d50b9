// Loading the configuration into the run state, the look-ups every pass
// uses, and the two writers of pelix.fe and pelix.nod.
#pragma once

#include <string_view>

#include "common/fido_address.h"
#include "common/records.h"

// Reads pelix.cfg, pelix.dmn, pelix.fe and pelix.nod; returns only when the
// configuration is usable, otherwise ends the run with status 1 or 2.
void ReadConfiguration();

// First link, echo or echo entry that matches; nullptr when none does.
// Addresses match on zone, net, node and point; tags ignoring case. The
// pointers stay valid until a record is appended to the same list.
LinkRecord* FindLink(const FidoAddress& address);
FileEchoRecord* FindFileEcho(std::string_view tag);
EchoLinkEntry* FindEchoLink(FileEchoRecord& echo, const FidoAddress& address);

// FindLink and FindFileEcho look through an index of the lists. Whoever
// adds, removes, reorders or renames records of `link_list` or
// `fileecho_list` calls this, so that the next look-up sees the lists as
// they are now.
void ConfigListsChanged();

// Appends one new echo (its first entry, link_count 1) to pelix.fe; ends
// the run with status 3 when pelix.fe cannot be opened. False (logged) when
// the record could not be written: pelix.fe then stays as it was.
[[nodiscard]] bool AppendFileEcho(const FileEchoRecord& echo);

// Rewrites pelix.fe and pelix.nod from the lists, each through a side file
// forced to disk. False (logged) when one could not be written: it keeps
// its old contents (pelix.nod is not tried after pelix.fe failed).
[[nodiscard]] bool SaveFileEchoesAndLinks();
