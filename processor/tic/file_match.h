// Whether a file is the one a TIC names, and whether two files are one and
// the same: by length first (no byte read), then by CRC-32. binkd keeps a
// second file of a name already in the inbound as NAME.1 (NAME.2, ...), and
// other mailers do alike: such numbered copies may be the TIC's file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "processor/tic_record.h"

// The length of a regular file (never through a symbolic link); -1 when it
// cannot be opened.
int64_t FileLength(platform::Env& env, const std::string& path);

// True when `a` and `b` have the same length and CRC-32.
bool SameContents(platform::Env& env, const std::string& a, const std::string& b);

// "NAME.1", "NAME.22": `name` is `file` followed by "." and digits.
bool IsNumberedCopyName(const std::string& name, const std::string& file);

// The names of the numbered copies of `file` among the regular files of
// `dir`, in listing order.
std::vector<std::string> NumberedCopies(platform::Env& env, const std::string& dir,
                                        const std::string& file);

// False when the TIC has a Size line (a number) that the length of `path`
// is not: then it is not the TIC's file, whatever its CRC-32.
bool SizeMatches(platform::Env& env, const std::string& path, const TicRecord& tic);

// True when `path` has the TIC's Size (if it gives one) and the CRC-32 of
// its Crc line, which it must have.
bool MatchesTic(platform::Env& env, const std::string& path, const TicRecord& tic);

// The CRC-32 of a file as a Crc line gives it: eight upper-case hexadecimal
// digits.
std::string FileCrcText(platform::Env& env, const std::string& path);
