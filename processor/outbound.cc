#include "processor/outbound.h"

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

// How often a busy destination is looked at again: often enough that a
// mailer's session end is noticed at once, rarely enough to cost nothing.
constexpr int kBusyProbeMilliseconds = 250;

const DomainRecord* DomainByName(const std::string& domain) {
  for (const DomainRecord& record : State().domain_list)
    if (EqualsIgnoreCase(record.name, domain)) return &record;
  return nullptr;
}

bool ZoneListHolds(const std::string& zone_list, uint16_t zone) {
  size_t pos = 0;
  while (pos < zone_list.size()) {
    std::string item = NextToken(zone_list, pos, ',');
    if (item.empty()) break;
    if (DecimalValue(item) == zone) return true;
  }
  return false;
}

const DomainRecord* DomainByZone(uint16_t zone) {
  for (const DomainRecord& record : State().domain_list)
    if (ZoneListHolds(record.zone_list, zone)) return &record;
  return nullptr;
}

const DomainRecord* DefaultDomain() {
  for (const DomainRecord& record : State().domain_list)
    if (record.is_default) return &record;
  return nullptr;
}

std::string NodeBase(const std::string& zone_dir, const FidoAddress& address) {
  return zone_dir + platform::kSeparator + Format("%4.4x%4.4x", address.net, address.node);
}

// The base name without creating anything, for the flag operations: the
// directories are made by OutboundBase before a destination is worked on.
std::optional<std::string> BaseName(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> dir = OutboundDirectory(address, domain);
  if (!dir) return std::nullopt;
  std::string base = NodeBase(*dir, address);
  if (address.point != 0)
    base += Format(".pnt%c%8.8x", platform::kSeparator, address.point);
  return base;
}

}  // namespace

std::optional<std::string> OutboundDirectory(const FidoAddress& address,
                                             const std::string& domain) {
  const DomainRecord* chosen = DomainByName(domain);
  if (!chosen) chosen = DomainByZone(address.zone);
  if (!chosen) chosen = DefaultDomain();
  if (!chosen) {
    LogLine(kMarkError, "No default domain");
    return std::nullopt;
  }
  // A domain left without its outbound (a blank record saved from the
  // Domain dialog) would put flow files in the root directory, or in hidden
  // ".002" directories of the node that no mailer and no queue scan reads.
  if (chosen->outbound_dir.empty()) {
    LogLine(kMarkError, Format("No outbound directory for %s", FormatAddress(address).c_str()));
    return std::nullopt;
  }
  if (chosen->has_main_zone && chosen->main_zone == address.zone) return chosen->outbound_dir;
  return chosen->outbound_dir + Format(".%3.3x", address.zone);
}

std::optional<std::string> OutboundBase(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> dir = OutboundDirectory(address, domain);
  if (!dir) return std::nullopt;
  platform::MakeDirectory(*dir);
  std::string base = NodeBase(*dir, address);
  if (address.point != 0) {
    platform::MakeDirectory(base + ".pnt");
    base += Format(".pnt%c%8.8x", platform::kSeparator, address.point);
  }
  return base;
}

std::string AbsoluteFlowPath(const std::string& path) {
  std::string joined = path;
  for (char& c : joined)
    if (c == '\\') c = '/';
  if (joined.empty() || joined[0] != '/') joined = platform::CurrentDirectory() + "/" + joined;
  std::string result;
  size_t pos = 0;
  while (pos <= joined.size()) {
    size_t end = joined.find('/', pos);
    if (end == std::string::npos) end = joined.size();
    const std::string_view part(joined.data() + pos, end - pos);
    if (!part.empty() && part != ".") {
      result += '/';
      result += part;
    }
    pos = end + 1;
  }
  return result.empty() ? "/" : result;
}

bool LinkBusy(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return false;
  platform::CriticalErrorsOff quiet;
  return !platform::FindFiles(*base + ".?sy").empty();
}

bool WaitWhileBusy(const FidoAddress& address, const std::string& domain,
                   int64_t limit_seconds) {
  int64_t start = platform::UtcSeconds();
  while (LinkBusy(address, domain)) {
    const int64_t now = platform::UtcSeconds();
    // A clock set back must not stretch the wait by the same amount.
    if (now < start) start = now;
    if (now - start >= limit_seconds) return false;
    platform::SleepMilliseconds(kBusyProbeMilliseconds);
  }
  return true;
}

void SetBusy(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return;
  platform::CriticalErrorsOff quiet;
  (void)platform::WriteWholeFile(*base + ".bsy", "");
}

void ClearBusy(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return;
  platform::DeleteFile(*base + ".bsy");
  platform::DeleteFile(*base + ".csy");
}
