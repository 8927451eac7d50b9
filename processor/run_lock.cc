#include "processor/run_lock.h"

#include <cstring>

BusyClaim RunLock::Claim(std::string* error_text) {
  const platform::FlagClaim claim = env_.ClaimProcessFlag(kBusyFlagName);
  stale_pid_ = claim.stale_pid;
  switch (claim.result) {
    case platform::FlagClaim::kClaimed:
      claimed_ = true;
      return BusyClaim::kClaimed;
    case platform::FlagClaim::kBusy:
      return BusyClaim::kBusy;
    case platform::FlagClaim::kFailed:
      break;
  }
  if (error_text) *error_text = std::strerror(claim.error);
  return BusyClaim::kFailed;
}

bool RunLock::Release() {
  if (!claimed_) return true;
  claimed_ = false;
  return env_.ReleaseProcessFlag();
}
