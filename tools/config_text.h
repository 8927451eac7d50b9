// A readable text form of a whole configuration (all four files), used by
// the demo and the tests to build sample nodes, and to read back what the
// programs wrote.
//
//   # comment
//   [config]              one section, MainConfig fields by name
//   version = 4           written as given (4 unless set)
//   inbound_dir = in/
//   [domain]              one section per DomainRecord, in file order
//   [echo]                one per FileEchoRecord; entries as
//   link = 2:5020/1 receive send     (flags: receive, send, or -)
//   [link]                one per LinkRecord
//
// The names are those of common/record_fields.h. Unknown sections or
// fields, and values that do not fit their field, are errors, so a typing
// mistake is reported instead of silently giving an empty or a cut field.
// Sections are started and fed by their name, so a later section that
// keeps its lines verbatim (another program's settings) needs only a case
// of its own in the parser.
#pragma once

#include <string>
#include <vector>

#include "common/records.h"

struct ConfigText {
  MainConfig config;
  std::vector<DomainRecord> domains;
  std::vector<FileEchoRecord> echoes;
  std::vector<LinkRecord> links;
};

// Parses the text; on failure returns false and says why in `error`
// ("line 3: ...").
bool ParseConfigText(const std::string& text, ConfigText& out, std::string& error);

// The text form of a configuration; ParseConfigText reads it back unchanged.
std::string FormatConfigText(const ConfigText& config);

// An echo's entry as its "link =" line shows it: "2:5020/1 receive send".
std::string EchoLinkText(const EchoLinkEntry& entry);

// Writes pelix.cfg, pelix.dmn, pelix.fe and pelix.nod into `dir` (which
// ends in "/" or is empty). The version field is written as held.
bool WriteConfigFiles(const ConfigText& config, const std::string& dir);

// Reads the four files of `dir`; missing files give empty parts.
bool ReadConfigFiles(const std::string& dir, ConfigText& out, std::string& error);
