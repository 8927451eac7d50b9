#include "processor/tic/bad_tic_index.h"

#include <map>
#include <vector>

#include <cerrno>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_reader.h"

namespace {

constexpr char kFileMissing[] = "File Missing";
// Years of refused TICs fit; a larger file is not ours to read whole.
constexpr size_t kLargestIndexRead = 16 << 20;

struct BadTic {
  std::string reason;
  int64_t moved = 0;
};

// One whole index line: exactly three fields, the last all digits. A line
// cut by a full disk runs into the next one and fails this test.
bool ParseIndexLine(std::string_view line, std::string& name, BadTic& entry) {
  const size_t first = line.find('\t');
  const size_t second = first == std::string_view::npos ? first : line.find('\t', first + 1);
  if (second == std::string_view::npos || line.find('\t', second + 1) != std::string_view::npos)
    return false;
  const std::string_view seconds = line.substr(second + 1);
  if (first == 0 || seconds.empty() || seconds.size() > 18) return false;
  int64_t value = 0;
  for (char c : seconds) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  name = std::string(line.substr(0, first));
  entry.reason = std::string(line.substr(first + 1, second - first - 1));
  entry.moved = value;
  return true;
}

std::map<std::string, BadTic> ReadIndex(platform::Env& env, const std::string& path) {
  std::map<std::string, BadTic> index;
  std::string text;
  if (!platform::ReadWholeFile(env, path, text, kLargestIndexRead, platform::OpenMode::kReadNoFollow))
    return index;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string name;
    BadTic entry;
    if (ParseIndexLine(line, name, entry)) index[name] = entry;
    pos = end + 1;
  }
  return index;
}

// The File value of the TIC at `path`; empty when it cannot be read.
std::string FileOfTic(platform::Env& env, const std::string& path) {
  TicRecord tic;
  if (ReadTic(env, path, tic) == TicText::kUnreadable) return {};
  return tic.file;
}

// A TIC refused for its missing file, recently enough, whose file is now
// (as a regular file) in the inbound.
bool FileHasArrived(platform::Env& env, const std::string& tic_path, const BadTic& entry,
                    int64_t now) {
  const int64_t wait = int64_t{Config().options.late_file_days} * 24 * 60 * 60;
  if (entry.reason != kFileMissing || now - entry.moved >= wait) return false;
  const std::string file = FileOfTic(env, tic_path);
  if (file.empty() || UnsafeFileNameReason(file) != nullptr) return false;
  return env.IsRegularFile(Config().main.inbound_dir + file);
}

}  // namespace

void RecordBadTic(platform::Env& env, Log& log, const std::string& tic_name,
                  std::string_view reason) {
  // A tab or line end in the name would break the line: such a TIC is
  // never retried.
  if (UnsafeNameReason(tic_name) != nullptr) return;
  const std::string path = Config().main.bad_tic_dir + kBadTicIndexName;
  const std::string line = Format("%s\t%s\t%lld\r\n", tic_name.c_str(),
                                  LoggableText(reason).c_str(),
                                  static_cast<long long>(env.UtcSeconds()));
  if (!platform::AppendToFile(env, path, line))
    log.Write(kMarkError, WithReason(Format("Can't write %s", path.c_str()), errno));
}

void RetryTicsWhoseFileArrived(platform::Env& env, Log& log) {
  const std::string& bad_dir = Config().main.bad_tic_dir;
  const std::string& inbound = Config().main.inbound_dir;
  if (bad_dir == inbound) return;
  const std::map<std::string, BadTic> index = ReadIndex(env, bad_dir + kBadTicIndexName);
  if (index.empty()) return;
  const int64_t now = env.UtcSeconds();
  const std::vector<platform::DirEntry> tics = env.FindFiles(bad_dir + "*.tic");
  for (const platform::DirEntry& tic : tics) {
    const auto found = index.find(tic.name);
    if (tic.is_directory || found == index.end()) continue;
    if (!FileHasArrived(env, bad_dir + tic.name, found->second, now)) continue;
    log.Write(kMarkTic, Format("Retrying %s, its file has arrived", tic.name.c_str()));
    // A TIC of that name already in the inbound: this one waits for a later run.
    if (!env.MoveFile(bad_dir + tic.name, inbound + tic.name))
      log.Write(kMarkError, WithReason(Format("Can't move %s%s to %s, left in Bad Tics",
                                              bad_dir.c_str(), tic.name.c_str(), inbound.c_str()),
                                       errno));
  }
}
