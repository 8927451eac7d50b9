#include <string>
#include <unordered_set>
#include <vector>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/outbound.h"
#include "processor/passes.h"
#include "processor/run_state.h"

namespace {

// Flow-file lines and queue paths compare ignoring case, and a "\" written
// by software on other systems counts as the separator it stands for.
std::string ReferenceKey(std::string_view path) {
  std::string key = ToLowerAscii(path);
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

std::vector<platform::DirEntry> Search(const std::string& pattern) {
  platform::CriticalErrorsOff quiet;
  return platform::FindFiles(pattern);
}

// The outbound directory may be found twice (itself and through "%s.*");
// every directory is listed once so that no flow file is read twice.
struct DirectoryList {
  std::vector<std::string> dirs;
  std::unordered_set<std::string> seen;

  void Add(const std::string& dir) {
    if (seen.insert(ReferenceKey(dir)).second) dirs.push_back(dir);
  }
};

// Every domain's outbound directory, its zone directories beside it and
// the point directories below both.
std::vector<std::string> OutboundDirectories() {
  DirectoryList list;
  for (const DomainRecord& domain : State().domain_list) {
    const std::string& outbound = domain.outbound_dir;
    // An empty field names no outbound; searching it would walk the node
    // directory, or the root with the point pattern.
    if (outbound.empty()) continue;
    list.Add(outbound);
    size_t cut = outbound.find_last_of("\\/");
    std::string parent = cut == std::string::npos ? "" : outbound.substr(0, cut + 1);
    for (const platform::DirEntry& zone : Search(outbound + ".*"))
      if (zone.is_directory) list.Add(parent + zone.name);
  }
  for (size_t i = 0; i < list.dirs.size(); ++i) {
    const std::string dir = list.dirs[i];
    for (const platform::DirEntry& point : Search(dir + platform::kSeparator + "*.pnt"))
      if (point.is_directory) list.Add(dir + platform::kSeparator + point.name);
  }
  return list.dirs;
}

std::vector<std::string> FlowFiles(const std::vector<std::string>& dirs) {
  std::vector<std::string> flows;
  for (const std::string& dir : dirs)
    for (const platform::DirEntry& flow : Search(dir + platform::kSeparator + "*.?lo"))
      if (!flow.is_directory) flows.push_back(dir + platform::kSeparator + flow.name);
  return flows;
}

// Adds the files one flow file names. "^" (delete after sending) and "#"
// (truncate after sending) still mean the file has to go out; any other
// marker, such as "~" for a file already sent, is kept and so never
// matches a queue path.
void AddReferences(const std::string& bytes, std::unordered_set<std::string>& referenced) {
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (!line.empty() && (line.front() == '^' || line.front() == '#')) line.remove_prefix(1);
    // Lines are absolute; a relative one, as earlier versions wrote them,
    // is relative to the node directory.
    if (!line.empty()) referenced.insert(ReferenceKey(AbsoluteFlowPath(std::string(line))));
    start = end + 1;
  }
}

// False when a flow file exists but cannot be read: a queue copy that only
// it names may still be waiting for the mailer.
bool ReadReferences(const std::vector<std::string>& flows,
                    std::unordered_set<std::string>& referenced) {
  bool complete = true;
  for (const std::string& flow : flows) {
    std::string bytes;
    bool read = false;
    {
      platform::CriticalErrorsOff quiet;
      read = platform::ReadWholeFile(flow, bytes);
    }
    if (read) {
      AddReferences(bytes, referenced);
    } else if (platform::Exists(flow)) {
      LogLine(kMarkError, Format("Can't read %s, queue left alone", flow.c_str()));
      complete = false;
    }
    // A flow file gone since the search was sent and removed by the mailer.
  }
  return complete;
}

// "px" and four digits: where a second copy of a name waits while the
// first is still named by a flow file. Other subdirectories are the
// sysop's.
bool IsNumberedCopyDirectory(const std::string& name) {
  if (name.size() != 6 || !EqualsIgnoreCase(name.substr(0, 2), "px")) return false;
  for (size_t i = 2; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

void EraseSentCopies(const std::string& dir, const std::unordered_set<std::string>& referenced) {
  for (const platform::DirEntry& entry : Search(dir + "*.*")) {
    if (entry.is_directory) continue;
    std::string path = dir + entry.name;
    if (referenced.count(ReferenceKey(AbsoluteFlowPath(path)))) continue;
    LogLine(kMarkErased, Format("Erasing sent passtrought file %s", path.c_str()));
    // A copy that cannot go takes room but loses nothing; the next run
    // tries again.
    if (!platform::DeleteFile(path)) LogLine(kMarkError, Format("Can't erase %s", path.c_str()));
  }
}

}  // namespace

void ScanQueue() {
  ConsoleOut("Scaning Queue.\n");
  const std::string& queue_dir = State().config.queue_dir;
  // Without a queue directory the search below would list the node itself.
  if (queue_dir.empty()) return;
  std::unordered_set<std::string> referenced;
  const std::vector<std::string> outbounds = OutboundDirectories();
  for (const std::string& dir : outbounds) RemoveStaleSideFlags(dir);
  if (!ReadReferences(FlowFiles(outbounds), referenced)) return;
  EraseSentCopies(queue_dir, referenced);
  for (const platform::DirEntry& entry : Search(queue_dir + "*.*")) {
    if (!entry.is_directory || !IsNumberedCopyDirectory(entry.name)) continue;
    const std::string dir = queue_dir + entry.name;
    EraseSentCopies(dir + platform::kSeparator, referenced);
    // Kept while it still holds a copy.
    (void)platform::RemoveEmptyDirectory(dir);
  }
}
