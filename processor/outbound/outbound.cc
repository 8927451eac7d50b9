#include "processor/outbound/outbound.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

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

// The base name without creating anything and without logging, for the
// flag operations: the directories are made, and a missing domain is
// reported, by OutboundBase before a destination is worked on.
std::optional<std::string> BaseName(const FidoAddress& address, const std::string& domain) {
  const DomainRecord* chosen = ChosenDomain(address, domain);
  if (!chosen || chosen->outbound_dir.empty()) return std::nullopt;
  std::string base = NodeBase(ZoneDirectory(*chosen, address), address);
  if (address.point != 0)
    base += Format(".pnt%c%8.8x", platform::kSeparator, address.point);
  return base;
}

// What our busy flag holds: who made it and the process that holds it, as
// binkd writes its pid into its own flags.
constexpr char kOurFlagWord[] = "pelix";
constexpr int64_t kForeignFlagStaleSeconds = 3600;

std::string OurFlagText() {
  return Format("%s %d\n", kOurFlagWord, platform::CurrentEnv().CurrentPid());
}

// The flag we hold at the moment; empty when none.
std::string held_flag;

// While KeepBusyFlags is on: the flags our exports are done with, left
// standing (each removed by an interrupt) until the group of TICs is done.
bool keeping_flags = false;
std::vector<std::string> kept_flags;
// Kept flags, and taken-up ones, that an interrupt removes.
std::unordered_set<std::string> armed_flags;

// The directory of a flag or base name, with its closing "/".
std::string DirectoryOf(const std::string& path) {
  return path.substr(0, path.find_last_of('/') + 1);
}

bool IsKept(const std::string& flag) {
  return std::find(kept_flags.begin(), kept_flags.end(), flag) != kept_flags.end();
}

// The first decimal number of a flag's text, after "pelix" for ours; 0
// when it holds none.
int FlagPid(const std::string& text, bool& ours) {
  size_t at = 0;
  ours = text.compare(0, sizeof kOurFlagWord - 1, kOurFlagWord) == 0;
  if (ours) at = sizeof kOurFlagWord - 1;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  int64_t pid = 0;
  bool digits = false;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && pid < 0x7fffffff) {
    pid = pid * 10 + (text[at++] - '0');
    digits = true;
  }
  return digits ? static_cast<int>(pid) : 0;
}

// A flag whose process is gone can never be removed by its owner. Ours
// (named by "pelix") goes at once; another program's only when it is older
// than an hour as well, since its pid may belong to another machine that
// shares the outbound. A flag without a pid keeps its meaning: busy.
bool FlagIsStale(const std::string& path, int& pid) {
  if (path == held_flag || IsKept(path)) return false;
  std::string text;
  {
    platform::CriticalErrorsOff quiet;
    if (!platform::ReadWholeFile(platform::CurrentEnv(), path, text, 256)) return false;
  }
  bool ours = false;
  pid = FlagPid(text, ours);
  if (pid <= 0) return false;
  platform::Env& env = platform::CurrentEnv();
  // Our pid in a flag we do not hold: a killed run before us had our pid.
  const bool gone = pid == env.CurrentPid() || !env.ProcessExists(pid);
  if (!gone) return false;
  if (ours) return true;
  int64_t modified = 0;
  if (!env.ModifiedSeconds(path, modified)) return false;
  return platform::UtcSeconds() - modified > kForeignFlagStaleSeconds;
}

// Removes the flag at `path` when it is stale; true when it is gone.
bool RemoveIfStale(const std::string& path) {
  int pid = 0;
  if (!FlagIsStale(path, pid)) return false;
  LogLine(kMarkError, Format("Removing stale busy flag %s of process %d", path.c_str(), pid));
  if (platform::DeleteFile(path)) return true;
  LogLine(kMarkError, Format("Can't remove %s", path.c_str()));
  return false;
}

}  // namespace

std::optional<std::string> OutboundDirectory(const FidoAddress& address,
                                             const std::string& domain) {
  const DomainRecord* chosen = ChosenDomain(address, domain);
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
  return ZoneDirectory(*chosen, address);
}

bool OutboundKnown(const FidoAddress& address, const std::string& domain) {
  return BaseName(address, domain).has_value();
}

