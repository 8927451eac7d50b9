// Requests for echoes this node does not carry, forwarded to an uplink's
// robot: each downlink that asked is remembered in pelix.fwd in the node
// directory until the echo arrives, and is then linked to it. One line per
// request: the tag, the downlink, the uplink and the UTC seconds of the
// request, separated by blanks. The file is replaced as a whole, never
// appended to, so that a run killed while writing it leaves it as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"

inline constexpr char kForwardedRequestsFile[] = "pelix.fwd";
// A request whose echo has not come after this many days is forgotten: the
// uplink did not take it.
inline constexpr int64_t kForwardedRequestDays = 60;
// No pelix.fwd comes near this; a larger one is not read.
inline constexpr size_t kForwardedRequestsLimit = 16 << 20;

struct ForwardedRequest {
  std::string tag;
  std::string downlink;  // the address as the request came from it
  std::string uplink;
  int64_t time = 0;

  bool operator==(const ForwardedRequest&) const = default;
};

// The file's text, and back; a line that is not whole (no line end) or not
// of four values is passed over.
std::string ForwardedRequestsText(const std::vector<ForwardedRequest>& requests);
std::vector<ForwardedRequest> ParseForwardedRequests(std::string_view text);

// Adds `requests` to pelix.fwd (one that is there already takes the newer
// time), dropping those older than kForwardedRequestDays on the way. False,
// errno telling why, when pelix.fwd could not be read or written: it is
// then as it was.
[[nodiscard]] bool RememberForwardedRequests(platform::Env& env,
                                             const std::vector<ForwardedRequest>& requests);

// For the echo `echo_index` of the configuration, just created by its first
// TIC: every downlink that asked for its tag (and is still a link) gets an
// entry that sends it the files, logged '&', and its request is forgotten;
// pelix.fe is written back. When it cannot be written the entries are taken
// back and the requests stay (logged).
void LinkForwardedRequesters(platform::Env& env, Log& log, Configuration& config,
                             size_t echo_index);
