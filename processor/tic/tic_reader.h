// The TIC text format as pelix reads it. ReadTic itself, the entry of the
// TIC pass, is declared with the other passes in processor/passes.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "processor/tic/tic_record.h"

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
void ApplyTicLine(const std::string& line, TicRecord& tic);

// Applies every physical line of a TIC's `text` to `tic`.
void ReadTicLines(std::string_view text, TicRecord& tic);
