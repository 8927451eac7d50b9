// The processor's one way of reporting and of ending on a fatal condition.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

struct HeldLogLine;

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

// Appends "%c %2.2d %s %2.2d:%2.2d:%2.2d PELX %s\n" to the log file and shows
// the bare message on the console. Ends the run with status 7 when the log
// file cannot be opened. While State().holding_lines is set, the line is
// kept, with its time, in State().held_lines instead.
void LogLine(char mark, std::string_view message);

// LogLine for a line logged at `time`.
void WriteLogLine(char mark, std::string_view message, const platform::LocalTime& time);

// Writes (and empties) a list of lines LogLine kept.
void WriteHeldLines(std::vector<HeldLogLine>& lines);

// Removes the outbound busy flag held at the moment and pelix.bsy (a
// failure is ignored) and ends the run with `status`.
[[noreturn]] void FatalExit(int status);

// The end of a run that ran out of memory: "Fatal : Not Enough memmory.",
// every flag removed, status 2. Allocates nothing.
[[noreturn]] void OutOfMemoryExit();

// Plain console output; the text carries its own line end.
void ConsoleOut(std::string_view text);

// printf-style formatting into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
