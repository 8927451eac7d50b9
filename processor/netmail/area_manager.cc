#include "processor/netmail/area_manager.h"

#include <cerrno>
#include <set>
#include <utility>

#include "common/field_codec.h"
#include "common/records.h"
#include "common/text_helpers.h"
#include "common/node_options.h"
#include "processor/netmail/area_manager_replies.h"
#include "processor/netmail/rescan.h"

namespace {

constexpr char kRobotName[] = "Pelix";

enum Metacommand {
  kList = 1, kHelp, kPause, kResume, kPassword, kAmPassword, kQuery, kUnlinked, kInfo, kRescan,
};

constexpr Keyword kMetacommands[] = {
    {"LIST", kList},         {"HELP", kHelp},         {"PAUSE", kPause},
    {"PASSIVE", kPause},     {"RESUME", kResume},     {"ACTIVE", kResume},
    {"PASSWORD", kPassword}, {"AMPASSWORD", kAmPassword}, {"QUERY", kQuery},
    {"UNLINKED", kUnlinked}, {"INFO", kInfo},         {"RESCAN", kRescan},
    {"", 0}};

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
};

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

// A new message from the robot to the requester, header and control lines
// written; nullptr (logged) when it cannot be made.
platform::FilePtr StartMessage(Answer& answer, const char* subject) {
  std::string path;
  platform::FilePtr f = CreateNetmailMessage(answer.context.env, Config().main.netmail_dir, path,
                                             answer.request.file_name);
  if (!f) {
    Fail(answer, "create");
    return nullptr;
  }
  answer.created.push_back(path);
  if (!WriteNetmailHeader(answer.context.env, answer.context.log, answer.context.serials,
                          kRobotName,
                          answer.our_address, answer.request.header.fromUserName,
                          answer.request.from, subject, answer.domain_suffix, *f))
    Fail(answer, "write");
  return f;
}

void Reply(Answer& answer, const std::string& line) {
  if (!WriteNetmailText(*answer.reply, line)) Fail(answer, "write");
}

// The list and the help go in messages of their own, made while the reply
// is still open so that they are numbered right after it.
void SendSeparateMessage(Answer& answer, const char* subject, const std::string& text) {
  platform::FilePtr f = StartMessage(answer, subject);
  if (!f) return;
  bool written = WriteNetmailText(*f, text);
  if (!CloseNetmailMessage(*f) || !written) Fail(answer, "write");
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
    default:
      Reply(answer, Format("Unknown metacommand : '%s'\r", line.substr(1).c_str()));
      break;
  }
}

void Subscribe(Answer& answer, const std::string& tag) {
  FileEchoRecord* echo = answer.context.config.FindFileEcho(tag);
  if (!echo) {
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

  answer.reply = StartMessage(answer, "Area manager reply");
  if (answer.reply) {
    AnswerRequest(answer);
    if (!answer.failed) Reply(answer, TearLine());
    if (!CloseNetmailMessage(*answer.reply)) Fail(answer, "write");
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
    replies = std::move(answer.created);
    return true;
  }
  TakeBack(answer, std::move(echoes_before), std::move(links_before), save_failed);
  status = answer.status;
  return false;
}
