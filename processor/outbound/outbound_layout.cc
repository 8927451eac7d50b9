#include "processor/outbound/outbound_layout.h"

#include <cerrno>
#include <unordered_set>
#include <utility>

#include "common/text_helpers.h"
#include "processor/config_store.h"

namespace {

const DomainRecord* DomainByName(const std::string& domain) {
  for (const DomainRecord& record : Config().domain_list)
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
  for (const DomainRecord& record : Config().domain_list)
    if (ZoneListHolds(record.zone_list, zone)) return &record;
  return nullptr;
}

const DomainRecord* DefaultDomain() {
  for (const DomainRecord& record : Config().domain_list)
    if (record.is_default) return &record;
  return nullptr;
}

// The domain an address belongs to, without a word about a missing one.
const DomainRecord* ChosenDomain(const FidoAddress& address, const std::string& domain) {
  const DomainRecord* chosen = DomainByName(domain);
  if (!chosen) chosen = DomainByZone(address.zone);
  if (!chosen) chosen = DefaultDomain();
  return chosen;
}

std::string ZoneDirectory(const DomainRecord& chosen, const FidoAddress& address) {
  if (chosen.has_main_zone && chosen.main_zone == address.zone) return chosen.outbound_dir;
  return chosen.outbound_dir + Format(".%3.3x", address.zone);
}

// Lower case, and "\" as the separator it stands for.
std::string FoldedPath(std::string_view path) {
  std::string key = ToLowerAscii(path);
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

// The outbound directory may be found twice (itself and through "%s.*");
// every directory is listed once so that no flow file is read twice.
struct DirectoryList {
  std::vector<std::string> dirs;
  std::unordered_set<std::string> seen;

  void Add(const std::string& dir) {
    if (seen.insert(FoldedPath(dir)).second) dirs.push_back(dir);
  }
};

}  // namespace

std::optional<std::string> OutboundDirectory(Log& log, const FidoAddress& address,
                                             const std::string& domain) {
  const DomainRecord* chosen = ChosenDomain(address, domain);
  if (!chosen) {
    log.Write(kMarkError, "No default domain");
    return std::nullopt;
  }
  // A domain left without its outbound (a blank record saved from the
  // Domain dialog) would put flow files in the root directory, or in hidden
  // ".002" directories of the node that no mailer and no queue scan reads.
  if (chosen->outbound_dir.empty()) {
    log.Write(kMarkError, Format("No outbound directory for %s", FormatAddress(address).c_str()));
    return std::nullopt;
  }
  return ZoneDirectory(*chosen, address);
}

std::optional<std::string> BaseName(const FidoAddress& address, const std::string& domain) {
  const DomainRecord* chosen = ChosenDomain(address, domain);
  if (!chosen || chosen->outbound_dir.empty()) return std::nullopt;
  std::string base = NodeBaseIn(ZoneDirectory(*chosen, address), address);
  return address.point != 0 ? PointBaseOf(base, address.point) : base;
}

std::string NodeBaseIn(const std::string& zone_dir, const FidoAddress& address) {
  return zone_dir + platform::kSeparator + Format("%4.4x%4.4x", address.net, address.node);
}

std::string PointBaseOf(const std::string& node_base, uint16_t point) {
  return node_base + Format(".pnt%c%8.8x", platform::kSeparator, point);
}

std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.find_last_of("/\\") + 1);
}

bool NothingToList(int error) { return error == ENOENT || error == ENOTDIR; }

bool OutboundDirectories(platform::Env& env, std::vector<std::string>& dirs,
                         std::string& unlisted) {
  DirectoryList list;
  int error = 0;
  // A search that fails names its directory and keeps its reason.
  auto search = [&](const std::string& dir, const std::string& pattern,
                    std::vector<platform::DirEntry>& found) {
    if (env.ListFiles(dir + pattern, found) || NothingToList(errno)) return true;
    unlisted = dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dir.empty() ? "." : dir;
    error = errno;
    return false;
  };
  bool listed = true;
  std::vector<platform::DirEntry> found;
  for (const DomainRecord& domain : Config().domain_list) {
    const std::string& outbound = domain.outbound_dir;
    // An empty field names no outbound; searching it would walk the node
    // directory, or the root with the point pattern.
    if (outbound.empty()) continue;
    list.Add(outbound);
    size_t cut = outbound.find_last_of("\\/");
    std::string parent = cut == std::string::npos ? "" : outbound.substr(0, cut + 1);
    if (!search(parent, outbound.substr(parent.size()) + ".*", found)) listed = false;
    for (const platform::DirEntry& zone : found)
      if (zone.is_directory) list.Add(parent + zone.name);
  }
  for (size_t i = 0; i < list.dirs.size(); ++i) {
    const std::string dir = list.dirs[i];
    if (!search(dir + platform::kSeparator, "*.pnt", found)) listed = false;
    for (const platform::DirEntry& point : found)
      if (point.is_directory) list.Add(dir + platform::kSeparator + point.name);
  }
  dirs = std::move(list.dirs);
  errno = error;
  return listed;
}

std::string AbsoluteFlowPath(platform::Env& env, const std::string& path) {
  std::string joined = path;
  for (char& c : joined)
    if (c == '\\') c = '/';
  if (joined.empty() || joined[0] != '/') joined = env.CurrentDirectory() + "/" + joined;
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
