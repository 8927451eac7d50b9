#include "processor/tic/file_match.h"

#include "common/text_helpers.h"
#include "processor/log.h"
#include "processor/tic/file_crc.h"

int64_t FileLength(platform::Env& env, const std::string& path) {
  platform::FilePtr file = env.Open(path, platform::OpenMode::kReadNoFollow);
  int64_t size = -1;
  if (file && !file->Size(size)) size = -1;
  // Only read: a failing close loses nothing.
  if (file) (void)file->Close();
  return size;
}

bool SameContents(platform::Env& env, const std::string& a, const std::string& b) {
  const int64_t size = FileLength(env, a);
  return size >= 0 && size == FileLength(env, b) && FileCrc32(env, a) == FileCrc32(env, b);
}

bool IsNumberedCopyName(const std::string& name, const std::string& file) {
  if (name.size() < file.size() + 2 || name[file.size()] != '.') return false;
  if (!EqualsIgnoreCase(name.substr(0, file.size()), file)) return false;
  return name.find_first_not_of("0123456789", file.size() + 1) == std::string::npos;
}

std::vector<std::string> NumberedCopies(platform::Env& env, const std::string& dir,
                                        const std::string& file) {
  std::vector<std::string> copies;
  for (const platform::DirEntry& entry : env.FindFiles(dir + file + ".*"))
    if (IsNumberedCopyName(entry.name, file) && env.IsRegularFile(dir + entry.name))
      copies.push_back(entry.name);
  return copies;
}

bool SizeMatches(platform::Env& env, const std::string& path, const TicRecord& tic) {
  const std::string& size = tic.size;
  if (size.empty() || size.size() > 18 || size.find_first_not_of("0123456789") != std::string::npos)
    return true;
  return FileLength(env, path) == DecimalValue(size);
}

bool MatchesTic(platform::Env& env, const std::string& path, const TicRecord& tic) {
  return !tic.crc.empty() && SizeMatches(env, path, tic) &&
         EqualsIgnoreCase(FileCrcText(env, path), tic.crc);
}

std::string FileCrcText(platform::Env& env, const std::string& path) {
  return Format("%8.8lX", static_cast<unsigned long>(FileCrc32(env, path)));
}
