#include "processor/outbound/flow_references.h"

#include <cerrno>

#include "common/text_helpers.h"
#include "processor/outbound/outbound_layout.h"

namespace {

std::vector<std::string> FlowFiles(platform::Env& env, const std::vector<std::string>& dirs) {
  std::vector<std::string> flows;
  for (const std::string& dir : dirs)
    for (const platform::DirEntry& flow : env.FindFiles(dir + platform::kSeparator + "*.?lo"))
      if (!flow.is_directory) flows.push_back(dir + platform::kSeparator + flow.name);
  return flows;
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

bool ReadFlowReferences(platform::Env& env, Log& log, const std::vector<std::string>& outbounds,
                        const char* left_alone, std::unordered_set<std::string>& referenced) {
  bool complete = true;
  for (const std::string& flow : FlowFiles(env, outbounds)) {
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
