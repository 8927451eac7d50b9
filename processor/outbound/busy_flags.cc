// The busy-flag protocol pelix follows around every change it makes to a
// destination's files in the outbound, shared with the mailer.
#include <algorithm>
#include <cerrno>
#include <utility>

#include "common/text_helpers.h"
#include "processor/outbound/outbound_layout.h"
#include "processor/outbound/outbound_session.h"

namespace {

// How often a busy destination is looked at again: often enough that a
// mailer's session end is noticed at once, rarely enough to cost nothing.
constexpr int kBusyProbeMilliseconds = 250;

// What our busy flag holds: who made it and the process that holds it, as
// binkd writes its pid into its own flags.
constexpr char kOurFlagWord[] = "pelix";
constexpr int64_t kForeignFlagStaleSeconds = 3600;

// A hub's echo may have more links than the exit clean-up has room for.
constexpr size_t kMostKeptFlags = 64;

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

std::string OutboundSession::OurFlagText() {
  return Format("%s %d\n", kOurFlagWord, env_.CurrentPid());
}

bool OutboundSession::IsKept(const std::string& flag) const {
  return std::find(kept_flags_.begin(), kept_flags_.end(), flag) != kept_flags_.end();
}

bool OutboundSession::Arm(const std::string& path) {
  if (armed_.count(path)) return true;
  const std::string native = env_.NativePath(path);
  if (!cleanup_.Add(native)) return false;
  armed_.emplace(path, native);
  return true;
}

void OutboundSession::Disarm(const std::string& path) {
  auto found = armed_.find(path);
  if (found == armed_.end()) return;
  cleanup_.Forget(found->second);
  armed_.erase(found);
}

// A flag whose process is gone can never be removed by its owner. Ours
// (named by "pelix") goes at once; another program's only when it is older
// than an hour as well, since its pid may belong to another machine that
// shares the outbound. A flag without a pid keeps its meaning: busy.
bool OutboundSession::FlagIsStale(const std::string& path, int& pid) {
  if (path == held_flag_ || IsKept(path)) return false;
  // This run's side files hold our pid, and are ours until the run ends.
  for (const auto& [dir, side] : sides_)
    if (side.path == path) return false;
  std::string text;
  if (!platform::ReadWholeFile(env_, path, text, 256)) return false;
  const bool ours = text.compare(0, sizeof kOurFlagWord - 1, kOurFlagWord) == 0;
  pid = ProcessIdIn(text, ours ? kOurFlagWord : "");
  if (pid <= 0) return false;
  // Our pid in a flag we do not hold: a killed run before us had our pid.
  const bool gone = pid == env_.CurrentPid() || !env_.ProcessExists(pid);
  if (!gone) return false;
  if (ours) return true;
  int64_t modified = 0;
  if (!env_.ModifiedSeconds(path, modified)) return false;
  return env_.UtcSeconds() - modified > kForeignFlagStaleSeconds;
}

// Removes the flag at `path` when it is stale; true when it is gone.
bool OutboundSession::RemoveIfStale(Log& log, const std::string& path) {
  int pid = 0;
  if (!FlagIsStale(path, pid)) return false;
  log.Write(kMarkError, Format("Removing stale busy flag %s of process %d", path.c_str(), pid));
  if (env_.DeleteFile(path)) return true;
  log.Write(kMarkError, WithReason(Format("Can't remove %s", path.c_str()), errno));
  return false;
}

// The flags of `dir` (names ending in ".?sy"), read once while listings
// are on; our side files ("~" names) are not flags of a destination.
const std::map<std::string, std::string>& OutboundSession::FlagNamesIn(const std::string& dir) {
  auto found = flag_listings_.find(dir);
  if (found != flag_listings_.end()) return found->second;
  std::map<std::string, std::string>& names = flag_listings_[dir];
  for (const platform::DirEntry& entry : env_.FindFiles(dir + "*.?sy"))
    if (!entry.is_directory && entry.name[0] != '~') names.emplace(ToLowerAscii(entry.name), entry.name);
  return names;
}

bool OutboundSession::LinkBusy(Log& log, const FidoAddress& address, const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return false;
  const std::string dir = DirectoryOf(*base);
  const std::string name = base->substr(dir.size());
  // The mailer's busy and call flags, named as a Unix mailer names them or
  // all in capitals as a DOS-born one does, are looked at by name every
  // time: the mailer may start a session at any moment. Any other flag of
  // the destination (another letter before "sy", another mix of cases)
  // comes from the directory's listing, read once a group while listings
  // are on.
  const std::string upper = ToUpperAscii(name);
  std::vector<std::string> flags;
  for (const std::string& flag : {name + ".bsy", name + ".csy", upper + ".BSY", upper + ".CSY"})
    if (env_.ExistsExactly(dir + flag)) flags.push_back(flag);
  if (!listing_flags_) flag_listings_.erase(dir);
  const std::string prefix = ToLowerAscii(name) + ".";
  const std::map<std::string, std::string>& names = FlagNamesIn(dir);
  std::vector<std::string> listed;
  for (auto it = names.lower_bound(prefix); it != names.end() && StartsWith(it->first, prefix);
       ++it)
    if (it->first.size() == prefix.size() + 3 && it->first.compare(prefix.size() + 1, 2, "sy") == 0)
      listed.push_back(it->second);
  for (const std::string& flag : listed) {
    if (std::find(flags.begin(), flags.end(), flag) != flags.end()) continue;
    // Gone since the listing: nothing holds the destination any more.
    if (env_.ExistsExactly(dir + flag)) {
      flags.push_back(flag);
    } else {
      flag_listings_[dir].erase(ToLowerAscii(flag));
    }
  }
  bool busy = false;
  for (const std::string& flag : flags) {
    if (RemoveIfStale(log, dir + flag)) {
      flag_listings_[dir].erase(ToLowerAscii(flag));
      continue;
    }
    busy = true;
  }
  if (!listing_flags_) flag_listings_.erase(dir);
  return busy;
}

bool OutboundSession::WaitWhileAnyBusy(Log& log, const std::vector<Destination>& destinations,
                                       int64_t limit_seconds, size_t& still_busy) {
  int64_t start = env_.UtcSeconds();
  bool noticed = false;
  while (true) {
    still_busy = destinations.size();
    for (size_t i = 0; i < destinations.size() && still_busy == destinations.size(); ++i)
      if (LinkBusy(log, destinations[i].address, destinations[i].domain)) still_busy = i;
    if (still_busy == destinations.size()) return true;
    const int64_t now = env_.UtcSeconds();
    // A clock set back must not stretch the wait by the same amount.
    if (now < start) start = now;
    if (now - start >= limit_seconds) return false;
    // A run that seems to hang says why.
    if (!noticed && now - start >= kBusyWaitNotice) {
      noticed = true;
      log.Write(kMarkTic, Format("Waiting for busy node %s",
                                 FormatAddress(destinations[still_busy].address).c_str()));
    }
    env_.SleepMilliseconds(kBusyProbeMilliseconds);
    // The flags that held us may be gone: the next look reads anew.
    flag_listings_.clear();
  }
}

// The file our busy flags in `dir` are linked from: made at the first flag
// there in a run, holding "pelix <pid>", so that a flag appears whole and
// costs a link, not a new file. Made again with `remake`, once a flag could
// not be linked from it (a sysop's clean-up of "*.bsy" took it).
bool OutboundSession::IsOurLink(const std::string& flag) {
  const auto side = sides_.find(DirectoryOf(flag));
  platform::FileId id;
  return side != sides_.end() && env_.IdOf(flag, id) && id == side->second.id;
}

std::optional<std::string> OutboundSession::FlagSide(const std::string& dir, bool remake) {
  if (auto found = sides_.find(dir); found != sides_.end()) {
    if (!remake) return found->second.path;
    Disarm(found->second.path);
    sides_.erase(found);
  }
  const std::string side = dir + Format("~pelix.%d.bsy", env_.CurrentPid());
  // Left by a killed run that had our process id.
  if (env_.ExistsExactly(side)) (void)env_.DeleteFile(side);
  bool taken = false;
  platform::FilePtr file = env_.Open(side, platform::OpenMode::kCreateExact, &taken);
  if (!file) return std::nullopt;
  bool ok = file->Write(OurFlagText());
  ok = file->Close() && ok;
  if (!ok) {
    const int error = errno;
    (void)env_.DeleteFile(side);  // failed already; the flag's failure is logged
    errno = error;
    return std::nullopt;
  }
  platform::FileId id;
  if (!env_.IdOf(side, id)) {
    (void)env_.DeleteFile(side);
    return std::nullopt;
  }
  (void)Arm(side);
  sides_.emplace(dir, Side{side, id});
  return side;
}

BusyResult OutboundSession::SetBusy(Log& log, const FidoAddress& address,
                                    const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return BusyResult::kFailed;
  const std::string flag = *base + ".bsy";
  const std::string dir = DirectoryOf(flag);
  std::optional<std::string> side = FlagSide(dir, false);
  bool linked = side && env_.LinkFile(*side, flag);
  if (!linked && side && errno == ENOENT) {
    // The side file, or the directory itself, was removed under us: both
    // are made again, once.
    dirs_made_.clear();
    (void)Base(log, address, domain);
    side = FlagSide(dir, true);
    linked = side && env_.LinkFile(*side, flag);
  }
  int error = errno;
  if (linked) {
    held_flag_ = flag;
    (void)Arm(flag);
    if (listing_flags_) flag_listings_[dir].emplace(ToLowerAscii(NameInPath(flag)), NameInPath(flag));
    return BusyResult::kHeld;
  }
  if (side && env_.Exists(flag)) return BusyResult::kTaken;
  log.Write(kMarkError, WithReason(Format("Can't create busy flag %s", flag.c_str()), error));
  return BusyResult::kFailed;
}

RunStatus OutboundSession::WaitAndSetBusy(Log& log, const FidoAddress& address,
                                          const std::string& domain, int64_t limit_seconds,
                                          BusyResult& result) {
  if (!kept_flags_.empty()) {
    std::optional<std::string> base = BaseName(address, domain);
    const std::string flag = base ? *base + ".bsy" : std::string();
    if (base && IsKept(flag)) {
      kept_flags_.erase(std::find(kept_flags_.begin(), kept_flags_.end(), flag));
      // Ours still: taken up again, the exit clean-up still removing it.
      if (IsOurLink(flag)) {
        held_flag_ = flag;
        result = BusyResult::kHeld;
        return RunStatus::GoOn();
      }
      // Removed meanwhile (a sysop's clean-up of "*.bsy"): the mailer may
      // have the destination now, and a flow file kept open under the flag
      // may be gone; the destination is waited for as any other.
      Disarm(flag);
      if (RunStatus closed = CloseFlowFilesOf(log, *base); closed.ends()) return closed;
    }
    // The mailer is not kept from the other destinations while we wait.
    size_t busy = 0;
    if (!WaitWhileAnyBusy(log, {Destination{address, domain}}, 0, busy)) {
      if (RunStatus released = ReleaseKept(log); released.ends()) return released;
    }
  }
  const int64_t start = env_.UtcSeconds();
  while (true) {
    const int64_t waited = env_.UtcSeconds() - start;
    const int64_t left = limit_seconds - (waited > 0 ? waited : 0);
    size_t busy = 0;
    if (!WaitWhileAnyBusy(log, {Destination{address, domain}}, left > 0 ? left : 0, busy)) {
      result = BusyResult::kTaken;
      return RunStatus::GoOn();
    }
    // The mailer may take the destination between the look and our flag.
    result = SetBusy(log, address, domain);
    if (result != BusyResult::kTaken) return RunStatus::GoOn();
  }
}

void OutboundSession::RemoveOurFlag(Log& log, const std::string& flag) {
  // Still ours: a link of this run's side file, or (the side gone) a file
  // that holds our pid.
  if (!IsOurLink(flag)) {
    std::string text;
    if (!platform::ReadWholeFile(env_, flag, text, 256) || text != OurFlagText()) return;
  }
  if (!env_.DeleteFile(flag)) {
    log.Write(kMarkError, WithReason(Format("Can't remove busy flag %s", flag.c_str()), errno));
    return;
  }
  if (auto listing = flag_listings_.find(DirectoryOf(flag)); listing != flag_listings_.end())
    listing->second.erase(ToLowerAscii(NameInPath(flag)));
}

void OutboundSession::ClearBusy(Log& log, const FidoAddress& address,
                                const std::string& domain) {
  std::optional<std::string> base = BaseName(address, domain);
  if (!base) return;
  const std::string flag = *base + ".bsy";
  if (flag != held_flag_) return;
  held_flag_.clear();
  if (keeping_ && armed_.count(flag) && kept_flags_.size() < kMostKeptFlags) {
    kept_flags_.push_back(flag);
    return;
  }
  // Disarmed first: an interrupt from here on must not remove a flag the
  // mailer makes under the same name once ours is gone.
  Disarm(flag);
  RemoveOurFlag(log, flag);
}

RunStatus OutboundSession::ReleaseKept(Log& log) {
  RunStatus closed = CloseFlowFilesOf(log, "");
  std::vector<std::string> flags;
  flags.swap(kept_flags_);
  for (const std::string& flag : flags) {
    Disarm(flag);
    RemoveOurFlag(log, flag);
  }
  // The lines may be there: the TICs they name stay.
  return closed;
}

RunStatus OutboundSession::StopKeeping(Log& log) {
  keeping_ = false;
  return ReleaseKept(log);
}

RunStatus OutboundSession::ReleaseAll(Log& log) {
  RunStatus released = StopKeeping(log);
  if (!held_flag_.empty()) {
    // A run that ends in the middle of an export.
    Disarm(held_flag_);
    RemoveOurFlag(log, std::exchange(held_flag_, {}));
  }
  for (const auto& [dir, side] : std::exchange(sides_, {})) {
    Disarm(side.path);
    if (!env_.DeleteFile(side.path))
      log.Write(kMarkError, WithReason(Format("Can't remove %s", side.path.c_str()), errno));
  }
  flag_listings_.clear();
  return released;
}

void OutboundSession::RemoveStaleSideFlags(Log& log, const std::string& dir) {
  const std::vector<platform::DirEntry> sides =
      env_.FindFiles(dir + platform::kSeparator + "~*.?sy");
  for (const platform::DirEntry& side : sides) {
    if (side.is_directory) continue;
    const std::string path = dir + platform::kSeparator + side.name;
    platform::FileId id;
    bool ours = false;
    if (env_.IdOf(path, id))
      for (const auto& [unused, own] : sides_) ours = ours || own.id == id;
    if (ours || RemoveIfStale(log, path)) continue;
    // Killed before it held its pid: no run of ours makes one now (this run
    // holds pelix.bsy), so an empty side file is left over.
    std::string text;
    if (!platform::ReadWholeFile(env_, path, text, 256) || !text.empty()) continue;
    log.Write(kMarkError, Format("Removing unfinished busy flag %s", path.c_str()));
    if (!env_.DeleteFile(path))
      log.Write(kMarkError, WithReason(Format("Can't remove %s", path.c_str()), errno));
  }
}
