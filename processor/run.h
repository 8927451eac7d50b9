// One run of pelix: banner, busy flag, switches, configuration, then the
// netmail, TIC and queue passes and, with /A, the announcement. The run
// owns what its passes change and hands it down to them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/run_lock.h"
#include "processor/run_status.h"
#include "processor/version.h"

// pelix.bsy could not be created (a read-only node directory, no free
// inodes): nothing was done.
inline constexpr int kExitNoBusyFlag = 4;

// Started by root in a node directory that belongs to another user, a
// program of the node refuses before it writes anything: the console line
// names the owner and the command to run as that user; the status is
// kExitNotNodeOwner. std::nullopt when it may run.
std::optional<int> RefuseForeignNode(platform::Env& env, const std::string& program,
                                     const std::vector<std::string>& arguments);

// A run with /E that logged an error line ends with this status instead
// of 0, so that a service manager shows it as failed.
inline constexpr int kExitErrorsLogged = 6;

// Claims pelix.bsy for a program of the node (pelix, pelix-hatch), saying
// on the console why when it cannot: std::nullopt once claimed, otherwise
// the status to end with (`busy_status` when another program holds it).
// "Pelix is busy" is logged too when pelix.cfg names a log file.
std::optional<int> ClaimRunFlag(platform::Env& env, RunLock& lock, int busy_status);

// What every program of the node checks once its configuration is loaded
// and its log known: logs a stale pelix.bsy the claim removed and what
// pelix.ini holds that could not be read, and ends the run when no queue is
// set.
RunStatus CheckRunConfiguration(const RunLock& lock, const Configuration& config, Log& log);

// The exit status of the run. Every fatal condition of a pass comes back
// here as a RunStatus; only a log that cannot be opened and memory running
// out end the process where they happen.
int RunPelix(platform::Env& env, const std::vector<std::string>& arguments);
