#include "processor/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/busy_flag.h"
#include "processor/run_state.h"

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

void LogLine(char mark, std::string_view message) {
  const std::string& log_file = State().config.log_file;
  platform::FilePtr log;
  {
    platform::CriticalErrorsOff quiet;
    log = platform::OpenFile(log_file, platform::OpenMode::kAppend);
  }
  if (!log) {
    ConsoleOut(Format("Fatal : Can't Open/Create Log File %s\n", log_file.c_str()));
    FatalExit(7);
  }
  platform::LocalTime t = platform::LocalNow();
  std::string text(message.substr(0, kMaxLogMessage));
  std::string line = Format("%c %2.2d %s %2.2d:%2.2d:%2.2d PELX %s\n", mark, t.day,
                            MonthName(t.month), t.hour, t.minute, t.second, text.c_str());
  // A log that cannot take the line (a full disk) still has it shown on the
  // console below; there is nowhere else to report it.
  (void)log->Write(line);
  (void)log->Close();
  ConsoleOut(Format("%s\n", std::string(message).c_str()));
}

void FatalExit(int status) {
  std::fflush(stdout);
  ReleaseBusyFlag();
  std::exit(status);
}
