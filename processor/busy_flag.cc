#include "processor/busy_flag.h"

#include "platform/platform.h"

namespace {
bool claimed = false;
}

BusyClaim ClaimBusyFlag() {
  {
    platform::CriticalErrorsOff quiet;
    if (!platform::FindFiles(kBusyFlagName).empty()) return BusyClaim::kBusy;
  }
  if (!platform::CreateExclusive(kBusyFlagName)) return BusyClaim::kBusy;
  claimed = true;
  // An interrupted run must not leave its flag behind to block the next.
  platform::RemoveOnInterrupt(kBusyFlagName);
  return BusyClaim::kClaimed;
}

bool ReleaseBusyFlag() {
  if (!claimed) return true;
  claimed = false;
  platform::RemoveOnInterrupt("");
  return platform::DeleteFile(kBusyFlagName);
}
