#include "processor/tic/file_area.h"

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

enum class Appended { kWhole, kNotOpened, kNotWritten };

// Appends `line` to the text file `path`, creating it, in one write.
Appended AppendLine(const std::string& path, const std::string& line) {
  platform::FilePtr f;
  {
    platform::CriticalErrorsOff quiet;
    f = platform::OpenFile(path, platform::OpenMode::kAppend);
  }
  if (!f) return Appended::kNotOpened;
  bool written = f->Write(line);
  written = f->Close() && written;
  return written ? Appended::kWhole : Appended::kNotWritten;
}

// A line that could not be written (a full disk) is missing from a listing
// the sysop and the users read: say so.
void ReportUnwritten(Appended result, const std::string& path) {
  if (result == Appended::kNotWritten)
    LogLine(kMarkError, Format("Can't write %s", path.c_str()));
}

}  // namespace

std::string FilesBbsLine(const std::string& file, const std::string& desc, bool counter) {
  return Format(counter ? "%-12.12s [00] %s\r\n" : "%-12.12s %s\r\n", file.c_str(), desc.c_str());
}

std::string AnnounceRecordLine(const std::string& file, const std::string& desc) {
  return Format(" %-12.12s %s\r\n", file.c_str(), desc.c_str());
}

namespace {

std::string AreaDirectory() { return State().config.fileecho_dir + State().tic.area; }

}  // namespace

std::string AreaCopyPath() {
  return AreaDirectory() + platform::kSeparator + State().tic.file;
}

bool CopyFileIntoArea(platform::Durability durability) {
  const MainConfig& config = State().config;
  // A directory that cannot be made shows as the copy failing.
  (void)platform::MakeDirectory(config.fileecho_dir);
  (void)platform::MakeDirectory(AreaDirectory());
  // Files arrive in an area through pelix: a new name needs no look
  // through every file the area holds.
  platform::KeepNamesOf(AreaDirectory());
  const std::string placed = AreaCopyPath();
  if (platform::CopyFile(State().inbound_file, placed, durability)) {
    if (durability == platform::Durability::kLater) State().unforced_dirs.push_back(AreaDirectory());
    return true;
  }
  // A full disk or a directory in the file's place: nothing of the TIC is
  // done, and the next run does it all.
  LogLine(kMarkError, Format("Can't copy %s, left in the inbound", placed.c_str()));
  return false;
}

void ListFileInArea() {
  const MainConfig& config = State().config;
  const TicRecord& tic = State().tic;
  const std::string files_bbs = AreaDirectory() + platform::kSeparator + "FILES.BBS";
  const Appended listed =
      AppendLine(files_bbs, FilesBbsLine(tic.file, tic.desc, config.files_bbs_counter != 0));
  if (listed == Appended::kNotOpened) {
    LogLine(kMarkError, "Can't Create FILES.BBS");
    FatalExit(2);
  }
  ReportUnwritten(listed, files_bbs);
}

void AddAnnounceRecord() {
  const MainConfig& config = State().config;
  const TicRecord& tic = State().tic;
  (void)platform::MakeDirectory(config.announce_db_dir);
  const std::string database = config.announce_db_dir + "Announce." + tic.area;
  const Appended added = AppendLine(database, AnnounceRecordLine(tic.file, tic.desc));
  if (added == Appended::kNotOpened) LogLine(kMarkNothing, "Can't Create Announce Database");
  ReportUnwritten(added, database);
}
