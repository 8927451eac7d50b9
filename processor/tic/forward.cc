#include "processor/tic/forward.h"

#include <cerrno>
#include <optional>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "processor/outbound/outbound_layout.h"
#include "processor/tic/file_match.h"

namespace {

// The link an entry of the echo names when the file goes to it; nullptr
// when it is skipped. With `outbound` the skips are logged and the entry's
// outbound base name is found (its directories made) on the way, before
// the tests that follow it, so the link's outbound directories exist even
// when the link is skipped.
const LinkRecord* SelectedLink(TicJob& job, const EchoLinkEntry& entry,
                               OutboundSession* outbound, std::optional<std::string>& base_name) {
  if (!entry.send) return nullptr;
  if (job.InSeenBy(entry.address)) {
    if (outbound)
      job.log.Write(kMarkTic,
                    Format("Node %s is already in SEEN-BY, skiping", entry.address.c_str()));
    return nullptr;
  }
  const FidoAddress address = ParseAddress(entry.address);
  if (outbound) base_name = outbound->Base(job.log, address, DomainPart(entry.address));
  const LinkRecord* link = Config().FindLink(address);
  if (!link) {
    if (outbound)
      job.log.Write(kMarkTic, Format("Node %s is unknown, skiping", entry.address.c_str()));
    return nullptr;
  }
  if (link->passive) {
    if (outbound)
      job.log.Write(kMarkTic, Format("Node %s is passive, skiping", entry.address.c_str()));
    return nullptr;
  }
  return link;
}

const LinkRecord* TakesFile(TicJob& job, const EchoLinkEntry& entry) {
  std::optional<std::string> unused;
  return SelectedLink(job, entry, nullptr, unused);
}

// The entries the file is exported to, in the order of the exports.
std::vector<ExportTarget> ExportTargets(TicJob& job, const FileEchoRecord& echo) {
  std::vector<ExportTarget> targets;
  for (const EchoLinkEntry& entry : echo.links) {
    const LinkRecord* link = TakesFile(job, entry);
    // Without a domain there is no outbound for the link, and no export.
    if (link && BaseName(ParseAddress(entry.address), DomainPart(entry.address)))
      targets.push_back({&entry, link});
  }
  return targets;
}

// A whole copy of this very file that a run before this one made and did
// not finish with (killed, or stopped at a busy link).
std::optional<std::string> EarlierQueueCopy(platform::Env& env, const TicJob& job) {
  const std::string& queue_dir = Config().main.queue_dir;
  const std::string& file = job.tic.file;
  std::vector<std::string> candidates = {queue_dir + file};
  for (const platform::DirEntry& dir : env.FindFiles(queue_dir + "px*"))
    if (dir.is_directory) candidates.push_back(queue_dir + dir.name + platform::kSeparator + file);
  for (const std::string& candidate : candidates)
    if (env.Exists(candidate) && SameContents(env, candidate, job.inbound_file)) return candidate;
  return std::nullopt;
}

// A queue copy already there may still be named by a flow file, together
// with a TIC that carries its CRC: replacing it would make the link reject
// that TIC and miss the new file too. A new copy then goes into the first
// numbered subdirectory ("px0001/") where its name is free; the mailer
// sends the base name, so the link receives the name the TIC gives.
std::string NewQueueCopyPath(platform::Env& env, const TicJob& job) {
  const std::string& queue_dir = Config().main.queue_dir;
  const std::string& file = job.tic.file;
  if (!env.Exists(queue_dir + file)) return queue_dir + file;
  for (unsigned n = 1; n <= 9999; ++n) {
    const std::string dir = queue_dir + Format("px%04u", n);
    if (env.Exists(dir + platform::kSeparator + file)) continue;
    // A directory that cannot be made shows as the copy into it failing.
    (void)env.MakeDirectory(dir);
    return dir + platform::kSeparator + file;
  }
  return queue_dir + file;  // every slot taken: the old behaviour
}

// The queue copy every link's flow file will name: the one an earlier run
// left, or a new one. False, after a '!' line, when no whole copy could be
// made: nothing of the TIC may then be handed to any link.
bool MakeQueueCopy(platform::Env& env, TicJob& job) {
  const std::string& queue_dir = Config().main.queue_dir;
  // A queue directory that cannot be made shows as the copy failing.
  (void)env.MakeDirectory(queue_dir);
  if (std::optional<std::string> earlier = EarlierQueueCopy(env, job)) {
    job.queue_copy = *earlier;
    job.queue_copy_reused = true;
    return true;
  }
  job.queue_copy = NewQueueCopyPath(env, job);
  job.queue_copy_reused = false;
  // Forced to disk with the outgoing TICs, before any flow line names it.
  // An arrived file goes once its TIC is done: where the queue shares its
  // file system, the queue copy is that file under a second name, and no
  // byte of it is written again (nor freed, when the TIC leaves).
  if ((!job.hatching && env.LinkFile(job.inbound_file, job.queue_copy)) ||
      env.CopyFile(job.inbound_file, job.queue_copy, platform::Durability::kLater)) {
    job.unforced_dirs.push_back(queue_dir);
    return true;
  }
  job.log.Write(kMarkError, WithReason(Format("Can't copy %s, left in the inbound",
                                              job.queue_copy.c_str()),
                                       errno));
  return false;
}

}  // namespace

