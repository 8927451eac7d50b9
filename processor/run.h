// One run of pelix: banner, busy flag, switches, configuration, then the
// netmail, TIC and queue passes and, with /A, the announcement.
#pragma once

#include <optional>
#include <string>
#include <vector>

inline constexpr char kVersion[] = "1.02";

// pelix.bsy could not be created (a read-only node directory, no free
// inodes): nothing was done.
inline constexpr int kExitNoBusyFlag = 4;

// Claims pelix.bsy for a program of the node (pelix, pelix-hatch), saying
// on the console why when it cannot: std::nullopt once claimed, otherwise
// the status to end with (`busy_status` when another program holds it).
std::optional<int> ClaimRunFlag(int busy_status);

// Loads the configuration, logs a stale pelix.bsy removed by the claim
// (only now is the log file known) and ends the run when no queue is set.
void LoadRunConfiguration();

// Returns the exit status of a normal end; fatal conditions end the process
// from inside through FatalExit.
int RunPelix(const std::vector<std::string>& arguments);
