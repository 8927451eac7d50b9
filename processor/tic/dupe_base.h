// The files a node has taken in, so that one that comes again (a link's
// second upload, a hub's rescan, a loop in the echo's topology) is refused
// instead of landing and going out twice. On with `dupe_days` (pelix.ini)
// above 0; a file counts as the same when its echo and name (letter case
// ignored), size and CRC-32 are.
//
// Kept in the node directory as pelix.dup, a text file of one record per
// line, LF ended, its fields separated by tabs:
//
//   TAG<TAB>NAME<TAB>SIZE<TAB>CRC<TAB>UTC seconds when it was taken
//
// (SIZE in decimal, CRC as eight hexadecimal digits). Each record is
// appended whole in one write, so a kill never loses older ones; a last
// line without its line end (a kill, a full disk) is skipped when read, and
// the next record starts on a line of its own. Records older than
// `dupe_days` are dropped by rewriting the file once, when it is first read
// in a run.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "platform/platform.h"
#include "processor/tic_job.h"

inline constexpr char kDupeBaseFile[] = "pelix.dup";

class DupeBase {
 public:
  // `days` as pelix.ini gives them; 0: nothing is read, checked or written.
  DupeBase(platform::Env& env, int days, std::string path = kDupeBaseFile)
      : env_(env), days_(days), path_(std::move(path)) {}

  // True when the job's file (the TIC's File and Crc, the size of its file
  // in the inbound) is recorded for the echo `tag`. False when the check is
  // off, and for the run once the record file cannot be read (logged).
  bool Received(TicJob& job, const std::string& tag);
  // Records the job's file as taken in for the echo `tag`, now; a record
  // that cannot be written is logged.
  void Remember(TicJob& job, const std::string& tag);

 private:
  enum class State { kUnread, kRead, kUnusable };
  // Reads the file at the first use in a run; false when it cannot be used.
  bool Ready(Log& log);
  void DropOldRecords(Log& log, const std::string& kept);
  // The record's key and its line without the time and line end; false,
  // logged, when the file's size cannot be read.
  bool Describe(TicJob& job, const std::string& tag, std::string& key, std::string& fields);

  platform::Env& env_;
  int days_;
  std::string path_;
  State state_ = State::kUnread;
  // The file's last line has no line end: the next record starts one.
  bool cut_line_ = false;
  // The kept records by folded tag and name, size and CRC.
  std::unordered_set<std::string> keys_;
};