bool AnyLinkTakesFile(TicJob& job, const FileEchoRecord& echo) {
  for (const EchoLinkEntry& entry : echo.links)
    if (TakesFile(job, entry)) return true;
  return false;
}

size_t ForwardedListLines(TicJob& job, const FileEchoRecord& echo) {
  const TicRecord& tic = job.tic;
  return tic.seenby.size() + tic.path.size() + tic.ldesc.size() + 2 +
         SeenByAdded(job, echo).size();
}

std::vector<Destination> DestinationsToLookAt(TicJob& job, const FileEchoRecord& echo,
                                              const std::unordered_set<std::string>& free,
                                              std::vector<std::string>& addresses) {
  std::vector<Destination> destinations;
  addresses.clear();
  for (const EchoLinkEntry& entry : echo.links) {
    if (!TakesFile(job, entry) || free.count(entry.address)) continue;
    destinations.push_back({ParseAddress(entry.address), DomainPart(entry.address)});
    addresses.push_back(entry.address);
  }
  return destinations;
}

RunStatus WaitForDestinations(TicContext& context, TicJob& job,
                              const std::vector<Destination>& destinations,
                              const std::vector<std::string>& addresses) {
  size_t busy = 0;
  if (context.outbound.WaitWhileAnyBusy(job.log, destinations, kBusyWaitLimit, busy))
    return RunStatus::GoOn();
  job.log.Write(kMarkError, Format("Node %s stays busy, giving up", addresses[busy].c_str()));
  return RunStatus::End(2);
}

bool PrepareForward(TicContext& context, TicJob& job, const FileEchoRecord& echo) {
  if (!MakeQueueCopy(context.env, job)) {
    job.unforced_dirs.clear();  // the TIC stays: the next run copies again
    return false;
  }
  // A copy left by an earlier run may be at some links already; their
  // exports are decided one by one.
  if (!job.queue_copy_reused) context.exporter.Prepare(job, ExportTargets(job, echo), echo);
  return true;
}

void ForceForwardToDisk(TicContext& context, TicJob& job) {
  const std::vector<std::string> dirs = context.exporter.TakeUnforcedDirs(job);
  if (dirs.empty() || context.env.SyncFileSystems(dirs)) return;
  context.exporter.NotForced(job, errno);
}

RunStatus FinishForward(TicContext& context, TicJob& job, const FileEchoRecord& echo) {
  for (const EchoLinkEntry& entry : echo.links) {
    std::optional<std::string> base_name;
    const LinkRecord* link = SelectedLink(job, entry, &context.outbound, base_name);
    // Without a domain there is no outbound for the link; writing its flow
    // file anywhere else would hand the file to the wrong mailer queue.
    if (!link || !base_name) continue;
    RunStatus exported = context.exporter.Export(job, entry, DomainPart(entry.address), *base_name,
                                                 *link, echo);
    if (exported.ends()) return exported;
  }
  context.exporter.EndPrepared(job);
  job.queue_copy.clear();
  job.queue_copy_reused = false;
  return RunStatus::GoOn();
}
