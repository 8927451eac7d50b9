// pelix.bsy, the flag that keeps two runs of pelix, or pelix and setup,
// from working on the configuration at the same time.
#pragma once

#include <string>

#include "platform/platform.h"

inline constexpr char kBusyFlagName[] = "pelix.bsy";

enum class BusyClaim { kClaimed, kBusy, kFailed };

class RunLock {
 public:
  explicit RunLock(platform::Env& env) : env_(env) {}

  // Claims the flag: kBusy when a live process holds it or it holds no
  // process id (made by hand or by other software); kFailed when it cannot
  // be made, `error_text` then tells why. A flag left by a process that
  // ended without removing it is removed first (stale_pid).
  BusyClaim Claim(std::string* error_text = nullptr);

  // The process id of a stale flag the claim removed, 0 when none: logged
  // once the log file is known.
  int stale_pid() const { return stale_pid_; }

  // Removes the flag; false when it could not be removed. Does nothing
  // unless this lock claimed it.
  [[nodiscard]] bool Release();

 private:
  platform::Env& env_;
  bool claimed_ = false;
  int stale_pid_ = 0;
};
