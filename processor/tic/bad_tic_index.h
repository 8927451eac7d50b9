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
// a "*.tic" name, so no TIC search finds it.
inline constexpr char kBadTicIndexName[] = "badtics.idx";


// Notes the TIC just moved into bad_tic_dir as `tic_name` and why.
void RecordBadTic(platform::Env& env, Log& log, const std::string& tic_name,
                  std::string_view reason);

// Moves back into the inbound every TIC of bad_tic_dir refused with "File
// Missing" less than late_file_days (pelix.ini) ago whose file is now in the
// inbound, for the TIC pass to handle. A missing or damaged index retries
// nothing (or only what its whole lines name).
void RetryTicsWhoseFileArrived(platform::Env& env, Log& log);
