#include "processor/file_area.h"

#include <cstdio>

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

// Appends `line` to the text file `path`, creating it; false when the file
// cannot be opened.
bool AppendLine(const std::string& path, const std::string& line) {
  std::FILE* f = nullptr;
  {
    platform::CriticalErrorsOff quiet;
    f = platform::OpenFile(path, "a");
  }
  if (!f) return false;
  std::fwrite(line.data(), 1, line.size(), f);
  std::fclose(f);
  return true;
}

}  // namespace

std::string FilesBbsLine(const std::string& file, const std::string& desc, bool counter) {
  return Format(counter ? "%-12.12s [00] %s\r\n" : "%-12.12s %s\r\n", file.c_str(), desc.c_str());
}

std::string AnnounceRecordLine(const std::string& file, const std::string& desc) {
  return Format(" %-12.12s %s\r\n", file.c_str(), desc.c_str());
}

bool PlaceFileInArea() {
  const MainConfig& config = State().config;
  const TicRecord& tic = State().tic;
  const std::string area_dir = config.fileecho_dir + tic.area;
  platform::MakeDirectory(config.fileecho_dir);
  platform::MakeDirectory(area_dir);
  const std::string placed = area_dir + platform::kSeparator + tic.file;
  const bool copied = platform::CopyFile(config.inbound_dir + tic.file, placed);
  const std::string files_bbs = area_dir + platform::kSeparator + "FILES.BBS";
  if (!AppendLine(files_bbs, FilesBbsLine(tic.file, tic.desc, config.files_bbs_counter != 0))) {
    LogLine(kMarkError, "Can't Create FILES.BBS");
    FatalExit(2);
  }
  // A full disk or a directory in the file's place: the area holds no whole
  // copy, so the inbound one is kept for the sysop.
  if (!copied) LogLine(kMarkError, Format("Can't copy %s, kept in the inbound", placed.c_str()));
  return copied;
}

void AddAnnounceRecord() {
  const MainConfig& config = State().config;
  const TicRecord& tic = State().tic;
  platform::MakeDirectory(config.announce_db_dir);
  if (!AppendLine(config.announce_db_dir + "Announce." + tic.area,
                  AnnounceRecordLine(tic.file, tic.desc))) {
    LogLine(kMarkNothing, "Can't Create Announce Database");
  }
}
