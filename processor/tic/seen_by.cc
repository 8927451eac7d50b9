#include "processor/tic/seen_by.h"

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "processor/run_state.h"

namespace {

// The addresses of the TIC's Seenby lines, read once per TIC: every entry
// of the echo is looked up there several times.
const std::vector<FidoAddress>& SeenByAddresses() {
  RunState& state = State();
  const TicRecord& tic = state.tic;
  if (tic.serial == 0 || state.seenby_serial != tic.serial ||
      state.seenby_addresses.size() != tic.seenby.size()) {
    state.seenby_addresses.clear();
    for (const std::string& seen : tic.seenby) {
      size_t pos = 0;
      state.seenby_addresses.push_back(ParseAddress(NextToken(seen, pos, ' ')));
    }
    state.seenby_serial = tic.serial;
  }
  return state.seenby_addresses;
}

}  // namespace

bool InTicSeenBy(const std::string& address) {
  const FidoAddress wanted = ParseAddress(address);
  for (const FidoAddress& seen : SeenByAddresses())
    if (seen == wanted) return true;
  return false;
}
