#include "processor/outbound/outbound_session.h"

#include "processor/outbound/outbound_layout.h"

std::optional<std::string> OutboundSession::Base(Log& log, const FidoAddress& address,
                                                 const std::string& domain) {
  std::optional<std::string> dir = OutboundDirectory(log, address, domain);
  if (!dir) return std::nullopt;
  // A directory that cannot be made shows when the flag or the flow file
  // cannot be created there.
  if (dirs_made_.insert(*dir).second) (void)env_.MakeDirectory(*dir);
  const std::string base = NodeBaseIn(*dir, address);
  if (address.point == 0) return base;
  if (dirs_made_.insert(base + ".pnt").second) (void)env_.MakeDirectory(base + ".pnt");
  return PointBaseOf(base, address.point);
}
