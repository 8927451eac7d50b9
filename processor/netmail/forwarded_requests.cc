#include "processor/netmail/forwarded_requests.h"

#include <cerrno>

#include "common/fido_address.h"
#include "common/text_helpers.h"

namespace {

// The requests pelix.fwd holds; false, errno telling why, when it is there
// and cannot be read.
bool ReadForwardedRequests(platform::Env& env, std::vector<ForwardedRequest>& requests,
                           bool& present) {
  std::string text;
  if (!platform::ReadFileIfPresent(env, kForwardedRequestsFile, text, present,
                                   kForwardedRequestsLimit))
    return false;
  requests = ParseForwardedRequests(text);
  return true;
}

// Replaces pelix.fwd by `requests`, less those that have expired; with none
// left it goes. False, errno telling why, when it could not.
bool WriteForwardedRequests(platform::Env& env, std::vector<ForwardedRequest> requests) {
  const int64_t oldest = env.UtcSeconds() - kForwardedRequestDays * 24 * 60 * 60;
  std::erase_if(requests, [oldest](const ForwardedRequest& r) { return r.time < oldest; });
  if (requests.empty()) return env.DeleteFile(kForwardedRequestsFile) || errno == ENOENT;
  return platform::RewriteFile(env, kForwardedRequestsFile, ForwardedRequestsText(requests));
}

bool SameRequest(const ForwardedRequest& a, const ForwardedRequest& b) {
  return EqualsIgnoreCase(a.tag, b.tag) && ParseAddress(a.downlink) == ParseAddress(b.downlink) &&
         ParseAddress(a.uplink) == ParseAddress(b.uplink);
}

}  // namespace

std::string ForwardedRequestsText(const std::vector<ForwardedRequest>& requests) {
  std::string text;
  for (const ForwardedRequest& r : requests)
    text += Format("%s %s %s %lld\n", r.tag.c_str(), r.downlink.c_str(), r.uplink.c_str(),
                   static_cast<long long>(r.time));
  return text;
}

std::vector<ForwardedRequest> ParseForwardedRequests(std::string_view text) {
  std::vector<ForwardedRequest> requests;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string_view::npos;
       start = end + 1, end = text.find('\n', start)) {
    const std::string_view line = text.substr(start, end - start);
    size_t pos = 0;
    ForwardedRequest r;
    r.tag = NextToken(line, pos, ' ');
    r.downlink = NextToken(line, pos, ' ');
    r.uplink = NextToken(line, pos, ' ');
    const std::string time = NextToken(line, pos, ' ');
    if (time.empty() || time.find_first_not_of("0123456789") != std::string::npos ||
        pos < line.size())
      continue;
    r.time = DecimalValue(time);
    requests.push_back(std::move(r));
  }
  return requests;
}

bool RememberForwardedRequests(platform::Env& env,
                               const std::vector<ForwardedRequest>& requests) {
  std::vector<ForwardedRequest> kept;
  bool present = false;
  if (!ReadForwardedRequests(env, kept, present)) return false;
  for (const ForwardedRequest& request : requests) {
    bool known = false;
    for (ForwardedRequest& old : kept) {
      if (!SameRequest(old, request)) continue;
      old.time = std::max(old.time, request.time);
      known = true;
    }
    if (!known) kept.push_back(request);
  }
  return WriteForwardedRequests(env, std::move(kept));
}

void LinkForwardedRequesters(platform::Env& env, Log& log, Configuration& config,
                             size_t echo_index) {
  std::vector<ForwardedRequest> requests;
  bool present = false;
  if (!ReadForwardedRequests(env, requests, present)) {
    log.Write(kMarkError, WithReason(Format("Can't read %s", kForwardedRequestsFile), errno));
    return;
  }
  if (!present) return;
  FileEchoRecord& echo = config.fileecho_list[echo_index];
  const std::vector<EchoLinkEntry> links_before = echo.links;
  std::vector<ForwardedRequest> kept;
  std::vector<std::string> linked;
  for (ForwardedRequest& request : requests) {
    if (!EqualsIgnoreCase(request.tag, echo.tag)) {
      kept.push_back(std::move(request));
      continue;
    }
    // A downlink that is no link any more asked in vain.
    const FidoAddress downlink = ParseAddress(request.downlink);
    if (!config.FindLink(downlink)) continue;
    EchoLinkEntry* entry = FindEchoLink(echo, downlink);
    if (entry && entry->send) continue;  // asked through two uplinks
    if (entry) {
      entry->send = 1;
    } else {
      echo.links.push_back({request.downlink, 0, 1});
    }
    linked.push_back(request.downlink);
  }
  if (linked.empty()) return;
  if (!SaveFileEchoesAndLinks(env, log, config)) {
    echo.links = links_before;
    log.Write(kMarkError, Format("Downlinks that asked for %s not linked, %s keeps their requests",
                                 echo.tag.c_str(), kForwardedRequestsFile));
    return;
  }
  for (const std::string& downlink : linked)
    log.Write(kMarkEcho, Format("Fileecho %s - added for %s", echo.tag.c_str(), downlink.c_str()));
  // Requests that stay only cost a look when another echo is created.
  if (!WriteForwardedRequests(env, std::move(kept)))
    log.Write(kMarkError, WithReason(Format("Can't write %s", kForwardedRequestsFile), errno));
}
