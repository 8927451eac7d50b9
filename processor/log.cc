#include "processor/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/run_lock.h"
#include "processor/run_state.h"
#include "processor/tic/safe_name.h"

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

// The log file for the next line; ends the run with status 7 when it cannot
// be opened. The file stays open for the rest of the run, and every line is
// written straight to it, so a run that is killed loses none it logged. It
// is opened anew when the configuration names another file, when another
// Env is in place, and when the file is gone from its name: logrotate moved
// it away, and the line belongs in a new file of the configured name.
platform::File& OpenLog() {
  RunState& run = State();
  const std::string& log_file = run.config.log_file;
  if (run.log && run.log_path == log_file && run.log_env == &platform::CurrentEnv() &&
      platform::Exists(log_file)) {
    return *run.log;
  }
  run.log.reset();
  {
    platform::CriticalErrorsOff quiet;
    run.log = platform::OpenFile(log_file, platform::OpenMode::kAppend);
  }
  if (!run.log) {
    ConsoleOut(Format("Fatal : Can't Open/Create Log File %s\n", log_file.c_str()));
    FatalExit(7);
  }
  run.log_path = log_file;
  run.log_env = &platform::CurrentEnv();
  return *run.log;
}

}  // namespace

void WriteLogLine(char mark, std::string_view message, const platform::LocalTime& t) {
  platform::File& log = OpenLog();
  const std::string shown = ShownText(message);
  std::string text = shown.substr(0, kMaxLogMessage);
  std::string line = Format("%c %2.2d %s %2.2d:%2.2d:%2.2d PELX %s\n", mark, t.day,
                            MonthName(t.month), t.hour, t.minute, t.second, text.c_str());
  const bool written = log.Write(line);
  ConsoleOut(shown + "\n");
  // A log that cannot take its lines (a full disk) cannot report that
  // itself: the console says it once, and every line is still shown there.
  if (!written && !State().log_failure_shown) {
    State().log_failure_shown = true;
    ConsoleOut(Format("Warning : Can't write Log File %s\n", State().log_path.c_str()));
  }
}

void LogLine(char mark, std::string_view message) {
  RunState& run = State();
  if (run.holding_lines) {
    run.held_lines.push_back({mark, std::string(message), platform::LocalNow()});
    return;
  }
  WriteLogLine(mark, message, platform::LocalNow());
}

void WriteHeldLines(std::vector<HeldLogLine>& lines) {
  std::vector<HeldLogLine> taken;
  taken.swap(lines);
  for (const HeldLogLine& line : taken) WriteLogLine(line.mark, line.message, line.time);
}

void FatalExit(int status) {
  if (State().before_fatal_exit) State().before_fatal_exit();
  std::fflush(stdout);
  platform::RemoveHeldOutboundFlag();
  (void)ReleaseBusyFlag();  // ending anyway; a flag gone already is fine
  std::exit(status);
}

void OutOfMemoryExit() {
  static constexpr char kText[] = "Fatal : Not Enough memmory.\n";
  // Finishing waiting TICs would need memory; they are done by the next run.
  State().before_fatal_exit = nullptr;
  std::fwrite(kText, 1, sizeof kText - 1, stdout);
  FatalExit(2);
}
