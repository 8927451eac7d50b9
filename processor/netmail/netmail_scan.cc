// The netmail pass: finds the requests to the robot among the stored
// messages, works out where they came from and where they were sent, and
// deletes those the area manager answered.
#include "processor/netmail/netmail_scan.h"

#include <cerrno>

#include "common/text_helpers.h"
#include "processor/netmail/netmail_folder.h"

namespace {

// The address texts a request can carry are cut to this length.
constexpr size_t kMaxAddressText = 254;

bool IsRobotName(const std::string& to_user_name) {
  for (const char* name : {"allfix", "pelix", "filefix"})
    if (EqualsIgnoreCase(to_user_name, name)) return true;
  return false;
}

std::string WithPoint(std::string address, const std::string& point) {
  if (!point.empty()) address += "." + point;
  return address.substr(0, kMaxAddressText);
}

// FTS-0001 keeps only net and node in the header: the zone comes from the
// INTL line or the MSGID, the points from FMPT and TOPT.
void FindAddresses(Log& log, const NetmailHeader& header, const MessageKludges& kludges,
                   NetmailRequest& request) {
  unsigned zone = 0;
  if (!kludges.msgid.empty()) {
    zone = ParseAddress(kludges.msgid).zone;
  } else {
    log.Write(kMarkNothing, "No MSGID Kludge");
  }
  std::string from = kludges.intl_orig;
  if (from.empty()) from = Format("%u:%u/%u", zone, unsigned{header.origNet}, unsigned{header.origNode});
  request.from_text = WithPoint(from, kludges.fmpt);
  request.from = ParseAddress(request.from_text);

  std::string to = kludges.intl_dest;
  if (to.empty())
    to = Format("%u:%u/%u", unsigned{request.from.zone}, unsigned{header.destNet},
                unsigned{header.destNode});
  request.to = ParseAddress(WithPoint(to, kludges.topt));
}

}  // namespace

RunStatus ProcessNetmailMessage(NetmailContext& context, const std::string& message_path,
                                bool& answered) {
  answered = false;
  platform::Env& env = context.env;
  platform::FilePtr f;
  // Opened for update so that a message the sysop marked read-only is
  // neither answered nor deleted; never through a symbolic link, whose
  // target's lines would come back in the reply.
  if (!env.IsReadOnly(message_path))
    f = env.Open(message_path, platform::OpenMode::kUpdateNoFollow);
  if (!f) {
    context.log.Write(kMarkError, "Can't open this message");
    return RunStatus::GoOn();
  }
  NetmailRequest request;
  request.file_name = NameInPath(message_path);
  // A file shorter than a header is no message, or one still being written.
  if (!ReadNetmailHeader(*f, request.header) || !IsRobotName(request.header.toUserName))
    return RunStatus::GoOn();
  NetmailText text = ReadNetmailText(*f);
  f.reset();
  FindAddresses(context.log, request.header, text.kludges, request);
  request.body_lines = std::move(text.body_lines);
  std::vector<std::string> replies;
  RunStatus status = RunStatus::GoOn();
  if (!RunAreaManager(context, request, replies, status)) return status;
  // The request goes before its answer is given to the mailer: a run that
  // stops in between leaves a pending answer, never a request answered
  // twice.
  const bool deleted = env.DeleteFile(message_path);
  if (!deleted)
    context.log.Write(kMarkError,
                      WithReason(Format("Can't delete %s, the request will be answered again",
                                        message_path.c_str()),
                                 errno));
  const std::string& folder = Config().main.netmail_dir;
  for (const std::string& reply : replies) {
    std::string released;
    if (deleted && ReleaseNetmailMessage(env, folder, reply, released)) continue;
    if (deleted)
      context.log.Write(kMarkError, WithReason(Format("Can't release %s", reply.c_str()), errno));
    else if (!env.DeleteFile(reply))
      context.log.Write(kMarkError, WithReason(Format("Can't delete %s", reply.c_str()), errno));
  }
  answered = true;
  return RunStatus::GoOn();
}

RunStatus RunNetmailPass(NetmailContext& context, int& answered) {
  answered = 0;
  ConsoleOut("Scaning Netmail.\n");
  const std::string& dir = Config().main.netmail_dir;
  // The robot cannot be reached: a request the mailer would store there
  // goes nowhere.
  if (!dir.empty() && !context.env.IsDirectory(dir))
    context.log.Write(kMarkError, Format("Netmail folder %s not found", dir.c_str()));
  SettlePendingReplies(context.env, context.log, dir);
  std::vector<std::string> messages;
  for (const platform::DirEntry& entry : context.env.FindFiles(dir + "*.msg"))
    if (!entry.is_directory) messages.push_back(entry.name);
  if (messages.empty()) {
    context.log.Write(kMarkNothing, "No Netmail messages found");
    return RunStatus::GoOn();
  }
  for (const std::string& name : messages) {
    bool done = false;
    RunStatus status = ProcessNetmailMessage(context, dir + name, done);
    if (done) ++answered;
    if (status.ends()) return status;
  }
  return RunStatus::GoOn();
}
