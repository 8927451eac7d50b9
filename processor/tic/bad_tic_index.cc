#include "processor/tic/bad_tic_index.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <vector>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/tic/file_match.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_checks.h"
#include "processor/tic/tic_reader.h"

namespace {

// Years of refused TICs fit; of a larger file only the end is read, where
// the latest lines are.
constexpr size_t kLargestIndexRead = 16 << 20;

struct BadTic {
  std::string reason;
  int64_t moved = 0;
};

struct Index {
  std::map<std::string, BadTic> tics;
  size_t lines = 0;  // every line read, whole or not
};

// The refusals that say the TIC's file was not (yet) the one in the inbound:
// a later arrival may be it.
bool WaitsForItsFile(const std::string& reason) {
  return reason == "File Missing" || reason == "Bad CRC32" || reason == "Bad Size";
}

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

// The text of the index, at most its last kLargestIndexRead bytes from the
// start of a line; `cut` when there was more. False, errno telling why,
// when it cannot be read (ENOENT: there is none).
bool ReadIndexText(platform::Env& env, const std::string& path, std::string& text, bool& cut) {
  platform::FilePtr file = env.Open(path, platform::OpenMode::kReadNoFollow);
  int64_t size = 0;
  if (!file || !file->Size(size)) return false;
  cut = size > static_cast<int64_t>(kLargestIndexRead);
  if (cut && !file->Seek(size - static_cast<int64_t>(kLargestIndexRead))) return false;
  if (!platform::ReadBytes(*file, std::min<int64_t>(size, kLargestIndexRead), text)) return false;
  if (cut) {
    const size_t first_end = text.find('\n');
    text.erase(0, first_end == std::string::npos ? text.size() : first_end + 1);
  }
  return file->Close();
}

Index ReadIndex(platform::Env& env, Log& log, const std::string& path) {
  Index index;
  std::string text;
  bool cut = false;
  if (!ReadIndexText(env, path, text, cut)) {
    if (errno != ENOENT)
      log.Write(kMarkError,
                WithReason(Format("Can't read %s, no TIC there is retried", path.c_str()), errno));
    return index;
  }
  if (cut)
    log.Write(kMarkError, Format("%s is over %zu bytes, only its last lines are read",
                                 path.c_str(), kLargestIndexRead));
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string name;
    BadTic entry;
    ++index.lines;
    if (ParseIndexLine(line, name, entry)) index.tics[name] = entry;
    pos = end + 1;
  }
  return index;
}

std::string IndexLine(const std::string& tic_name, std::string_view reason, int64_t moved) {
  return Format("%s\t%s\t%lld\r\n", tic_name.c_str(), LoggableText(reason).c_str(),
                static_cast<long long>(moved));
}

// True when `path` is there and is the file of `tic`: its length, and its
// CRC-32 when the TIC has a Crc line.
bool IsTheTicsFile(platform::Env& env, const std::string& path, const TicRecord& tic) {
  if (!env.IsRegularFile(path)) return false;
  return tic.crc.empty() ? SizeMatches(env, path, tic) : MatchesTic(env, path, tic);
}

// A TIC refused for its file, recently enough and sent by a link with its
// password, whose file is now in the inbound. A stranger's TIC is never
// handled again: it would only be refused again.
bool FileHasArrived(platform::Env& env, const std::string& tic_path, const BadTic& entry,
                    bool recent) {
  if (!recent || !WaitsForItsFile(entry.reason)) return false;
  TicRecord tic;
  if (ReadTic(env, tic_path, tic) != TicText::kRead) return false;
  if (tic.file.empty() || UnsafeFileNameReason(tic.file) != nullptr) return false;
  if (!SenderAuthenticated(tic)) return false;
  const std::string& inbound = Config().main.inbound_dir;
  if (IsTheTicsFile(env, inbound + tic.file, tic)) return true;
  // Without a Crc line no numbered copy is taken for it.
  if (tic.crc.empty()) return false;
  for (const std::string& copy : NumberedCopies(env, inbound, tic.file))
    if (MatchesTic(env, inbound + copy, tic)) return true;
  return false;
}

// Once half of the index's lines are of no more use (too old, of TICs that
// are gone, replaced by a later line or damaged), it is written anew with
// the others: it never grows with every refusal for good.
void DropStaleLines(platform::Env& env, Log& log, const std::string& path, const Index& index,
                    const std::set<std::string>& kept) {
  const size_t dropped = index.lines - kept.size();
  if (dropped == 0 || dropped * 2 < index.lines) return;
  std::vector<std::pair<int64_t, std::string>> lines;
  for (const std::string& name : kept) {
    const BadTic& entry = index.tics.at(name);
    lines.emplace_back(entry.moved, IndexLine(name, entry.reason, entry.moved));
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::string text;
  for (const auto& line : lines) text += line.second;
  if (!platform::RewriteFile(env, path, text))
    log.Write(kMarkError, WithReason(Format("Can't rewrite %s", path.c_str()), errno));
}

}  // namespace

void RecordBadTic(platform::Env& env, Log& log, const std::string& tic_name,
                  std::string_view reason) {
  // A tab or line end in the name would break the line: such a TIC is
  // never retried.
  if (UnsafeNameReason(tic_name) != nullptr) return;
  const std::string path = Config().main.bad_tic_dir + kBadTicIndexName;
  if (!platform::AppendToFile(env, path, IndexLine(tic_name, reason, env.UtcSeconds())))
    log.Write(kMarkError, WithReason(Format("Can't write %s", path.c_str()), errno));
}

void RetryTicsWhoseFileArrived(platform::Env& env, Log& log, int64_t wait_seconds) {
  const std::string& bad_dir = Config().main.bad_tic_dir;
  const std::string& inbound = Config().main.inbound_dir;
  if (bad_dir == inbound) return;
  const std::string path = bad_dir + kBadTicIndexName;
  const Index index = ReadIndex(env, log, path);
  if (index.lines == 0) return;
  const int64_t now = env.UtcSeconds();
  std::set<std::string> kept;
  for (const platform::DirEntry& tic : env.FindFiles(bad_dir + "*.tic")) {
    const auto found = index.tics.find(tic.name);
    if (tic.is_directory || found == index.tics.end()) continue;
    const bool recent = now - found->second.moved < wait_seconds;
    if (recent) kept.insert(tic.name);
    if (!FileHasArrived(env, bad_dir + tic.name, found->second, recent)) continue;
    log.Write(kMarkTic, Format("Retrying %s, its file has arrived", tic.name.c_str()));
    // A TIC of that name already in the inbound: this one waits for a later run.
    if (env.MoveFile(bad_dir + tic.name, inbound + tic.name)) {
      kept.erase(tic.name);
    } else {
      log.Write(kMarkError, WithReason(Format("Can't move %s%s to %s, left in Bad Tics",
                                              bad_dir.c_str(), tic.name.c_str(), inbound.c_str()),
                                       errno));
    }
  }
  DropStaleLines(env, log, path, index, kept);
}
