// The TIC text format as pelix reads it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "processor/tic_limits.h"
#include "processor/tic_record.h"

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
