// The processor's one way of reporting: a time-stamped line in the log file
// for each message, the bare message on the console. A pass reports to the
// Log it was handed: the run's LogFile, or a HeldLog that keeps a TIC's
// lines back while earlier TICs wait, so the log reads as if every TIC was
// handled after the one before.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// Log marks.
inline constexpr char kMarkError = '!';
inline constexpr char kMarkNothing = '^';
inline constexpr char kMarkTic = '*';
inline constexpr char kMarkEcho = '&';
inline constexpr char kMarkTicHeader = '$';
inline constexpr char kMarkAreaManager = '%';
inline constexpr char kMarkErased = '(';

// The longest message that fits a log line; longer ones are cut.
inline constexpr size_t kMaxLogMessage = 231;

class Log {
 public:
  virtual ~Log() = default;
  // One line logged now.
  virtual void Write(char mark, std::string_view message) = 0;
  // One line as it was logged at `time`.
  virtual void WriteAt(char mark, std::string_view message, const platform::LocalTime& time) = 0;
};

// The log file of the run: "%c %2.2d %s %2.2d:%2.2d:%2.2d PELX %s\n" per
// line. Opened at the first line and kept open, so that a hub does not open
// it for every line; opened anew when the file has gone from its name
// (logrotate moved it away). A file that cannot be opened ends the run with
// status 7.
class LogFile : public Log {
 public:
  LogFile(platform::Env& env, std::string path);
  void Write(char mark, std::string_view message) override;
  void WriteAt(char mark, std::string_view message, const platform::LocalTime& time) override;

  // How many lines were written with the error mark.
  int error_lines() const { return error_lines_; }

 private:
  platform::File& Open();

  platform::Env& env_;
  std::string path_;
  platform::FilePtr file_;
  bool failure_shown_ = false;  // the console said once that the log is full
  int error_lines_ = 0;
};

// One line appended to the log file at `path`, opened for it alone, for a
// run that must not end on a log it cannot write (one that found the node
// busy). Not shown on the console. False when it could not be written.
bool AppendLogLine(platform::Env& env, const std::string& path, char mark,
                   std::string_view message);

// Lines kept back with their times while `holding`, then written to the
// target in order by Release; written at once otherwise.
class HeldLog : public Log {
 public:
  HeldLog(platform::Env& env, Log& target) : env_(env), target_(&target) {}
  void Write(char mark, std::string_view message) override;
  void WriteAt(char mark, std::string_view message, const platform::LocalTime& time) override;

  void Hold() { holding_ = true; }
  bool holding() const { return holding_; }
  // Writes the kept lines and stops holding.
  void Release();

 private:
  struct Line {
    char mark;
    std::string message;
    platform::LocalTime time;
  };
  platform::Env& env_;
  Log* target_;
  bool holding_ = false;
  std::vector<Line> lines_;
};

// The end of a run that cannot report any more (its log file cannot be
// opened) or that ran out of memory: the outbound flags it holds and
// pelix.bsy are removed, and the process ends with `status`. Every other
// fatal condition is handed up as a RunStatus.
[[noreturn]] void FatalExit(int status);

// The end of a run that ran out of memory: "Fatal : Not Enough memmory.",
// every flag removed, status 2. Allocates nothing.
[[noreturn]] void OutOfMemoryExit();

// Plain console output; the text carries its own line end.
void ConsoleOut(std::string_view text);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `message` followed by why a call failed: ": " and the text of `error`
// (an errno value), as every line reporting a failed copy, move, delete,
// create or write ends.
std::string WithReason(std::string_view message, int error);
