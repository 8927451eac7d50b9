#include "processor/outbound/flow_references.h"

#include <cerrno>

#include "common/text_helpers.h"
#include "processor/outbound/outbound_layout.h"

namespace {

void SayUnlisted(Log& log, const std::string& dir, const char* left_alone, int error) {
  log.Write(kMarkError,
            WithReason(Format("Can't list %s, %s left alone", dir.c_str(), left_alone), error));
}

// The flow files of `dirs`; false (said) when a directory cannot be searched.
bool FlowFiles(platform::Env& env, Log& log, const std::vector<std::string>& dirs,
               const char* left_alone, std::vector<std::string>& flows) {
  bool complete = true;
  std::vector<platform::DirEntry> found;
  for (const std::string& dir : dirs) {
    if (!env.ListFiles(dir + platform::kSeparator + "*.?lo", found) && !NothingToList(errno)) {
      SayUnlisted(log, dir, left_alone, errno);
      complete = false;
    }
    for (const platform::DirEntry& flow : found)
      if (!flow.is_directory) flows.push_back(dir + platform::kSeparator + flow.name);
  }
  return complete;
}

}  // namespace

void AddFlowReferences(platform::Env& env, std::string_view bytes,
                       std::unordered_set<std::string>& referenced) {
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + start, end - start);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (!line.empty() && (line.front() == '^' || line.front() == '#')) line.remove_prefix(1);
    if (!line.empty()) referenced.insert(ReferenceKey(env, line));
    start = end + 1;
  }
}

std::string ReferenceKey(platform::Env& env, std::string_view path) {
  // Lines are absolute; a relative one, as earlier versions wrote them,
  // is relative to the node directory.
  std::string key = ToLowerAscii(AbsoluteFlowPath(env, std::string(path)));
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

bool ListOutbounds(platform::Env& env, Log& log, const char* left_alone,
                   std::vector<std::string>& outbounds) {
  std::string unlisted;
  if (OutboundDirectories(env, outbounds, unlisted)) return true;
  SayUnlisted(log, unlisted, left_alone, errno);
  return false;
}

bool ReadFlowReferences(platform::Env& env, Log& log, const std::vector<std::string>& outbounds,
                        const char* left_alone, std::unordered_set<std::string>& referenced) {
  std::vector<std::string> flows;
  bool complete = FlowFiles(env, log, outbounds, left_alone, flows);
  for (const std::string& flow : flows) {
    std::string bytes;
    if (platform::ReadWholeFile(env, flow, bytes)) {
      AddFlowReferences(env, bytes, referenced);
    } else if (env.Exists(flow)) {
      log.Write(kMarkError, Format("Can't read %s, %s left alone", flow.c_str(), left_alone));
      complete = false;
    }
    // A flow file gone since the search was sent and removed by the mailer.
  }
  return complete;
}
