// The serial numbers of a run: the current time in seconds plus a counter
// that starts at 0 and is raised at every use, so that two serials made in
// the same second differ. Outgoing TIC names and message identifiers draw
// on them.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class Serials {
 public:
  explicit Serials(platform::Env& env) : env_(env) {}

  uint32_t Next() { return static_cast<uint32_t>(env_.UtcSeconds()) + counter_++; }
  // Passes over `count` serials that would give a name found taken.
  void Skip(uint32_t count) { counter_ += count; }

 private:
  platform::Env& env_;
  uint32_t counter_ = 0;
};
