// The announcement of new files: every "Announce.<tag>" file of the announce
// database, grouped by echo, posted as one "New Files" message into the JAM
// base or written to the text file. A database file is removed only once
// the report that carries it has been posted, so that a failed post is
// repeated by the next /A run instead of losing the files it took.
#include "processor/announce/announce.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "processor/announce/jam_base.h"
#include "processor/config_store.h"
#include "processor/version.h"

namespace {

// A report never grows past 65535 bytes with its terminating zero, so that
// readers with a 64 KB message buffer show it whole; once it holds more
// than 64000 characters no further echo is started.
constexpr size_t kReportCapacity = 65534;
constexpr size_t kReportFull = 64000;

constexpr std::string_view kRule =
    " ----------------------------------------------------------------------------- \r\n";
constexpr std::string_view kDatabasePrefix = "Announce.";

// A database file taken into the report, with what it holds beyond the
// report (empty when the report holds all of it).
struct TakenFile {
  std::string name;
  std::string path;
  std::string rest;
  int lines = 0;  // files: one line each in the report
};

int LinesIn(std::string_view text) {
  int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

std::string DatabasePattern(const std::string& db_dir) {
  std::string pattern = std::string(kDatabasePrefix) + "*";
  return db_dir.empty() ? pattern : db_dir + platform::kSeparator + pattern;
}

// The tear and origin lines of an echomail message. The CR after the
// origin line keeps the SEEN-BY line that a tosser appends on a line of
// its own.
std::string ReportTail(const MainConfig& config) {
  if (config.announce_to == 1) return "";
  return Format("\r--- Pelix %s\r * Origin: Pelix %s (%s)\r", kVersion, kVersion,
                config.main_address.c_str());
}

// How many leading bytes of `contents` go into `room`: all of them, or the
// whole lines that fit. Only the first echo of a report may be cut inside
// a line (a single line longer than a whole report), so that every report
// takes something and no file waits for ever.
size_t TakeLength(std::string_view contents, size_t room, bool first_echo) {
  if (contents.size() <= room) return contents.size();
  if (room == 0) return 0;
  size_t line_end = contents.rfind('\n', room - 1);
  if (line_end != std::string_view::npos) return line_end + 1;
  return first_echo ? room : 0;
}

bool ReadDatabaseFile(platform::Env& env, const std::string& path, std::string& contents) {
  if (!platform::ReadWholeFile(env, path, contents)) return false;
  // A zero byte would end the message text early in a reader; the lines
  // around it are kept.
  std::erase(contents, '\0');
  return true;
}

// Adds one echo's block to the report. Returns false when the report has no
// room left for further echoes.
bool AddDatabaseFile(platform::Env& env, Log& log, const std::string& name, size_t tail_size,
                     std::string& report, std::vector<TakenFile>& taken) {
  const std::string& db_dir = Config().main.announce_db_dir;
  std::string path = db_dir + name;
  std::string head = Format(" Area : %s\r\n", name.substr(kDatabasePrefix.size()).c_str());
  head += kRule;
  size_t overhead = head.size() + kRule.size() + tail_size;
  if (report.size() + overhead >= kReportCapacity) return false;
  std::string contents;
  if (!ReadDatabaseFile(env, path, contents)) {
    const int error = errno;
    report += head;
    log.Write(kMarkError, WithReason(Format("Can't open file %s", path.c_str()), error));
    return true;
  }
  size_t room = kReportCapacity - report.size() - overhead;
  size_t length = TakeLength(contents, room, taken.empty());
  if (length == 0 && !contents.empty()) return false;
  report += head;
  report.append(contents, 0, length);
  report += kRule;
  taken.push_back({name, path, contents.substr(length),
                   LinesIn(std::string_view(contents).substr(0, length))});
  return length == contents.size();
}

// FidoNet message text ends its lines with CR alone; a CR LF would show
// as an empty line in readers and travel on as an LF byte in echomail.
std::string MessageText(const std::string& report) {
  std::string text;
  text.reserve(report.size());
  for (size_t i = 0; i < report.size(); ++i) {
    if (report[i] == '\r' && i + 1 < report.size() && report[i + 1] == '\n') continue;
    text += report[i] == '\n' ? '\r' : report[i];
  }
  return text;
}

bool PostToJamBase(platform::Env& env, Log& log, Serials& serials, const std::string& report) {
  const MainConfig& config = Config().main;
  JamBaseHeader header;
  platform::FilePtr jhr = OpenJamBase(env, log, config.announce_target, header);
  if (!jhr) return false;
  bool posted = AppendJamMessage(env, log, serials, config.announce_target, *jhr, header,
                                 MessageText(report), config.main_address, "Pelix", "All",
                                 "New Files");
  return CloseJamBase(log, *jhr, header) && posted;
}

// The report takes the text file's place whole, so a full disk leaves the
// last report readable instead of a cut one. A file that cannot even be
// begun is one that cannot be opened.
bool WriteTextFile(platform::Env& env, Log& log, const std::string& report) {
  const std::string& target = Config().main.announce_target;
  platform::RewriteStep failed = platform::RewriteStep::kNone;
  if (platform::RewriteFile(env, target, report, platform::kDefaultFileMode, &failed)) return true;
  const char* what = failed == platform::RewriteStep::kCreate ? "Can't open file %s"
                                                              : "Can't write file %s";
  log.Write(kMarkError, WithReason(Format(what, target.c_str()), errno));
  return false;
}

bool PostReport(platform::Env& env, Log& log, Serials& serials, const std::string& report) {
  int32_t announce_to = Config().main.announce_to;
  if (announce_to == 0) return PostToJamBase(env, log, serials, report);
  if (announce_to == 1) return WriteTextFile(env, log, report);
  log.Write(kMarkError, Format("Unknown Announce Target %d", announce_to));
  return false;
}

// The rest of a file that did not fit is written beside it under a name the
// database search does not find, then put in its place in one step.
void KeepRest(platform::Env& env, Log& log, const TakenFile& file) {
  if (!platform::RewriteFile(env, file.path, file.rest))
    log.Write(kMarkError, WithReason(Format("Can't rewrite file %s", file.path.c_str()), errno));
}

void ConsumeTakenFiles(platform::Env& env, Log& log, const std::vector<TakenFile>& taken) {
  for (const TakenFile& file : taken) {
    if (!file.rest.empty()) {
      KeepRest(env, log, file);
    } else if (!env.DeleteFile(file.path)) {
      log.Write(kMarkError, WithReason(Format("Can't delete file %s", file.path.c_str()), errno));
    }
  }
}

std::vector<std::string> DatabaseFileNames(platform::Env& env) {
  const std::vector<platform::DirEntry> found =
      env.FindFiles(DatabasePattern(Config().main.announce_db_dir));
  std::vector<std::string> names;
  // The search also finds a bare "Announce", which names no echo.
  for (const platform::DirEntry& entry : found)
    if (!entry.is_directory && entry.name.size() >= kDatabasePrefix.size())
      names.push_back(entry.name);
  return names;
}

}  // namespace

void MakeAnnounceReport(platform::Env& env, Log& log, Serials& serials) {
  ConsoleOut("Making Announce.\n");
  std::vector<std::string> names = DatabaseFileNames(env);
  if (names.empty()) {
    log.Write(kMarkNothing, "Nothing to Announce");
    return;
  }
  std::string report = "\r\n";
  std::string tail = ReportTail(Config().main);
  std::vector<TakenFile> taken;
  for (const std::string& name : names) {
    if (report.size() > kReportFull) break;
    if (!AddDatabaseFile(env, log, name, tail.size(), report, taken)) break;
  }
  report += tail;
  if (!PostReport(env, log, serials, report)) return;
  int files = 0;
  for (const TakenFile& file : taken) files += file.lines;
  log.Write(kMarkTic, Format("Announced %d files of %zu echoes into %s", files, taken.size(),
                             Config().main.announce_target.c_str()));
  ConsumeTakenFiles(env, log, taken);
}
