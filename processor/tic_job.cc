#include "processor/tic_job.h"

#include "common/text_helpers.h"

bool TicJob::InSeenBy(const std::string& address) {
  // Parsed once: every entry of the echo is looked up several times.
  if (!seenby_parsed_ || seenby_.size() != tic.seenby.size()) {
    seenby_.clear();
    for (const std::string& seen : tic.seenby) {
      size_t pos = 0;
      seenby_.push_back(ParseAddress(NextToken(seen, pos, ' ')));
    }
    seenby_parsed_ = true;
  }
  const FidoAddress wanted = ParseAddress(address);
  for (const FidoAddress& seen : seenby_)
    if (seen == wanted) return true;
  return false;
}