std::optional<std::string> OutboundBase(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> dir = OutboundDirectory(address, domain);
  if (!dir) return std::nullopt;
  // A directory that cannot be made shows when the flag or the flow file
  // cannot be created there. Made once a run.
  std::unordered_set<std::string>& made = State().outbound_dirs_made;
  if (made.insert(*dir).second) (void)platform::MakeDirectory(*dir);
  std::string base = NodeBase(*dir, address);
  if (address.point != 0) {
    if (made.insert(base + ".pnt").second) (void)platform::MakeDirectory(base + ".pnt");
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
  const std::string dir = DirectoryOf(*base);
  const std::string name = base->substr(dir.size());
  // The busy flag and the mailer's call flag, named as a Unix mailer names
  // them or all in capitals as a DOS-born one does; looked at by name, so a
  // destination costs the same however many files the outbound holds.
  const std::string upper = ToUpperAscii(name);
  const std::string flags[] = {dir + name + ".bsy", dir + name + ".csy", dir + upper + ".BSY",
                               dir + upper + ".CSY"};
  bool busy = false;
  for (const std::string& flag : flags)
    if (platform::ExistsExactly(flag) && !RemoveIfStale(flag)) busy = true;
  return busy;
}

bool WaitWhileAnyBusy(const std::vector<Destination>& destinations, int64_t limit_seconds,
                      size_t& still_busy) {
  int64_t start = platform::UtcSeconds();
  while (true) {
    still_busy = destinations.size();
    for (size_t i = 0; i < destinations.size() && still_busy == destinations.size(); ++i)
      if (LinkBusy(destinations[i].address, destinations[i].domain)) still_busy = i;
    if (still_busy == destinations.size()) return true;
    const int64_t now = platform::UtcSeconds();
    // A clock set back must not stretch the wait by the same amount.
    if (now < start) start = now;
    if (now - start >= limit_seconds) return false;
    platform::SleepMilliseconds(kBusyProbeMilliseconds);
  }
}

bool WaitWhileBusy(const FidoAddress& address, const std::string& domain,
                   int64_t limit_seconds) {
  size_t still_busy = 0;
  return WaitWhileAnyBusy({Destination{address, domain}}, limit_seconds, still_busy);
}

namespace {

// The file our busy flags in `dir` are linked from: made at the first flag
// there in a run, holding "pelix <pid>", so that a flag appears whole and
// costs a link, not a new file. nullopt when it cannot be made.
std::optional<std::string> FlagSide(const std::string& dir) {
  auto& sides = State().busy_flag_sides;
  if (auto found = sides.find(dir); found != sides.end()) return found->second;
  const std::string side = dir + Format("~pelix.%d.bsy", platform::CurrentEnv().CurrentPid());
  // Left by a killed run that had our process id.
  if (platform::ExistsExactly(side)) (void)platform::DeleteFile(side);
  bool taken = false;
  platform::FilePtr file = platform::CurrentEnv().Open(side, platform::OpenMode::kCreateExact, &taken);
  if (!file) return std::nullopt;
  bool ok = file->Write(OurFlagText());
  ok = file->Close() && ok;
  if (!ok) {
    (void)platform::DeleteFile(side);  // failed already; the flag's failure is logged
    return std::nullopt;
  }
  platform::RemoveOnInterrupt(side);
  sides.emplace(dir, side);
  return side;
}

}  // namespace

BusyResult SetBusy(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return BusyResult::kFailed;
  const std::string flag = *base + ".bsy";
  platform::CriticalErrorsOff quiet;
  // A side file left by an earlier version killed while it made its flag.
  // Looked for once a run: no run but this one makes flags now.
  if (State().old_sides_looked_at.insert(flag).second) {
    const std::string old_side = platform::SideFileName(flag, 0);
    if (platform::ExistsExactly(old_side)) (void)RemoveIfStale(old_side);
  }
  const std::optional<std::string> side = FlagSide(DirectoryOf(flag));
  if (side && platform::CurrentEnv().LinkFile(*side, flag)) {
    held_flag = flag;
    platform::SetHeldOutboundFlag(flag);
    return BusyResult::kHeld;
  }
  if (side && platform::Exists(flag)) return BusyResult::kTaken;
  LogLine(kMarkError, Format("Can't create busy flag %s", flag.c_str()));
  return BusyResult::kFailed;
}

void ReleaseFlagSides() {
  for (const auto& [dir, side] : State().busy_flag_sides) {
    platform::ForgetOnInterrupt(side);
    if (!platform::DeleteFile(side)) LogLine(kMarkError, Format("Can't remove %s", side.c_str()));
  }
  State().busy_flag_sides.clear();
}

bool WaitAndSetBusy(const FidoAddress& address, const std::string& domain,
                    int64_t limit_seconds) {
  if (!kept_flags.empty()) {
    std::optional<std::string> base = BaseName(address, domain);
    const std::string flag = base ? *base + ".bsy" : std::string();
    // Ours still: taken up again, an interrupt still removing it.
    if (base && IsKept(flag)) {
      kept_flags.erase(std::find(kept_flags.begin(), kept_flags.end(), flag));
      held_flag = flag;
      return true;
    }
    // The mailer is not kept from the other destinations while we wait.
    if (!WaitWhileBusy(address, domain, 0)) ReleaseKeptFlags();
  }
  const int64_t start = platform::UtcSeconds();
  while (true) {
    const int64_t waited = platform::UtcSeconds() - start;
    const int64_t left = limit_seconds - (waited > 0 ? waited : 0);
    if (!WaitWhileBusy(address, domain, left > 0 ? left : 0)) return false;
    // The mailer may take the destination between the look and our flag.
    if (SetBusy(address, domain) != BusyResult::kTaken) return true;
  }
}

namespace {

void RemoveOurFlag(const std::string& flag) {
  // Still ours: a link of this run's side file, or (the side gone) a
  // file that holds our pid.
  const auto side = State().busy_flag_sides.find(DirectoryOf(flag));
  if (side == State().busy_flag_sides.end() ||
      !platform::CurrentEnv().SameFile(flag, side->second)) {
    std::string text;
    platform::CriticalErrorsOff quiet;
    if (!platform::ReadWholeFile(platform::CurrentEnv(), flag, text, 256) || text != OurFlagText()) return;
  }
  if (!platform::DeleteFile(flag))
    LogLine(kMarkError, Format("Can't remove busy flag %s", flag.c_str()));
}

}  // namespace

void ClearBusy(const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return;
  const std::string flag = *base + ".bsy";
  if (flag != held_flag) return;
  if (keeping_flags && (armed_flags.count(flag) || platform::RemoveOnInterrupt(flag))) {
    armed_flags.insert(flag);
    kept_flags.push_back(flag);
    platform::SetHeldOutboundFlag("");
    held_flag.clear();
    return;
  }
  // Off first: an interrupt from here on must not remove a flag the mailer
  // makes under the same name once ours is gone.
  platform::SetHeldOutboundFlag("");
  held_flag.clear();
  RemoveOurFlag(flag);
}

void KeepBusyFlags(bool keep) {
  keeping_flags = keep;
  if (!keep) ReleaseKeptFlags();
}

platform::File* KeptFlowFile(const std::string& flow_path) {
  auto& open = State().open_flow_files;
  auto found = open.find(flow_path);
  return found == open.end() ? nullptr : found->second.get();
}

bool KeepFlowFile(const std::string& flow_path, platform::FilePtr& file) {
  // Only under a flag of ours for this very destination: without one, the
  // mailer may take the file from under an old handle at any time.
  constexpr size_t kFlagExtension = sizeof ".bsy" - 1;
  if (!keeping_flags || held_flag.size() <= kFlagExtension) return false;
  const size_t base = held_flag.size() - kFlagExtension + 1;  // the "." included
  if (flow_path.compare(0, base, held_flag, 0, base) != 0) return false;
  // A hub's echo may have more links than a process may hold files open.
  constexpr size_t kMostKeptFlowFiles = 64;
  if (State().open_flow_files.size() >= kMostKeptFlowFiles) return false;
  State().open_flow_files[flow_path] = std::move(file);
  return true;
}

void ForgetFlowFile(const std::string& flow_path) {
  auto& open = State().open_flow_files;
  auto found = open.find(flow_path);
  if (found == open.end()) return;
  (void)found->second->Close();  // after a failed write, which is reported
  open.erase(found);
}

void ReleaseKeptFlags() {
  bool closed = true;
  for (auto& [flow_path, file] : std::exchange(State().open_flow_files, {})) {
    if (file->Close()) continue;
    LogLine(kMarkError, Format("Can't modify bink outbound %s", flow_path.c_str()));
    closed = false;
  }
  std::vector<std::string> flags;
  flags.swap(kept_flags);
  for (const std::string& flag : flags) {
    platform::ForgetOnInterrupt(flag);
    armed_flags.erase(flag);
    RemoveOurFlag(flag);
  }
  // The lines may be there: the TICs they name stay.
  if (!closed) FatalExit(2);
}

void RemoveStaleSideFlags(const std::string& dir) {
  const std::vector<platform::DirEntry> sides =
      platform::FindFilesQuietly(dir + platform::kSeparator + "~*.?sy");
  for (const platform::DirEntry& side : sides) {
    if (side.is_directory) continue;
    const std::string path = dir + platform::kSeparator + side.name;
    if (RemoveIfStale(path)) continue;
    // Killed before it held its pid: no run of ours makes one now (this run
    // holds pelix.bsy), so an empty side file is left over.
    std::string text;
    if (!platform::ReadWholeFile(platform::CurrentEnv(), path, text, 256) || !text.empty()) continue;
    LogLine(kMarkError, Format("Removing unfinished busy flag %s", path.c_str()));
    if (!platform::DeleteFile(path)) LogLine(kMarkError, Format("Can't remove %s", path.c_str()));
  }
}
