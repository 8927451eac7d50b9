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
  // An interrupted run must not leave its flag behind to block the next.
  if (!platform::CreateExclusiveRemovedOnInterrupt(kBusyFlagName)) return BusyClaim::kBusy;
  claimed = true;
  return BusyClaim::kClaimed;
}

bool ReleaseBusyFlag() {
  if (!claimed) return true;
  claimed = false;
  platform::DisarmInterruptRemoval();
  return platform::DeleteFile(kBusyFlagName);
}
