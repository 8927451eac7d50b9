#include "processor/run_state.h"

#include "common/text_helpers.h"
#include "platform/platform.h"

namespace {
RunState state;
}

size_t TagHash::operator()(std::string_view tag) const {
  // FNV-1a over the letters in one case: texts that TagEqual calls equal
  // hash alike.
  uint64_t hash = 14695981039346656037ull;
  for (char c : tag) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return static_cast<size_t>(hash);
}

bool TagEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualsIgnoreCase(a, b);
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
