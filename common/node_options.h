// The options of a node that its binary configuration has no room for,
// kept in pelix.ini in the node directory beside pelix.cfg. The file is
// optional: without it every option has its default. pelix, pelix-hatch,
// pelixcfg and setup read it; setup also writes it (through IniDocument, so
// that the sysop's comments and keys it does not know stay).
//
//   [pelix]             the node: dupe_days, late_file_days, rescan_limit
//   [echo TAG]          one echo (the tag in any letter case): replaces
//   [echo *]            every echo, for each key its own section leaves out
//   [uplink ADDRESS]    one uplink: robot, password, echo_list,
//                       forward_requests
//
// Reading never fails on what the file says: an unknown section or key, a
// line that is no `key = value`, and a value that cannot be read each give
// one warning text (the caller logs them, pelix with '!'), and the key keeps
// its default.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/fido_address.h"
#include "common/ini_document.h"

inline constexpr char kNodeOptionsFile[] = "pelix.ini";
// No options file comes near this; a larger one is refused unread, so that
// no file can take all memory.
inline constexpr size_t kNodeOptionsSizeLimit = 1 << 20;

// The widths the robot's messages give these values (FTS-0001: the To name
// 36 bytes, the subject 72, each with its zero).
inline constexpr size_t kRobotNameWidth = 35;
inline constexpr size_t kRobotPasswordWidth = 71;

struct EchoOptions {
  // A TIC's Replaces line removes the file it names from the echo's area.
  bool replaces = false;
};

struct UplinkOptions {
  FidoAddress address;
  // The name of its section as written ("uplink 2:5020/1"): where setup
  // writes a change.
  std::string section;
  std::string robot;      // the To name of our requests ("FileFix")
  std::string password;   // our password at that robot, their subject
  std::string echo_list;  // a text file of its echoes, a tag first on each line
  bool forward_requests = false;
};

struct NodeOptions {
  int dupe_days = 0;         // 0: no duplicate check
  int late_file_days = 14;   // how long a "File Missing" TIC waits for its file
  int rescan_limit = 100;    // the most files one %RESCAN sends
  EchoOptions every_echo;    // [echo *]
  // Each echo with a section of its own, [echo *] filled in for the keys
  // the section leaves out; one entry per tag (in any letter case).
  std::vector<std::pair<std::string, EchoOptions>> echoes;
  // In file order, one per system: sections naming the same system (2:5020/1
  // and 2:5020/1.0) count as one, a key written later winning.
  std::vector<UplinkOptions> uplinks;

  // The options of the echo `tag` (compared ignoring case).
  const EchoOptions& ForEcho(std::string_view tag) const;
  // nullptr when `address` is no uplink.
  const UplinkOptions* ForUplink(const FidoAddress& address) const;
};

// The options a document holds. `file_name` names the file in the warnings
// ("pelix.ini line 4: can't read dupe_days = ten (a whole number of 0 or
// more), the default is used").
NodeOptions ReadNodeOptionsFrom(const IniDocument& document, std::string_view file_name,
                                std::vector<std::string>& warnings);

// The values as the file writes them: "yes" or "no", and the readers of
// values a sysop typed: integers of 0 or more, and the switches yes|no,
// 1|0, true|false, on|off in any case.
const char* SwitchText(bool on);
bool ReadCountValue(std::string_view text, int& value);
bool ReadSwitchValue(std::string_view text, bool& value);
// True for "zone:net/node", "zone:net/node.point" with an optional
// "@domain", every number within 16 bits.
bool IsAddressText(std::string_view text);
