// What the robot knows of the node's uplinks (the [uplink ADDRESS] sections
// of pelix.ini) during one run: the echoes each one's list offers, every
// list read once at most, and the requests already forwarded to them.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/fido_address.h"
#include "common/node_options.h"
#include "platform/platform.h"
#include "processor/log.h"

// No uplink's list of echoes comes near this; a larger file is not read.
inline constexpr size_t kEchoListLimit = 16 << 20;

struct OfferedEcho {
  std::string tag;
  std::string description;
};

// The echoes a list names, in its order: the first word of each line is a
// tag, the rest of the line its description. Empty lines, lines starting
// with ';' or '#', and lines whose first word could not be a tag (a path
// separator, a wildcard, a control character) name none.
std::vector<OfferedEcho> ParseEchoList(std::string_view text);

// An echo an uplink offers that this node does not carry.
struct AvailableEcho {
  std::string tag;
  std::string description;
  const UplinkOptions* uplink;
};

class Uplinks {
 public:
  explicit Uplinks(platform::Env& env) : env_(env) {}
  Uplinks(const Uplinks&) = delete;
  Uplinks& operator=(const Uplinks&) = delete;

  // The uplink that a link's +TAG for an echo this node does not carry is
  // forwarded to: of the uplinks with forward_requests on and a robot
  // name, other than the requester, the first in file order whose list
  // names the tag; failing that, for a requester that may create echoes,
  // the first of them. nullptr when none; `listed_tag` is the tag as that
  // list spells it (as asked when no list names it).
  const UplinkOptions* ForwardTarget(Log& log, std::string_view tag,
                                     const FidoAddress& requester, bool requester_may_create,
                                     std::string& listed_tag);
  // Every echo the lists of those uplinks offer that this node does not
  // carry, each once, with the first uplink offering it.
  std::vector<AvailableEcho> NotCarried(Log& log);

  // Whether `tag` was asked of `uplink` in this run; noted once a request
  // for it was given to the mailer.
  bool Requested(std::string_view tag, const UplinkOptions& uplink) const;
  void NoteRequested(std::string_view tag, const UplinkOptions& uplink);

 private:
  struct List {
    std::vector<OfferedEcho> echoes;
    std::unordered_map<std::string, size_t> by_tag;  // the tag in capitals
  };
  const List& ListOf(Log& log, const UplinkOptions& uplink);
  static std::pair<std::string, std::string> RequestKey(std::string_view tag,
                                                        const UplinkOptions& uplink);

  platform::Env& env_;
  // By the uplink's section, which names it once.
  std::unordered_map<std::string, List> lists_;
  std::set<std::pair<std::string, std::string>> requested_;
};

// Whether `uplink` forwards requests: forward_requests on and a robot to
// send them to.
bool ForwardsRequests(const UplinkOptions& uplink);
