#include "processor/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/text_helpers.h"
#include "platform/exit_cleanup.h"
#include "platform/platform.h"

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(out.data(), out.size() + 1, format, args);
  va_end(args);
  return out;
}

std::string WithReason(std::string_view message, int error) {
  return std::string(message) + ": " + std::strerror(error);
}

void ConsoleOut(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

namespace {

// Messages carry names and values from strangers (file names, TIC values):
// a line feed in them would write a line of its own into the log, an escape
// would drive the sysop's terminal. Control characters show as "?"; line
// feeds at the very end are the caller's own (an empty line after it).
std::string ShownText(std::string_view message) {
  size_t end = message.size();
  while (end > 0 && message[end - 1] == '\n') --end;
  return LoggableText(message.substr(0, end)) + std::string(message.substr(end));
}

std::string LogLineText(char mark, const std::string& shown, const platform::LocalTime& t) {
  const std::string text = shown.substr(0, kMaxLogMessage);
  return Format("%c %2.2d %s %2.2d:%2.2d:%2.2d PELX %s\n", mark, t.day, MonthName(t.month),
                t.hour, t.minute, t.second, text.c_str());
}

}  // namespace

LogFile::LogFile(platform::Env& env, std::string path) : env_(env), path_(std::move(path)) {}

// The file stays open for the rest of the run, and every line is written
// straight to it, so a run that is killed loses none it logged. It is
// opened anew when the file is gone from its name: logrotate moved it
// away, and the line belongs in a new file of the configured name.
platform::File& LogFile::Open() {
  if (file_ && env_.Exists(path_)) return *file_;
  // The sysop may keep the log elsewhere through a link of their own.
  file_ = env_.Open(path_, platform::OpenMode::kAppendOwnLink);
  if (!file_) {
    ConsoleOut(Format("Fatal : Can't Open/Create Log File %s\n", path_.c_str()));
    FatalExit(7);
  }
  return *file_;
}

void LogFile::WriteAt(char mark, std::string_view message, const platform::LocalTime& t) {
  platform::File& log = Open();
  const std::string shown = ShownText(message);
  const bool written = log.Write(LogLineText(mark, shown, t));
  if (mark == kMarkError) ++error_lines_;
  ConsoleOut(shown + "\n");
  // A log that cannot take its lines (a full disk) cannot report that
  // itself: the console says it once, and every line is still shown there.
  if (!written && !failure_shown_) {
    failure_shown_ = true;
    ConsoleOut(Format("Warning : Can't write Log File %s\n", path_.c_str()));
  }
}

void LogFile::Write(char mark, std::string_view message) {
  WriteAt(mark, message, platform::LocalNow(env_));
}

bool AppendLogLine(platform::Env& env, const std::string& path, char mark,
                   std::string_view message) {
  platform::FilePtr file = env.Open(path, platform::OpenMode::kAppend);
  if (!file) return false;
  const bool written =
      file->Write(LogLineText(mark, ShownText(message), platform::LocalNow(env)));
  return file->Close() && written;
}

void HeldLog::WriteAt(char mark, std::string_view message, const platform::LocalTime& time) {
  if (!holding_) return target_->WriteAt(mark, message, time);
  lines_.push_back({mark, std::string(message), time});
}

void HeldLog::Write(char mark, std::string_view message) {
  WriteAt(mark, message, platform::LocalNow(env_));
}

void HeldLog::Release() {
  holding_ = false;
  std::vector<Line> lines;
  lines.swap(lines_);
  for (const Line& line : lines) target_->WriteAt(line.mark, line.message, line.time);
}

void FatalExit(int status) {
  std::fflush(stdout);
  // Ending anyway: a flag gone already is fine.
  platform::ExitCleanup::OfProcess().RemoveAll();
  std::exit(status);
}

void OutOfMemoryExit() {
  static constexpr char kText[] = "Fatal : Not Enough memmory.\n";
  std::fwrite(kText, 1, sizeof kText - 1, stdout);
  FatalExit(2);
}
