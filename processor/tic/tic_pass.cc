#include "processor/tic/tic_pass.h"

#include <memory>
#include <string>
#include <vector>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/tic/bad_tic_index.h"
#include "processor/tic/file_area.h"
#include "processor/tic/forward.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_checks.h"
#include "processor/tic/tic_group.h"
#include "processor/tic/tic_reader.h"

namespace {

// Every destination is free before the first gets the file, so a run that
// has to give up at a busy one has handed the TIC to none: the next run
// forwards it whole. TICs waiting for their flush are not held up by a
// wait: they are finished first, and the looks start again for a group of
// this TIC alone.
RunStatus WaitForEveryDestination(TicContext& context, TicGroup& group, TicJob& job,
                                  const FileEchoRecord& echo) {
  std::unordered_set<std::string>& free = group.free_destinations();
  std::vector<std::string> addresses;
  const std::vector<Destination> destinations = DestinationsToLookAt(job, echo, free, addresses);
  size_t busy = 0;
  if (!context.outbound.WaitWhileAnyBusy(job.log, destinations, 0, busy)) {
    if (!group.empty()) {
      if (RunStatus flushed = group.Flush(&job); flushed.ends()) return flushed;
      return WaitForEveryDestination(context, group, job, echo);
    }
    if (RunStatus waited = WaitForDestinations(context, job, destinations, addresses);
        waited.ends())
      return waited;
  }
  free.insert(addresses.begin(), addresses.end());
  return RunStatus::GoOn();
}

// The TIC read up to the moment its copies and outgoing TICs must be on
// disk: job.accepted once only the group's flush keeps it from being
// finished.
RunStatus HandleTic(TicContext& context, TicGroup& group, InboundTics& tics, TicJob& job) {
  platform::Env& env = context.env;
  const TicText read = ReadTic(env, job.tic_path, job.tic);
  if (read == TicText::kUnreadable) {
    // It stays where it is and is tried again on the next run.
    job.log.Write(kMarkError, Format("Can't open %s", job.tic_path.c_str()));
    return RunStatus::GoOn();
  }
  // A TIC waiting for its flush that uses this file, or a file of a name
  // this TIC could take, is done first, as it would have been.
  if (group.SharesName(job)) {
    if (RunStatus flushed = group.Flush(&job); flushed.ends()) return flushed;
  }
  // Every later step, a refusal below included, works on this TIC's file.
  job.inbound_file = Config().main.inbound_dir + job.tic.file;
  job.log.Write(kMarkTicHeader, Format("Area : %s", LoggableText(job.tic.area).c_str()));
  job.log.Write(kMarkTicHeader, Format("File : %s", LoggableText(job.tic.file).c_str()));
  job.log.Write(kMarkTicHeader, Format("From : %s", LoggableText(job.tic.from).c_str()));
  if (read == TicText::kTooBig) {
    const std::string reason = Format("TIC too big, over %zu bytes", kMaxTicSize);
    job.log.Write(kMarkError, reason);
    MoveToBadTics(env, tics, job, reason);
    return RunStatus::GoOn();
  }
  const TicRecord& tic = job.tic;
  if (tic.seenby.size() + tic.path.size() + tic.ldesc.size() > kMaxTicListLines) {
    const std::string reason =
        Format("Too many Seenby, Path and Ldesc lines in TIC, over %zu", kMaxTicListLines);
    job.log.Write(kMarkError, reason);
    MoveToBadTics(env, tics, job, reason);
    return RunStatus::GoOn();
  }

  bool accepted = false;
  if (RunStatus checked = CheckInboundTic(context, tics, job, accepted);
      checked.ends() || !accepted)
    return checked;
  const FileEchoRecord& echo = context.config.fileecho_list[job.echo_index];
  if (!InboundRemovable(env, job)) return RunStatus::GoOn();
  // The area copy comes before anything is handed on: a file that cannot
  // be placed (a full disk) leaves its TIC and itself in the inbound with
  // nothing done, and the next run does it all. The copies and outgoing
  // TICs are forced to disk (in one flush shared with the TICs after this
  // one) before any flow line names them and before the TIC leaves the
  // inbound: the group finishes the job then.
  if (!echo.passthrough && !CopyFileIntoArea(env, job, platform::Durability::kLater))
    return RunStatus::GoOn();
  if (echo.links.size() >= 2) {
    if (RunStatus waited = WaitForEveryDestination(context, group, job, echo); waited.ends())
      return waited;
    if (!PrepareForward(context, job, echo)) return RunStatus::GoOn();
  }
  job.accepted = true;
  return RunStatus::GoOn();
}

// The names of the files (not directories) matching `pattern`.
std::vector<std::string> FilesMatching(platform::Env& env, const std::string& pattern) {
  std::vector<std::string> names;
  for (const platform::DirEntry& entry : env.FindFiles(pattern))
    if (!entry.is_directory) names.push_back(entry.name);
  return names;
}

RunStatus HandleTics(TicContext& context, TicGroup& group, Log& log,
                     const std::vector<std::string>& tics, int& refused) {
  const std::string& inbound = Config().main.inbound_dir;
  InboundTics inbound_tics(context.env, inbound);
  for (const std::string& name : tics) {
    auto job = std::make_unique<TicJob>(context.env, log, inbound + name);
    group.Begin(*job);
    job->log.Write(kMarkTic, Format("Processing %s", name.c_str()));
    RunStatus handled = HandleTic(context, group, inbound_tics, *job);
    if (job->refused) ++refused;
    if (handled.ends()) {
      // A run handling the TICs one by one would have finished those
      // before this one.
      RunStatus flushed = group.Flush(job.get());
      return flushed.ends() ? flushed : handled;
    }
    if (RunStatus added = group.Add(std::move(job)); added.ends()) return added;
  }
  return group.Flush();
}

RunStatus HandleInbound(TicContext& context, TicGroup& group, Log& log, TicCounts& counts) {
  const std::vector<std::string> tics =
      FilesMatching(context.env, Config().main.inbound_dir + "*.tic");
  if (tics.empty()) {
    log.Write(kMarkNothing, "No TIC files found");
    return RunStatus::GoOn();
  }
  const RunStatus status = HandleTics(context, group, log, tics, counts.refused);
  counts.accepted = group.finished();
  counts.left = static_cast<int>(tics.size()) - counts.accepted - counts.refused;
  return status;
}

}  // namespace

RunStatus RunTicPass(TicContext& context, InboundDone& done, MadeTics& made, Log& log,
                     TicCounts& counts) {
  ConsoleOut("Scaning Inbound TIC files.\n");
  platform::Env& env = context.env;
  const MainConfig& config = Config().main;
  // Only pelix puts names into these while it runs: a new name there needs
  // no look through the thousands that may wait.
  for (const std::string& dir : {config.queue_dir, config.tic_outbound_dir}) env.KeepNamesOf(dir);
  context.outbound.UseFlagListings();
  RetryTicsWhoseFileArrived(env, log, int64_t{Config().options.late_file_days} * 24 * 60 * 60);
  // A killed run's leftovers (its outgoing TICs no flow line names are
  // erased before the robot makes any).
  done.Empty(log);
  TicGroup group(context, done, made);
  const RunStatus status = HandleInbound(context, group, log, counts);
  // A run that ends here leaves its list of outgoing TICs for the next,
  // which erases those no flow line names.
  if (!status.ends()) made.End(log);
  done.Empty(log);
  env.ForgetKeptNames();
  return status;
}
