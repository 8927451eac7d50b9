// The TICs of the inbound pass share one wait for the disk: each is handled
// up to the moment its copies and outgoing TICs must be on disk, a number of
// them are forced there together, and then each is finished in arrival
// order. The log, the files written and the names taken are those of TICs
// handled one after another.
#pragma once

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "processor/outbound/unnamed_tics.h"
#include "processor/run_status.h"
#include "processor/tic/inbound_done.h"
#include "processor/tic/tic_context.h"
#include "processor/tic_job.h"

// How many accepted TICs wait, at most, for one flush.
inline constexpr size_t kTicsPerFlush = 32;

class TicGroup {
 public:
  TicGroup(TicContext& context, InboundDone& done, MadeTics& made)
      : context_(context), done_(done), made_(made) {}

  bool empty() const { return jobs_.empty(); }
  // How many accepted jobs were finished: handed on, placed and announced.
  int finished() const { return finished_; }

  // A job starts holding its log lines while earlier jobs wait.
  void Begin(TicJob& job);
  // Takes a job once it was handled: an accepted one waits for the flush,
  // one whose lines are held waits with the jobs before it, any other is
  // done with. Flushes once kTicsPerFlush accepted jobs wait.
  RunStatus Add(std::unique_ptr<TicJob> job);
  // Forces the waiting jobs' copies and outgoing TICs to disk and finishes
  // each in order, with one busy flag per destination for the whole group;
  // then `current` (the job being handled, if any) has its held lines
  // written. When a job's finish ends the run, the jobs after it are
  // abandoned: their lines written, their outgoing TICs removed, their
  // TICs left in the inbound for the next run, as a run handling them one
  // by one would have left them.
  RunStatus Flush(TicJob* current = nullptr);

  // True when the job's TIC names a file a waiting job names or uses, or
  // one that is the mailer's numbered copy of it or the other way round:
  // handling it first could change what that job finds.
  bool SharesName(const TicJob& job) const;

  // Destinations (as the echo names them) found free for a job of the group
  // waiting for its flush: no second look is needed for them, since should
  // the mailer take one meanwhile, the export waits for it.
  std::unordered_set<std::string>& free_destinations() { return free_; }

 private:
  RunStatus Finish(TicJob& job, bool forced);
  void RemoveFromInbound(TicJob& job, const std::string& path);
  void Abandon(std::vector<std::unique_ptr<TicJob>>& jobs, size_t from);

  TicContext& context_;
  InboundDone& done_;
  MadeTics& made_;
  std::vector<std::unique_ptr<TicJob>> jobs_;
  size_t accepted_ = 0;
  // The directories the flush forces, each once.
  std::vector<std::string> unforced_dirs_;
  std::unordered_set<std::string> free_;
  int sync_error_ = 0;
  int finished_ = 0;
};
