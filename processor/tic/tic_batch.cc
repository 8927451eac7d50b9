#include "processor/tic/tic_batch.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/tic/inbound_done.h"
#include "processor/log.h"
#include "processor/outbound/outbound.h"
#include "processor/run_state.h"
#include "processor/outbound/tic_export.h"
#include "processor/tic/tic_inbound.h"
#include "processor/outbound/unnamed_tics.h"

namespace {

// The part of the run state that belongs to one TIC, moved into `into`.
void TakeTicState(PendingTic& into) {
  RunState& state = State();
  into.tic = std::exchange(state.tic, TicRecord{});
  into.inbound_file = std::exchange(state.inbound_file, {});
  into.queue_copy = std::exchange(state.queue_copy, {});
  into.queue_copy_reused = std::exchange(state.queue_copy_reused, false);
  into.prepared_tics = std::exchange(state.prepared_tics, {});
  into.prepared_failed_at = std::exchange(state.prepared_failed_at, static_cast<size_t>(-1));
  state.prepared_used = 0;
}

void PutTicState(PendingTic& from) {
  RunState& state = State();
  state.tic = std::move(from.tic);
  state.inbound_file = std::move(from.inbound_file);
  state.queue_copy = std::move(from.queue_copy);
  state.queue_copy_reused = from.queue_copy_reused;
  state.prepared_tics = std::move(from.prepared_tics);
  state.prepared_failed_at = from.prepared_failed_at;
  state.prepared_used = 0;
}

// A fatal end while the waiting TICs are finished: a run handling them one
// by one would have ended before the later ones. No flow line names their
// outgoing TICs, which must not stay for the mailer; they stay in the
// inbound for the next run, but for TICs refused already. Their lines are
// written after the fatal one: it tells how far they came.
void DropLaterTics() {
  RunState& state = State();
  std::vector<PendingTic>& tics = *state.finishing_tics;
  state.finishing_tics = nullptr;
  state.holding_lines = false;
  for (size_t i = state.finishing_index + 1; i < tics.size(); ++i) {
    WriteHeldLines(tics[i].lines);
    for (const std::string& path : tics[i].prepared_tics)
      if (!platform::DeleteFile(path)) LogLine(kMarkError, Format("Can't delete %s", path.c_str()));
  }
  WriteHeldLines(state.held_lines);
}

void FinishBeforeFatalExit() {
  RunState& state = State();
  if (state.finishing_tics) {
    DropLaterTics();
  } else if (!state.fatal_exit_started) {
    state.fatal_exit_started = true;
    FlushPendingTics();
  }
  // Once: a line that cannot be logged there ends the run again.
  if (!std::exchange(state.inbound_done_emptied, true)) EmptyLeftInbound();
}

std::string NameOf(const std::string& path) { return ToLowerAscii(NameInPath(path)); }

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

}  // namespace

void BeginTic() {
  RunState& state = State();
  state.before_fatal_exit = FinishBeforeFatalExit;
  state.tic_deferred = false;
  state.holding_lines = !state.pending_tics.empty();
}

void EndTic(const std::string& tic_path) {
  RunState& state = State();
  if (!state.tic_deferred) {
    // Copies of a TIC left in the inbound are made again by the next run.
    state.unforced_dirs.clear();
    if (!state.holding_lines) return;
    PendingTic& waiting = state.pending_tics.emplace_back();
    waiting.lines = std::exchange(state.held_lines, {});
    state.holding_lines = false;
    return;
  }
  state.tic_deferred = false;
  for (std::string& dir : TakeUnforcedDirs())
    if (std::find(state.pending_unforced_dirs.begin(), state.pending_unforced_dirs.end(), dir) ==
        state.pending_unforced_dirs.end())
      state.pending_unforced_dirs.push_back(std::move(dir));
  PendingTic& waiting = state.pending_tics.emplace_back();
  waiting.completes = true;
  waiting.lines = std::exchange(state.held_lines, {});
  waiting.tic_path = tic_path;
  waiting.echo_index = state.deferred_echo_index;
  TakeTicState(waiting);
  state.holding_lines = false;
  if (++state.pending_completions >= kTicsPerFlush) FlushPendingTics();
}

void FlushPendingTics() {
  RunState& state = State();
  if (state.pending_tics.empty()) return;
  std::vector<std::string> dirs = std::exchange(state.pending_unforced_dirs, {});
  const bool forced = dirs.empty() || platform::SyncFileSystems(dirs);
  PendingTic current;
  TakeTicState(current);
  state.holding_lines = false;
  std::vector<PendingTic> tics = std::exchange(state.pending_tics, {});
  state.pending_completions = 0;
  state.finishing_tics = &tics;
  // One busy flag per destination for the whole group.
  KeepBusyFlags(true);
  for (size_t i = 0; i < tics.size(); ++i) {
    state.finishing_index = i;
    WriteHeldLines(tics[i].lines);
    if (!tics[i].completes) continue;
    PutTicState(tics[i]);
    FinishInboundTic(tics[i].tic_path, state.fileecho_list[tics[i].echo_index], forced);
  }
  KeepBusyFlags(false);
  state.free_in_group.clear();
  state.finishing_tics = nullptr;
  PutTicState(current);
  if (state.prepared_tics.empty()) ForgetMadeTics();
  // Nothing waits before the TIC being handled any more.
  WriteHeldLines(state.held_lines);
}

bool SharesNameWithWaitingTic(const std::string& tic_path, const TicRecord& tic) {
  const std::string file = ToLowerAscii(tic.file);
  const std::string own = NameOf(tic_path);
  for (const PendingTic& waiting : State().pending_tics) {
    if (!waiting.completes) continue;
    const std::string names[] = {ToLowerAscii(waiting.tic.file), NameOf(waiting.inbound_file),
                                 NameOf(waiting.tic_path)};
    for (const std::string& name : names)
      if (StartsWith(file, name) || StartsWith(name, file) || StartsWith(own, name)) return true;
  }
  return false;
}
