// One run of pelix: banner, busy flag, switches, configuration, then the
// netmail, TIC and queue passes and, with /A, the announcement.
#pragma once

#include <string>
#include <vector>

inline constexpr char kVersion[] = "1.02";

// pelix.bsy could not be created (a read-only node directory, no free
// inodes): nothing was done.
inline constexpr int kExitNoBusyFlag = 4;

// Returns the exit status of a normal end; fatal conditions end the process
// from inside through FatalExit.
int RunPelix(const std::vector<std::string>& arguments);
