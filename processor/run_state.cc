#include "processor/run_state.h"

#include "platform/platform.h"

namespace {
RunState state;
}

RunState& State() { return state; }

void ResetRunState() {
  state = RunState{};
  platform::ForgetKeptNames();
}

uint32_t NextSerial() {
  uint32_t serial = static_cast<uint32_t>(platform::UtcSeconds()) + state.serial_counter;
  ++state.serial_counter;
  return serial;
}
