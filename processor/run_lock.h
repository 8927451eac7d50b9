// pelix.bsy, the flag that keeps two runs of pelix, or pelix and setup,
// from working on the configuration at the same time.
#pragma once

#include <string>

inline constexpr char kBusyFlagName[] = "pelix.bsy";

enum class BusyClaim { kClaimed, kBusy, kFailed };

// Claims the flag: kBusy when a live process holds it or it holds no
// process id (made by hand or by other software); kFailed when it cannot be
// made, `error_text` then tells why. A flag left by a process that ended
// without removing it is removed first (StaleBusyFlagPid).
BusyClaim ClaimBusyFlag(std::string* error_text = nullptr);

// The process id of a stale flag the claim removed, 0 when none: logged
// once the log file is known.
int StaleBusyFlagPid();

// Removes the flag; false when it could not be removed. Does nothing unless
// this run claimed it.
[[nodiscard]] bool ReleaseBusyFlag();
