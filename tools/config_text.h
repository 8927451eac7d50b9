// A readable text form of a whole configuration (all four files): what
// pelixcfg dumps and writes, and what the demo and the tests build sample
// nodes from.
//
//   # comment
//   # fingerprint: pelix.cfg=2829:... pelix.dmn=- ...   (what a dump saw)
//   [config]              one section, MainConfig fields by name
//   version = 4           written as given (4 unless set)
//   inbound_dir = in/
//   [domain]              one section per DomainRecord, in file order
//   [echo]                one per FileEchoRecord; entries as
//   link = 2:5020/1 receive send     (flags: receive, send, or -; seen from
//                                     this node: receive from, send to the link)
//   [link]                one per LinkRecord
//   [ini]                 pelix.ini, one quoted text per line of the file
//   line = "[pelix]"      (common/ini_text_form.h), byte for byte; without
//   line = "dupe_days = 7"   this section there is no pelix.ini, or it is
//                         left as it is
//
// The names are those of common/record_fields.h. Unknown sections or
// fields, and values that do not fit their field, are errors, so a typing
// mistake is reported instead of silently giving an empty or a cut field.
// The fingerprint names pelix.cfg, pelix.ini, pelix.dmn, pelix.fe and
// pelix.nod in this order, the [config] section comes first and [ini]
// after it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/records.h"
#include "tools/fingerprint.h"

struct ConfigText {
  MainConfig config;
  std::vector<DomainRecord> domains;
  std::vector<FileEchoRecord> echoes;
  std::vector<LinkRecord> links;
  // pelix.ini as it is, byte for byte; none: no such file (or, in a text,
  // none to write).
  std::optional<std::string> ini;
  // What the files were when this text was dumped; none in a text written
  // by hand.
  std::optional<NodeFingerprint> fingerprint;
};

// Parses the text; on failure returns false and says why in `error`
// ("line 3: ...").
bool ParseConfigText(const std::string& text, ConfigText& out, std::string& error);

// The text form of a configuration; ParseConfigText reads it back unchanged.
std::string FormatConfigText(const ConfigText& config);

// An echo's entry as its "link =" line shows it: "2:5020/1 receive send".
std::string EchoLinkText(const EchoLinkEntry& entry);
