// What a dump saw of the configuration files. It goes into the text the
// dump prints, so that writing that text back can tell whether anything
// changed the files in between (pelix's area manager and its auto-created
// echoes, pelix-setup, another pelixcfg) instead of silently undoing it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/node_files.h"

struct FileSeen {
  bool present = false;  // a missing file is part of what was seen, too
  uint64_t size = 0;
  uint64_t hash = 0;  // 64-bit FNV-1a of the contents

  bool operator==(const FileSeen&) const = default;
};

using NodeFingerprint = std::array<FileSeen, kNodeFileCount>;

FileSeen SeenContents(std::string_view bytes);

// "pelix.cfg=2829:0123456789abcdef pelix.dmn=- ..." ("-": no such file).
std::string FingerprintText(const NodeFingerprint& fingerprint);
// Reads FingerprintText's form back; every file must be named once, but
// pelix.ini may be left out (read as missing).
bool ParseFingerprint(std::string_view text, NodeFingerprint& fingerprint);

// The names of the files seen differently, in file order.
std::vector<std::string> ChangedFiles(const NodeFingerprint& then, const NodeFingerprint& now);
// The names of the files that exist.
std::vector<std::string> PresentFiles(const NodeFingerprint& fingerprint);
