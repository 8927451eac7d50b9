// Outgoing TICs that no flow line names yet. A run writes their names into
// a list in the node directory as it makes them, and empties the list once
// flow lines name them all (or they are removed again). A run killed in
// between leaves the list behind: the next run erases the TICs on it that
// no flow file names, which the mailer would never send.
#pragma once

#include <string>

#include "platform/platform.h"
#include "processor/log.h"

inline constexpr char kUnnamedTicList[] = "pelix.tix";

class MadeTics {
 public:
  explicit MadeTics(platform::Env& env) : env_(env) {}

  // After `tic_path` was made in the TIC outbound.
  void Note(Log& log, const std::string& tic_path);
  // Every TIC made so far is named by its flow line or removed.
  void ForgetAll();
  // The end of the run's exports: the list is removed.
  void End(Log& log);
  // Erases what a stopped run left, before this run makes TICs of its own.
  void EraseUnnamed(Log& log);

 private:
  void RemoveList(Log& log);

  platform::Env& env_;
  // The list, open from the first TIC noted; `noted` once it holds a name.
  platform::FilePtr list_;
  bool noted_ = false;
  bool failed_ = false;  // said once
};
