// Why each TIC in bad_tic_dir was refused, kept in a small index beside
// them, so that a TIC refused only because its file had not arrived yet is
// handled once the file is there (mailers often deliver a TIC in one
// session and its file in the next).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "processor/log.h"

// The index in bad_tic_dir: one line per moved TIC, "NAME<TAB>REASON<TAB>
// UTC seconds of the move", CR LF ended; a later line for a name wins. Not
// a "*.tic" name, so no TIC search finds it, and no TIC's File may be it.
inline constexpr char kBadTicIndexName[] = "badtics.idx";

// Notes the TIC just moved into bad_tic_dir as `tic_name` and why.
void RecordBadTic(platform::Env& env, Log& log, const std::string& tic_name,
                  std::string_view reason);

// Moves back into the inbound every TIC of bad_tic_dir that was refused
// for its file ("File Missing", "Bad CRC32", "Bad Size") less than
// `wait_seconds` ago, that a link sent with its password, and whose file
// is now in the inbound (under its name or as the mailer's numbered copy,
// its length and CRC-32 the TIC's), for the TIC pass to handle. Lines older
// than that, and those of TICs no longer there, are dropped from the index
// once they are half of it. An index that cannot be read is logged and
// retries nothing; a damaged one retries what its whole lines name.
void RetryTicsWhoseFileArrived(platform::Env& env, Log& log, int64_t wait_seconds);
