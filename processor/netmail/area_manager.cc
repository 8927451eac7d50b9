#include "processor/netmail/area_manager.h"

#include <cerrno>
#include <set>
#include <utility>

#include "common/field_codec.h"
#include "common/records.h"
#include "common/text_helpers.h"
#include "common/node_options.h"
#include "processor/netmail/area_manager_replies.h"
#include "processor/netmail/forwarded_requests.h"
#include "processor/netmail/rescan.h"
#include "processor/tic/safe_name.h"

namespace {

constexpr char kRobotName[] = "Pelix";
// Our requests to an uplink's robot come from the sysop: its robot answers
// to this name, which our own robot takes for no request.
constexpr char kSysopName[] = "SysOp";

enum Metacommand {
  kList = 1, kHelp, kPause, kResume, kPassword, kAmPassword, kQuery, kUnlinked, kInfo, kRescan,
  kAvail,
};

constexpr Keyword kMetacommands[] = {
    {"LIST", kList},         {"HELP", kHelp},         {"PAUSE", kPause},
    {"PASSIVE", kPause},     {"RESUME", kResume},     {"ACTIVE", kResume},
    {"PASSWORD", kPassword}, {"AMPASSWORD", kAmPassword}, {"QUERY", kQuery},
    {"UNLINKED", kUnlinked}, {"INFO", kInfo},         {"RESCAN", kRescan},
    {"AVAIL", kAvail},       {"", 0}};

// One answer in the making. Its messages are remembered so that an answer
// that cannot be completed is taken back whole instead of leaving a reply
// the requester would get again on the next run.
struct Answer {
  NetmailContext& context;
  const NetmailRequest& request;
  FidoAddress our_address{};
  std::string domain_suffix{};
  platform::FilePtr reply{};
  std::vector<std::string> created{};
  bool failed = false;
  // The list, the help, the query, the unlinked list and the info go out
  // once per request, however often asked: a request repeating them must
  // not make a message, or a reply many times its own size, for every line.
  std::set<int> answered{};
  // The echoes rescanned, by tag in capitals: once per request as well.
  std::set<std::string> rescanned{};
  // Ends the run: sending a file for the answer met a fatal condition.
  RunStatus status = RunStatus::GoOn();
  // Requests for echoes we lack: those this answer sends to uplinks (tag
  // and uplink), and the downlink's, remembered once the answer stands.
  std::vector<std::pair<std::string, const UplinkOptions*>> forwarded{};
  std::vector<ForwardedRequest> remembered{};
};

// Who a message of the answer goes from and to.
struct Addressing {
  std::string from_name;
  FidoAddress from;
  std::string to_name;
  FidoAddress to;
};

Addressing ToRequester(const Answer& answer) {
  return {kRobotName, answer.our_address, answer.request.header.fromUserName,
          answer.request.from};
}

bool FindOurAddress(const FidoAddress& to, FidoAddress& our_address) {
  const MainConfig& config = Config().main;
  our_address = ParseAddress(config.main_address);
  if (our_address == to) return true;
  size_t pos = 0;
  while (pos < config.aka_list.size()) {
    std::string aka = NextToken(config.aka_list, pos, ',');
    if (aka.empty()) continue;
    our_address = ParseAddress(aka);
    if (our_address == to) return true;
  }
  return false;
}

void Fail(Answer& answer, const char* what) {
  if (answer.failed) return;
  answer.failed = true;
  answer.context.log.Write(
      kMarkError, WithReason(Format("Can't %s netmail message in %s, request from %s left for a "
                                    "later run",
                                    what, Config().main.netmail_dir.c_str(),
                                    answer.request.from_text.c_str()),
                             errno));
}

// A new message of the answer, header and control lines written; nullptr
// (logged) when it cannot be made. It waits under a pending name until the
// request is gone, as the whole answer does.
platform::FilePtr StartMessage(Answer& answer, const Addressing& addressing,
                               const std::string& subject) {
  std::string path;
  platform::FilePtr f = CreateNetmailMessage(answer.context.env, Config().main.netmail_dir, path,
                                             answer.request.file_name);
  if (!f) {
    Fail(answer, "create");
    return nullptr;
  }
  answer.created.push_back(path);
  if (!WriteNetmailHeader(answer.context.env, answer.context.log, answer.context.serials,
                          addressing.from_name, addressing.from, addressing.to_name,
                          addressing.to, subject, answer.domain_suffix, *f))
    Fail(answer, "write");
  return f;
}

void Reply(Answer& answer, const std::string& line) {
  if (!WriteNetmailText(*answer.reply, line)) Fail(answer, "write");
}

void SendMessage(Answer& answer, const Addressing& addressing, const std::string& subject,
                 const std::string& text) {
  platform::FilePtr f = StartMessage(answer, addressing, subject);
  if (!f) return;
  bool written = WriteNetmailText(*f, text);
  if (!CloseNetmailMessage(*f) || !written) Fail(answer, "write");
}

// The list and the help go in messages of their own, made while the reply
// is still open so that they are numbered right after it.
void SendSeparateMessage(Answer& answer, const std::string& subject, const std::string& text) {
  SendMessage(answer, ToRequester(answer), subject, text);
}

// The answer cannot go on because the run ends; it is taken back with the
// rest, and the request is answered by a later run.
void Stop(Answer& answer, RunStatus status) {
  answer.failed = true;
  answer.status = status;
  answer.context.log.Write(kMarkError, Format("Request from %s left for a later run",
                                              answer.request.from_text.c_str()));
}

// The requester's link, looked up again because a command may run long
// after the check at the start of the answer.
LinkRecord* RequesterLink(Answer& answer) {
  LinkRecord* link = answer.context.config.FindLink(answer.request.from);
  if (!link) Reply(answer, "Pelix internal error, please contact Tarkel Vosny!\r");
  return link;
}

// N of "%RESCAN TAG N": at most rescan_limit, which is also what a
// missing N, 0 or anything but a whole number stands for.
int RescanCount(const std::string& number) {
  const int limit = Config().options.rescan_limit;
  int wanted = 0;
  if (!ReadCountValue(number, wanted) || wanted == 0 || wanted > limit) return limit;
  return wanted;
}

// Only a link that the echo sends files to may have them again, and only
// from an echo that keeps its files. The answer is written once they went:
// a run that stops in between sends the request's files again next time,
// where the queue no longer holds them, but never answers without sending.
void Rescan(Answer& answer, const std::string& argument) {
  size_t pos = 0;
  const std::string tag = NextToken(argument, pos, ' ');
  const int count = RescanCount(NextToken(argument, pos, ' '));
  const FileEchoRecord* echo = answer.context.config.FindFileEcho(tag);
  if (!echo) {
    Reply(answer, Format("Unknown fileecho : %s\r", tag.c_str()));
    return;
  }
  if (!answer.rescanned.insert(ToUpperAscii(echo->tag)).second) return;
  const EchoLinkEntry* entry = FindEchoLink(*echo, answer.request.from);
  int sent = 0;
  if (entry && entry->send && !echo->passthrough) {
    answer.context.log.Write(kMarkAreaManager, Format("Rescanning %s for %s", tag.c_str(),
                                                      answer.request.from_text.c_str()));
    RunStatus status =
        RescanEcho(answer.context.tics, answer.context.log, *echo, *entry, count, sent);
    if (status.ends()) {
      Stop(answer, status);
      return;
    }
  }
  Reply(answer, sent > 0 ? Format("Fileecho %s - rescanned %d files\r", tag.c_str(), sent)
                         : Format("Fileecho %s - nothing to rescan\r", tag.c_str()));
}

// The echoes the uplinks offer that we lack, in as many messages as their
// length needs; said in the reply when there are none.
void SendAvailList(Answer& answer) {
  const std::vector<std::string> parts =
      AvailMessageTexts(answer.context.uplinks.NotCarried(answer.context.log));
  if (parts.empty()) {
    Reply(answer, "No FileEchoes available from uplinks\r");
    return;
  }
  Reply(answer, "Avail List is send in separate message\r");
  for (size_t i = 0; i < parts.size(); ++i)
    SendSeparateMessage(answer, parts.size() == 1 ? std::string("Avail List")
                                                  : Format("Avail List %zu/%zu", i + 1,
                                                           parts.size()),
                        parts[i]);
}

void RunMetacommand(Answer& answer, const std::string& line) {
  size_t pos = 1;
  std::string keyword = NextToken(line, pos, ' ');
  std::string argument = line.substr(pos);
  LinkRecord* link = nullptr;
  switch (LookupKeyword(kMetacommands, keyword, 0, false)) {
    case kList:
      if (!answer.answered.insert(kList).second) break;
      answer.context.log.Write(kMarkAreaManager, "Sending List Request");
      Reply(answer, "List Request is send in separate message\r");
      SendSeparateMessage(answer, "List Request", ListMessageText(answer.request.from));
      break;
    case kHelp:
      if (!answer.answered.insert(kHelp).second) break;
      answer.context.log.Write(kMarkAreaManager, "Sending Help Request");
      Reply(answer, "Help Request is send in separate message\r");
      SendSeparateMessage(answer, "Help Request", HelpMessageText());
      break;
    case kPause:
      answer.context.log.Write(kMarkAreaManager, "Switching Passive");
      if (!(link = RequesterLink(answer))) break;
      if (link->passive) {
        Reply(answer, "System already passive\r");
      } else {
        link->passive = 1;
        Reply(answer, "System switched passive\r");
      }
      break;
    case kResume:
      answer.context.log.Write(kMarkAreaManager, "Switching Active");
      if (!(link = RequesterLink(answer))) break;
      if (link->passive) {
        link->passive = 0;
        Reply(answer, "System switched active\r");
      } else {
        Reply(answer, "System already active\r");
      }
      break;
    case kPassword:
      answer.context.log.Write(kMarkAreaManager, "Changing password");
      // Cut to what pelix.nod keeps, so this run compares what later runs read.
      if ((link = RequesterLink(answer))) link->tic_password = FitText(argument, kPasswordWidth);
      break;
    case kAmPassword:
      answer.context.log.Write(kMarkAreaManager, "Changing Area Manager password");
      if ((link = RequesterLink(answer))) link->areamgr_password = FitText(argument, kPasswordWidth);
      break;
    case kQuery:
      if (!answer.answered.insert(kQuery).second) break;
      answer.context.log.Write(kMarkAreaManager, "Sending Query");
      Reply(answer, QueryReplyText(answer.request.from));
      break;
    case kUnlinked:
      if (!answer.answered.insert(kUnlinked).second) break;
      answer.context.log.Write(kMarkAreaManager, "Sending Unlinked List");
      Reply(answer, UnlinkedReplyText(answer.request.from));
      break;
    case kInfo:
      if (!answer.answered.insert(kInfo).second) break;
      answer.context.log.Write(kMarkAreaManager, "Sending Info");
      if ((link = RequesterLink(answer))) Reply(answer, InfoReplyText(*link));
      break;
    case kRescan:
      Rescan(answer, argument);
      break;
    case kAvail:
      if (!answer.answered.insert(kAvail).second) break;
      answer.context.log.Write(kMarkAreaManager, "Sending Avail List");
      SendAvailList(answer);
      break;
    default:
      Reply(answer, Format("Unknown metacommand : '%s'\r", line.substr(1).c_str()));
      break;
  }
}

// Our address toward an uplink: the one its link record gives, as in the
// TICs we send it, else the main address.
FidoAddress OurAddressToward(const UplinkOptions& uplink) {
  const LinkRecord* link = Config().FindLink(uplink.address);
  return ParseAddress(link && !link->from_address.empty() ? link->from_address
                                                          : Config().main.main_address);
}

// "+TAG" from us to the uplink's robot, our password there its subject.
void SendUplinkRequest(Answer& answer, const UplinkOptions& uplink, const std::string& tag) {
  answer.context.log.Write(kMarkAreaManager,
                           Format("Forwarding request for %s to %s", tag.c_str(),
                                  FormatAddress(uplink.address).c_str()));
  const Addressing addressing{kSysopName, OurAddressToward(uplink),
                              FitText(uplink.robot, kRobotNameWidth), uplink.address};
  SendMessage(answer, addressing, FitText(uplink.password, kRobotPasswordWidth),
              "+" + tag + "\r" + TearLine());
  answer.forwarded.emplace_back(tag, &uplink);
}

bool ForwardedInThisAnswer(const Answer& answer, const std::string& tag,
                           const UplinkOptions& uplink) {
  for (const auto& [asked, to] : answer.forwarded)
    if (to == &uplink && EqualsIgnoreCase(asked, tag)) return true;
  return false;
}

// A +TAG for an echo we lack goes on to the uplink that offers it (or, for
// a link that may create echoes, to the first uplink taking requests), once
// a run for each echo and uplink however many ask; the downlink is linked
// to the echo when its first TIC creates it. False when no uplink takes it.
bool ForwardToUplink(Answer& answer, const std::string& tag) {
  // The tag goes into a netmail line and pelix.fwd, and names a directory
  // once the echo comes.
  if (tag.empty() || tag.size() >= kTextWidth || tag.find(' ') != std::string::npos ||
      UnsafeNameReason(tag))
    return false;
  const LinkRecord* link = answer.context.config.FindLink(answer.request.from);
  std::string listed_tag;
  const UplinkOptions* uplink =
      answer.context.uplinks.ForwardTarget(answer.context.log, tag, answer.request.from,
                                           link && link->allow_autocreate, listed_tag);
  if (!uplink) return false;
  if (!answer.context.uplinks.Requested(listed_tag, *uplink) &&
      !ForwardedInThisAnswer(answer, listed_tag, *uplink))
    SendUplinkRequest(answer, *uplink, listed_tag);
  answer.remembered.push_back({listed_tag, answer.request.from_text,
                               FormatAddress(uplink->address), answer.context.env.UtcSeconds()});
  Reply(answer, Format("Fileecho %s - requested from uplink\r", tag.c_str()));
  return true;
}

void Subscribe(Answer& answer, const std::string& tag) {
  FileEchoRecord* echo = answer.context.config.FindFileEcho(tag);
  if (!echo) {
    if (!ForwardToUplink(answer, tag))
      Reply(answer, Format("Unknown fileecho : %s\r", tag.c_str()));
    return;
  }
  EchoLinkEntry* entry = FindEchoLink(*echo, answer.request.from);
  if (entry && entry->send) {
    Reply(answer, Format("Already connected to fileecho: %s\r", tag.c_str()));
    return;
  }
  if (entry) {
    entry->send = 1;
  } else {
    echo->links.push_back({answer.request.from_text, 0, 1});
  }
  Reply(answer, Format("Fileecho %s - added\r", tag.c_str()));
  answer.context.log.Write(kMarkAreaManager, Format("Fileecho %s - added", tag.c_str()));
}

// The entry stays; with both flags off it is left out of pelix.fe.
void Unsubscribe(Answer& answer, const std::string& tag) {
  FileEchoRecord* echo = answer.context.config.FindFileEcho(tag);
  if (!echo) {
    Reply(answer, Format("Unknown fileecho : %s\r", tag.c_str()));
    return;
  }
  EchoLinkEntry* entry = FindEchoLink(*echo, answer.request.from);
  if (entry && entry->send) {
    entry->send = 0;
    Reply(answer, Format("Fileecho %s - removed\r", tag.c_str()));
    answer.context.log.Write(kMarkAreaManager, Format("Fileecho %s - removed", tag.c_str()));
  } else {
    Reply(answer, Format("Fileecho %s - not connected\r", tag.c_str()));
  }
}

void RunCommands(Answer& answer) {
  for (std::string line : answer.request.body_lines) {
    if (answer.failed) return;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
      line.pop_back();
    if (line.rfind("---", 0) == 0) return;  // tear line: the rest is not the requester's
    if (line.empty()) continue;
    if (line[0] == '%') {
      RunMetacommand(answer, line);
    } else if (line[0] == '+') {
      Subscribe(answer, line.substr(1));
    } else if (line[0] == '-') {
      Unsubscribe(answer, line.substr(1));
    } else if (line.rfind(" * Origin:", 0) != 0) {
      Reply(answer, Format("Unknown command : %s\r", line.c_str()));
    }
  }
}

// Checks the requester and works through its commands.
void AnswerRequest(Answer& answer) {
  const NetmailRequest& request = answer.request;
  LinkRecord* link = answer.context.config.FindLink(request.from);
  if (!link) {
    Reply(answer, "Error : Your system is unknown\r");
    answer.context.log.Write(kMarkAreaManager, Format("Unknown system %s", request.from_text.c_str()));
    return;
  }
  // Checked once: a %AMPASSWORD further down changes it for the next request.
  if (!EqualsIgnoreCase(link->areamgr_password, request.header.subject)) {
    Reply(answer, "Error : Password Mismatch\r");
    answer.context.log.Write(kMarkAreaManager, Format("Password Mismatch for %s", request.from_text.c_str()));
    return;
  }
  RunCommands(answer);
}

// Removes the answer's messages and puts the lists back as they were, on
// disk too when a save got half-way (pelix.fe written, pelix.nod not).
void TakeBack(Answer& answer, std::vector<FileEchoRecord> echoes_before,
              std::vector<LinkRecord> links_before, bool save_failed) {
  NetmailContext& context = answer.context;
  for (const std::string& path : answer.created) {
    if (!context.env.DeleteFile(path))
      context.log.Write(kMarkError,
                        WithReason(Format("Can't delete %s, an unfinished answer is left",
                                          path.c_str()),
                                   errno));
  }
  Configuration& config = context.config;
  const bool saved_part = save_failed && WriteFileEchoes(config.fileecho_list, false) !=
                                            WriteFileEchoes(echoes_before, false);
  config.fileecho_list = std::move(echoes_before);
  config.link_list = std::move(links_before);
  config.ListsChanged();
  // Logs itself when it fails.
  if (saved_part) (void)SaveFileEchoesAndLinks(context.env, context.log, config);
}

}  // namespace

