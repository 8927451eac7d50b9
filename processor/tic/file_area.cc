#include "processor/tic/file_area.h"

#include <cerrno>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/log.h"

namespace {

enum class Appended { kWhole, kNotOpened, kNotWritten };

// Appends `line` to the text file `path`, creating it, in one write.
Appended AppendLine(platform::Env& env, const std::string& path, const std::string& line,
                    int& error) {
  platform::FilePtr f = env.Open(path, platform::OpenMode::kAppend);
  if (!f) {
    error = errno;
    return Appended::kNotOpened;
  }
  bool written = f->Write(line);
  if (!written) error = errno;
  if (!f->Close() && written) {
    written = false;
    error = errno;
  }
  return written ? Appended::kWhole : Appended::kNotWritten;
}

// A line that could not be written (a full disk) is missing from a listing
// the sysop and the users read: say so.
void ReportUnwritten(Log& log, Appended result, const std::string& path, int error) {
  if (result == Appended::kNotWritten)
    log.Write(kMarkError, WithReason(Format("Can't write %s", path.c_str()), error));
}

// A listing longer than this is not looked through.
constexpr size_t kLargestListingRead = 16 << 20;

}  // namespace

std::string AreaDirectory(const TicJob& job) { return Config().main.fileecho_dir + job.echo_tag; }

namespace {

std::string FilesBbsPath(const TicJob& job) {
  return AreaDirectory(job) + platform::kSeparator + "FILES.BBS";
}

// A name of up to 12 characters (8.3) in its 12 columns; a longer one
// whole: cut, it would name a file that is not there.
std::string NameColumn(const std::string& file) { return Format("%-12s", file.c_str()); }

}  // namespace

std::string FilesBbsLine(const std::string& file, const std::string& desc, bool counter) {
  return NameColumn(file) + (counter ? " [00] " : " ") + desc + "\r\n";
}

std::string AnnounceRecordLine(const std::string& file, const std::string& desc) {
  return " " + NameColumn(file) + " " + desc + "\r\n";
}

std::string AreaCopyPath(const TicJob& job) {
  return AreaDirectory(job) + platform::kSeparator + job.tic.file;
}

bool CopyFileIntoArea(platform::Env& env, TicJob& job, platform::Durability durability) {
  // A directory that cannot be made shows as the copy failing.
  (void)env.MakeDirectory(Config().main.fileecho_dir);
  (void)env.MakeDirectory(AreaDirectory(job));
  const std::string placed = AreaCopyPath(job);
  if (env.CopyFile(job.inbound_file, placed, durability)) {
    if (durability == platform::Durability::kLater) job.unforced_dirs.push_back(AreaDirectory(job));
    return true;
  }
  // A full disk or a directory in the file's place: nothing of the TIC is
  // done, and the next run does it all.
  job.log.Write(kMarkError,
                WithReason(Format("Can't copy %s, left in the inbound", placed.c_str()), errno));
  return false;
}

RunStatus ListFileInArea(platform::Env& env, TicJob& job) {
  const std::string files_bbs = FilesBbsPath(job);
  int error = 0;
  const Appended listed = AppendLine(
      env, files_bbs, FilesBbsLine(job.tic.file, job.tic.desc, Config().main.files_bbs_counter != 0),
      error);
  if (listed == Appended::kNotOpened) {
    job.log.Write(kMarkError, WithReason("Can't Create FILES.BBS", error));
    return RunStatus::End(2);
  }
  ReportUnwritten(job.log, listed, files_bbs, error);
  return RunStatus::GoOn();
}

void AddAnnounceRecord(platform::Env& env, TicJob& job) {
  const std::string& db_dir = Config().main.announce_db_dir;
  (void)env.MakeDirectory(db_dir);
  const std::string database = db_dir + "Announce." + job.echo_tag;
  int error = 0;
  const Appended added =
      AppendLine(env, database, AnnounceRecordLine(job.tic.file, job.tic.desc), error);
  if (added == Appended::kNotOpened)
    job.log.Write(kMarkNothing, WithReason("Can't Create Announce Database", error));
  ReportUnwritten(job.log, added, database, error);
}

bool ListedInFilesBbs(platform::Env& env, const TicJob& job) {
  std::string text;
  if (!platform::ReadWholeFile(env, FilesBbsPath(job), text, kLargestListingRead,
                               platform::OpenMode::kReadNoFollow))
    return false;
  // The name field as a line without a description has it, then a space.
  std::string start = FilesBbsLine(job.tic.file, "", false);
  while (!start.empty() && (start.back() == '\n' || start.back() == '\r' || start.back() == ' '))
    start.pop_back();
  start += ' ';
  for (size_t pos = 0; pos < text.size();) {
    if (EqualsIgnoreCase(std::string_view(text).substr(pos, start.size()), start)) return true;
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) break;
    pos = end + 1;
  }
  return false;
}
