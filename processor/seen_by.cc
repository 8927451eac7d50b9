#include "processor/seen_by.h"

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "processor/run_state.h"

bool InTicSeenBy(const std::string& address) {
  const FidoAddress wanted = ParseAddress(address);
  for (const std::string& seen : State().tic.seenby) {
    size_t pos = 0;
    if (ParseAddress(NextToken(seen, pos, ' ')) == wanted) return true;
  }
  return false;
}
