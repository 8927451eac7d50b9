#include "processor/netmail/uplinks.h"

#include <cerrno>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/tic/safe_name.h"

std::vector<OfferedEcho> ParseEchoList(std::string_view text) {
  std::vector<OfferedEcho> echoes;
  for (const std::string_view text_line : TextLines(text)) {
    std::string line(text_line);
    for (char& c : line)
      if (c == '\t') c = ' ';
    size_t pos = 0;
    const std::string tag = NextToken(line, pos, ' ');
    if (tag.empty() || tag[0] == ';' || tag[0] == '#' || UnsafeNameReason(tag)) continue;
    std::string description = line.substr(std::min(pos, line.size()));
    while (!description.empty() && description.back() == ' ') description.pop_back();
    echoes.push_back({tag, LoggableText(description)});
  }
  return echoes;
}

bool ForwardsRequests(const UplinkOptions& uplink) {
  return uplink.forward_requests && !uplink.robot.empty();
}

const Uplinks::List& Uplinks::ListOf(Log& log, const UplinkOptions& uplink) {
  auto [it, is_new] = lists_.try_emplace(uplink.section);
  List& list = it->second;
  if (!is_new || uplink.echo_list.empty()) return list;
  std::string text;
  if (!platform::ReadWholeFile(env_, uplink.echo_list, text, kEchoListLimit)) {
    // Said once a run; the uplink then offers nothing.
    log.Write(kMarkError, WithReason(Format("Can't read the echo list %s of uplink %s",
                                            uplink.echo_list.c_str(),
                                            FormatAddress(uplink.address).c_str()),
                                     errno));
    return list;
  }
  list.echoes = ParseEchoList(text);
  for (size_t i = 0; i < list.echoes.size(); ++i)
    list.by_tag.try_emplace(ToUpperAscii(list.echoes[i].tag), i);
  return list;
}

const UplinkOptions* Uplinks::ForwardTarget(Log& log, std::string_view tag,
                                            const FidoAddress& requester,
                                            bool requester_may_create, std::string& listed_tag) {
  const UplinkOptions* first = nullptr;
  const std::string key = ToUpperAscii(tag);
  for (const UplinkOptions& uplink : Config().options.uplinks) {
    // An uplink asking us for an echo we lack is not sent its own request.
    if (!ForwardsRequests(uplink) || uplink.address == requester) continue;
    if (!first) first = &uplink;
    const List& list = ListOf(log, uplink);
    if (const auto found = list.by_tag.find(key); found != list.by_tag.end()) {
      listed_tag = list.echoes[found->second].tag;
      return &uplink;
    }
  }
  listed_tag = std::string(tag);
  return requester_may_create ? first : nullptr;
}

std::vector<AvailableEcho> Uplinks::NotCarried(Log& log) {
  std::vector<AvailableEcho> available;
  std::unordered_set<std::string> listed;
  for (const UplinkOptions& uplink : Config().options.uplinks) {
    if (!ForwardsRequests(uplink)) continue;
    for (const OfferedEcho& echo : ListOf(log, uplink).echoes) {
      if (Config().FindFileEcho(echo.tag) || !listed.insert(ToUpperAscii(echo.tag)).second)
        continue;
      available.push_back({echo.tag, echo.description, &uplink});
    }
  }
  return available;
}

std::pair<std::string, std::string> Uplinks::RequestKey(std::string_view tag,
                                                        const UplinkOptions& uplink) {
  return {ToUpperAscii(tag), uplink.section};
}

bool Uplinks::Requested(std::string_view tag, const UplinkOptions& uplink) const {
  return requested_.count(RequestKey(tag, uplink)) > 0;
}

void Uplinks::NoteRequested(std::string_view tag, const UplinkOptions& uplink) {
  requested_.insert(RequestKey(tag, uplink));
}
