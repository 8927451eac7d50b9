#include "processor/run_lock.h"

#include <cstring>

#include "platform/platform.h"

namespace {
bool claimed = false;
int stale_pid = 0;
}  // namespace

BusyClaim ClaimBusyFlag(std::string* error_text) {
  platform::CriticalErrorsOff quiet;
  const platform::FlagClaim claim = platform::CurrentEnv().ClaimProcessFlag(kBusyFlagName);
  stale_pid = claim.stale_pid;
  switch (claim.result) {
    case platform::FlagClaim::kClaimed:
      claimed = true;
      return BusyClaim::kClaimed;
    case platform::FlagClaim::kBusy:
      return BusyClaim::kBusy;
    case platform::FlagClaim::kFailed:
      break;
  }
  if (error_text) *error_text = std::strerror(claim.error);
  return BusyClaim::kFailed;
}

int StaleBusyFlagPid() { return stale_pid; }

bool ReleaseBusyFlag() {
  if (!claimed) return true;
  claimed = false;
  return platform::CurrentEnv().ReleaseProcessFlag();
}