bool RunAreaManager(NetmailContext& context, const NetmailRequest& request,
                    std::vector<std::string>& replies, RunStatus& status) {
  replies.clear();
  status = RunStatus::GoOn();
  Answer answer{context, request, {}, DomainPart(Config().main.main_address)};
  if (!FindOurAddress(request.to, answer.our_address)) return false;
  context.log.Write(kMarkAreaManager,
                    Format("Processing Area Manager Request from %s", request.from_text.c_str()));

  Configuration& config = context.config;
  std::vector<FileEchoRecord> echoes_before = config.fileecho_list;
  std::vector<LinkRecord> links_before = config.link_list;

  answer.reply = StartMessage(answer, ToRequester(answer), "Area manager reply");
  if (answer.reply) {
    AnswerRequest(answer);
    if (!answer.failed) Reply(answer, TearLine());
    if (!CloseNetmailMessage(*answer.reply)) Fail(answer, "write");
  }
  // Before the lists are saved: a save that fails then takes the answer
  // back, and the next run asks again, which pelix.fwd takes once.
  if (!answer.failed && !answer.remembered.empty() &&
      !RememberForwardedRequests(context.env, answer.remembered)) {
    answer.failed = true;
    context.log.Write(kMarkError,
                      WithReason(Format("Can't write %s, request from %s left for a later run",
                                        kForwardedRequestsFile, request.from_text.c_str()),
                                 errno));
  }
  // Written back only when the request changed something: a stranger's
  // request, or one that only asked for the list, leaves the files as
  // they are.
  const bool changed = WriteFileEchoes(config.fileecho_list, false) !=
                           WriteFileEchoes(echoes_before, false) ||
                       WriteLinks(config.link_list) != WriteLinks(links_before);
  const bool save_failed =
      !answer.failed && changed && !SaveFileEchoesAndLinks(context.env, context.log, config);
  if (save_failed) {
    answer.failed = true;
    context.log.Write(kMarkError,
                      Format("Can't save the configuration, request from %s left for a later run",
                             request.from_text.c_str()));
  }
  if (!answer.failed) {
    for (const auto& [tag, uplink] : answer.forwarded) context.uplinks.NoteRequested(tag, *uplink);
    replies = std::move(answer.created);
    return true;
  }
  TakeBack(answer, std::move(echoes_before), std::move(links_before), save_failed);
  status = answer.status;
  return false;
}
