// pelix.bsy, the flag that keeps two runs of pelix, or pelix and setup,
// from working on the configuration at the same time.
#pragma once

inline constexpr char kBusyFlagName[] = "pelix.bsy";

enum class BusyClaim { kClaimed, kBusy };

// Claims the flag: kBusy when another program holds it. The flag is created
// exclusively, so of two runs started together only one goes on; the
// existence test comes first because a flag whose name differs in letter
// case is the same flag.
BusyClaim ClaimBusyFlag();

// Removes the flag; false when it could not be removed. Does nothing unless
// this run claimed it.
bool ReleaseBusyFlag();
