// setup's edits of pelix.ini, the node's options beside the configuration
// files. The dialogs show the options as pelix reads them and change the
// document in memory only where the sysop changed what was shown, so that a
// file that was merely looked at is written back as it was: comments, keys
// setup does not know and values it could not read stay untouched.
#pragma once

#include <string>
#include <string_view>

#include "common/fido_address.h"
#include "common/ini_document.h"
#include "common/node_options.h"

// The options of `document` as pelix reads them (its warnings are pelix's
// to log).
NodeOptions OptionsOf(const IniDocument& document);

// A value a dialog showed and what the sysop left in its place: nothing
// changes while they agree; an emptied field removes the key, so that its
// default holds again; any other text is set.
void StoreTypedOption(IniDocument& document, std::string_view section, std::string_view key,
                      std::string_view shown, std::string_view typed);

// The [pelix] keys as the Options dialog shows them and takes them back.
struct NodeOptionTexts {
  std::string dupe_days;
  std::string late_file_days;
  std::string rescan_limit;
};
NodeOptionTexts ShownNodeOptions(const IniDocument& document);
void StoreNodeOptions(IniDocument& document, const NodeOptionTexts& typed);

// The echo's switch as the File Echo dialog shows it: its own section's,
// else [echo *]'s.
bool EchoReplaces(const IniDocument& document, std::string_view tag);
// Takes the shown echo back: a tag typed anew takes its section along
// (unless the new tag has one already), and the switch is written into the
// echo's section when the options do not already say so. An echo without a
// tag has no section.
void StoreEchoOptions(IniDocument& document, std::string_view stored_tag, std::string_view tag,
                      bool replaces);

// The uplinks of the Options dialog, one per system (see NodeOptions).
// Adds an empty [uplink ADDRESS] section at the end; false when `address` is
// no address or names an uplink already there.
bool AddUplink(IniDocument& document, std::string_view address);
// Removes every section of that system.
void RemoveUplink(IniDocument& document, const FidoAddress& address);
// Takes the fields back into the uplink's section, each only when it
// differs from what the uplink holds.
void StoreUplink(IniDocument& document, const FidoAddress& address, const UplinkOptions& typed);
