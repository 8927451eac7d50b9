#include "processor/outbound/flow_references.h"

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/outbound/outbound.h"
#include "processor/run_state.h"

namespace {

// Lower case, and "\" as the separator it stands for.
std::string FoldedPath(std::string_view path) {
  std::string key = ToLowerAscii(path);
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

// The outbound directory may be found twice (itself and through "%s.*");
// every directory is listed once so that no flow file is read twice.
struct DirectoryList {
  std::vector<std::string> dirs;
  std::unordered_set<std::string> seen;

  void Add(const std::string& dir) {
    if (seen.insert(FoldedPath(dir)).second) dirs.push_back(dir);
  }
};

std::vector<std::string> FlowFiles(const std::vector<std::string>& dirs) {
  std::vector<std::string> flows;
  for (const std::string& dir : dirs)
    for (const platform::DirEntry& flow :
         platform::FindFilesQuietly(dir + platform::kSeparator + "*.?lo"))
      if (!flow.is_directory) flows.push_back(dir + platform::kSeparator + flow.name);
  return flows;
}

// Adds the files one flow file names. "^" (delete after sending) and "#"
// (truncate after sending) still mean the file has to go out; any other
// marker, such as "~" for a file already sent, is kept and so never
// matches a path.
void AddReferences(const std::string& bytes, std::unordered_set<std::string>& referenced) {
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (!line.empty() && (line.front() == '^' || line.front() == '#')) line.remove_prefix(1);
    if (!line.empty()) referenced.insert(ReferenceKey(line));
    start = end + 1;
  }
}

}  // namespace

std::string ReferenceKey(std::string_view path) {
  // Lines are absolute; a relative one, as earlier versions wrote them,
  // is relative to the node directory.
  return FoldedPath(AbsoluteFlowPath(std::string(path)));
}

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
    for (const platform::DirEntry& zone : platform::FindFilesQuietly(outbound + ".*"))
      if (zone.is_directory) list.Add(parent + zone.name);
  }
  for (size_t i = 0; i < list.dirs.size(); ++i) {
    const std::string dir = list.dirs[i];
    for (const platform::DirEntry& point :
         platform::FindFilesQuietly(dir + platform::kSeparator + "*.pnt"))
      if (point.is_directory) list.Add(dir + platform::kSeparator + point.name);
  }
  return list.dirs;
}

bool ReadFlowReferences(const std::vector<std::string>& outbounds, const char* left_alone,
                        std::unordered_set<std::string>& referenced) {
  bool complete = true;
  for (const std::string& flow : FlowFiles(outbounds)) {
    std::string bytes;
    bool read = false;
    {
      platform::CriticalErrorsOff quiet;
      read = platform::ReadWholeFile(platform::CurrentEnv(), flow, bytes);
    }
    if (read) {
      AddReferences(bytes, referenced);
    } else if (platform::Exists(flow)) {
      LogLine(kMarkError, Format("Can't read %s, %s left alone", flow.c_str(), left_alone));
      complete = false;
    }
    // A flow file gone since the search was sent and removed by the mailer.
  }
  return complete;
}
