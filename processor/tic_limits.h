// The limits of the TIC text format, the same for what pelix reads and for
// what it writes (forwarded and hatched TICs): a line a receiver must cut
// starts a line of its own there, whose first word is taken as a keyword,
// and a TIC over a limit is refused by every pelix downstream.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Physical lines are read in pieces of at most this many characters; the
// rest of a longer line is read as a line of its own.
inline constexpr size_t kMaxTicLine = 254;

// A TIC is a few hundred bytes; a longer one, or one with more list lines
// (Seenby, Path, Ldesc) than any real file's travel gives, is refused to
// the bad-TIC directory rather than read whole, so that no TIC can take all
// memory.
inline constexpr size_t kMaxTicSize = 1 << 20;
inline constexpr size_t kMaxTicListLines = 10000;

// True when "`keyword` `value`" fits in one line a receiver reads whole.
bool TicLineFits(std::string_view keyword, std::string_view value);

// "`keyword` `value`" and CR LF, the value cut so that the line fits: never
// a line whose rest a receiver reads as a line of its own.
std::string TicLine(std::string_view keyword, std::string_view value);

// A line of long description as the values of lines of `keyword` that fit:
// broken after the last space that lets a piece fit, or cut where a word is
// longer than a line. An empty text gives one empty value.
std::vector<std::string> WrapTicValue(std::string_view keyword, std::string_view text);

// True for a name ending in ".tic" (any letter case): a file of that name
// would be taken for a TIC by the receiver's search of its inbound.
bool IsTicName(std::string_view name);
