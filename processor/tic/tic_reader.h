// The TIC text format as pelix reads it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "processor/tic_record.h"

// Physical lines are read in pieces of at most this many characters; the
// rest of a longer line is read as a line of its own.
inline constexpr size_t kMaxTicLine = 254;

// A TIC is a few hundred bytes; a longer one, or one with more list lines
// than any real file's travel gives, is refused to the bad-TIC directory
// rather than read whole, so that no TIC can take all memory.
inline constexpr size_t kMaxTicSize = 1 << 20;
inline constexpr size_t kMaxTicListLines = 10000;

// Applies one physical line (line end included or not) to `tic`: the first
// space-separated word is the keyword, matched ignoring case; the rest after
// its spaces is the value. Unknown keywords and empty lines change nothing.
void ApplyTicLine(std::string_view line, TicRecord& tic);

// Applies every physical line of a TIC's `text` to `tic`.
void ReadTicLines(std::string_view text, TicRecord& tic);

enum class TicText {
  kRead,
  kUnreadable,  // not opened: it stays for the next run
  kTooBig,      // over kMaxTicSize: only its beginning was read
};

// Reads the TIC at `tic_path` (never through a symbolic link) and parses it
// into `tic`, which is emptied first. Nothing else: what the TIC means is
// for the checks that follow.
TicText ReadTic(platform::Env& env, const std::string& tic_path, TicRecord& tic);
