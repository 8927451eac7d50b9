#include "processor/tic/tic_group.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/tic/file_area.h"
#include "processor/tic/forward.h"
#include "processor/tic/replaced_files.h"

namespace {

std::string NameOf(const std::string& path) { return ToLowerAscii(NameInPath(path)); }

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

void TicGroup::Begin(TicJob& job) {
  if (!jobs_.empty()) job.log.Hold();
}

RunStatus TicGroup::Add(std::unique_ptr<TicJob> job) {
  if (!job->accepted) {
    if (job->log.holding()) jobs_.push_back(std::move(job));
    return RunStatus::GoOn();
  }
  for (std::string& dir : context_.exporter.TakeUnforcedDirs(*job))
    if (std::find(unforced_dirs_.begin(), unforced_dirs_.end(), dir) == unforced_dirs_.end())
      unforced_dirs_.push_back(std::move(dir));
  jobs_.push_back(std::move(job));
  if (++accepted_ >= kTicsPerFlush) return Flush();
  return RunStatus::GoOn();
}

RunStatus TicGroup::Flush(TicJob* current) {
  RunStatus status = RunStatus::GoOn();
  if (!jobs_.empty()) {
    std::vector<std::string> dirs = std::exchange(unforced_dirs_, {});
    const bool forced = dirs.empty() || context_.env.SyncFileSystems(dirs);
    sync_error_ = forced ? 0 : errno;
    std::vector<std::unique_ptr<TicJob>> jobs = std::exchange(jobs_, {});
    accepted_ = 0;
    OutboundSession& outbound = context_.outbound;
    outbound.KeepFlags();
    for (size_t i = 0; i < jobs.size() && !status.ends(); ++i) {
      TicJob& job = *jobs[i];
      job.log.Release();
      if (!job.accepted) continue;
      status = Finish(job, forced);
      if (status.ends()) Abandon(jobs, i + 1);
    }
    // The group's last log lines are those of its last job.
    Log& last = jobs.back()->log;
    RunStatus released = outbound.StopKeeping(last);
    if (!status.ends()) status = released;
    free_.clear();
    outbound.ForgetFlagListings();
  }
  // Every TIC made so far is named by its flow line or removed; a run that
  // ends here leaves the list for the next.
  if (!status.ends() && (!current || current->prepared.empty())) made_.ForgetAll();
  // Nothing waits before the job being handled any more.
  if (current) current->log.Release();
  return status;
}

void TicGroup::RemoveFromInbound(TicJob& job, const std::string& path) {
  if (!done_.Leave(job.log, path))
    job.log.Write(kMarkError,
                  WithReason(Format("Can't delete %s, left in the inbound", path.c_str()), errno));
}

// Hands the file on, lists and announces it and removes the TIC and its
// file from the inbound; `forced` false when the copies could not be forced
// to disk (nothing is then handed on).
RunStatus TicGroup::Finish(TicJob& job, bool forced) {
  const FileEchoRecord& echo = context_.config.fileecho_list[job.echo_index];
  const bool forwarding = echo.links.size() >= 2;
  platform::Env& env = context_.env;
  if (!forced) {
    if (forwarding) {
      context_.exporter.NotForced(job, sync_error_);  // the first export stops the run
    } else if (!echo.passthrough) {
      job.log.Write(kMarkError, WithReason(Format("Can't copy %s, left in the inbound",
                                                  AreaCopyPath(job).c_str()),
                                           sync_error_));
      return RunStatus::GoOn();
    }
  }
  if (forwarding) {
    if (RunStatus exported = FinishForward(context_, job, echo); exported.ends()) return exported;
  }
  if (!echo.passthrough) {
    if (RunStatus listed = ListFileReplacing(env, job); listed.ends()) return listed;
  }
  AddAnnounceRecord(env, job);
  if (context_.dupes) context_.dupes->Remember(job, echo.tag);
  RemoveFromInbound(job, job.inbound_file);
  RemoveFromInbound(job, job.tic_path);
  ++finished_;
  return RunStatus::GoOn();
}

void TicGroup::Abandon(std::vector<std::unique_ptr<TicJob>>& jobs, size_t from) {
  for (size_t i = from; i < jobs.size(); ++i) {
    jobs[i]->log.Release();
    context_.exporter.EndPrepared(*jobs[i]);
  }
}

bool TicGroup::SharesName(const TicJob& job) const {
  const std::string file = ToLowerAscii(job.tic.file);
  const std::string own = NameOf(job.tic_path);
  for (const std::unique_ptr<TicJob>& waiting : jobs_) {
    if (!waiting->accepted) continue;
    const std::string names[] = {ToLowerAscii(waiting->tic.file), NameOf(waiting->inbound_file),
                                 NameOf(waiting->tic_path)};
    for (const std::string& name : names)
      if (StartsWith(file, name) || StartsWith(name, file) || StartsWith(own, name)) return true;
  }
  return false;
}
