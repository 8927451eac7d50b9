#include "processor/tic/tic_checks.h"

#include <cerrno>
#include <vector>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "processor/netmail/forwarded_requests.h"
#include "processor/tic/bad_tic_index.h"
#include "processor/tic/file_match.h"
#include "processor/tic/forward.h"
#include "processor/tic/safe_name.h"
#include "processor/tic_limits.h"

namespace {

constexpr char kAutoCreatedDescription[] = "Automaticaly added area";
constexpr char kCantSend[] = "This node can't send files to this fileecho";

// Only a TIC's File value that is a plain, non-empty name may lead to the
// file itself being read, moved or deleted; an empty one would name the
// inbound directory.
bool FileNameUsable(const TicJob& job) {
  return !job.tic.file.empty() && UnsafeFileNameReason(job.tic.file) == nullptr;
}

void Reject(platform::Env& env, InboundTics& tics, TicJob& job, char mark,
            const std::string& message) {
  job.log.Write(mark, message);
  MoveToBadTics(env, tics, job, message);
}

// The File and Area values become path parts; a value that could leave the
// configured directories is refused before anything is looked up.
bool NamesAreSafe(platform::Env& env, InboundTics& tics, TicJob& job) {
  const TicRecord& tic = job.tic;
  if (const char* why = UnsafeFileNameReason(tic.file)) {
    Reject(env, tics, job, kMarkError, Format("Unsafe File name in TIC, it %s", why));
    return false;
  }
  // An empty tag would make the file-echo folder itself the echo directory.
  if (const char* why = tic.area.empty() ? "is empty" : UnsafeNameReason(tic.area)) {
    Reject(env, tics, job, kMarkError, Format("Unsafe Area tag in TIC, it %s", why));
    return false;
  }
  return true;
}

// Only a regular file counts: a symbolic link planted in the inbound could
// publish a secret, and a FIFO or a device would hold the run or hand the
// links a file that is not there.
bool InboundFilePresent(platform::Env& env, const TicJob& job) {
  return env.IsRegularFile(job.inbound_file);
}

// The echo directory is made when the file is placed; a file already in its
// place (or in the place of the file-echo folder) would stop every run at
// FILES.BBS, so such a TIC is refused before anything is forwarded.
bool EchoDirectoryUsable(platform::Env& env, InboundTics& tics, TicJob& job) {
  const Configuration& config = Config();
  const FileEchoRecord* echo = config.FindFileEcho(job.tic.area);
  if (echo && echo->passthrough) return true;
  std::string folder = config.main.fileecho_dir;
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  const std::string& tag = echo ? echo->tag : job.tic.area;
  for (const std::string& dir : {folder, config.main.fileecho_dir + tag}) {
    if (!dir.empty() && env.Exists(dir) && !env.IsDirectory(dir)) {
      Reject(env, tics, job, kMarkError,
             Format("Echo directory %s is not a directory", dir.c_str()));
      return false;
    }
  }
  return true;
}

// Whether the file of this TIC is one that another TIC still in the inbound
// names. A broken TIC must not carry off what a real TIC waits for; the
// file then stays for that TIC.
bool NeededByAnotherTic(InboundTics& tics, const TicJob& job) {
  return tics.NamedByAnother(job.tic.file, NameInPath(job.tic_path));
}

// Fills a missing Crc with the computed one, so that the outgoing TICs
// carry it; false when the TIC's value differs.
bool CrcMatches(platform::Env& env, TicJob& job) {
  const std::string computed = FileCrcText(env, job.inbound_file);
  if (job.tic.crc.empty()) job.tic.crc = computed;
  return EqualsIgnoreCase(job.tic.crc, computed);
}

// The file under the TIC's File name: the TIC's own, another file (its
// length or its CRC-32 tells), or none.
enum class NamedFile { kMatches, kOtherSize, kOtherCrc, kMissing };

NamedFile CheckNamedFile(platform::Env& env, TicJob& job) {
  if (!InboundFilePresent(env, job)) return NamedFile::kMissing;
  // The length first: no byte of a file of another size is read.
  if (!SizeMatches(env, job.inbound_file, job.tic)) return NamedFile::kOtherSize;
  return CrcMatches(env, job) ? NamedFile::kMatches : NamedFile::kOtherCrc;
}

// A file that cannot be moved (its name taken in the bad-TIC directory)
// stays in the inbound, and its TIC is handled again on the next run.
bool MoveOrSay(platform::Env& env, Log& log, const std::string& from, const std::string& to) {
  if (env.MoveFile(from, to)) return true;
  log.Write(kMarkError, WithReason(Format("Can't move %s to %s, left in the inbound",
                                          from.c_str(), to.c_str()),
                                   errno));
  return false;
}

// The other numbered copies of the name, once one was taken, are the
// mailer's copies of files no TIC came for (or a forger's): those no TIC of
// the inbound names go to bad_tic_dir, so that none is read again for the
// next TIC of that name and none stays in the inbound for good.
void MoveAsideOtherCopies(platform::Env& env, InboundTics& tics, TicJob& job,
                          const std::vector<std::string>& copies, const std::string& used) {
  const std::string own = NameInPath(job.tic_path);
  if (tics.NamedByAnother(job.tic.file, own)) return;
  const std::string& inbound = Config().main.inbound_dir;
  const std::string& bad_dir = Config().main.bad_tic_dir;
  for (const std::string& name : copies) {
    if (name == used || tics.NamedByAnother(name, own)) continue;
    // A directory that cannot be made shows as the move failing.
    (void)env.MakeDirectory(bad_dir);
    job.log.Write(kMarkTic, Format("Moving %s to Bad Tics, no TIC names it", name.c_str()));
    MoveOrSay(env, job.log, inbound + name, bad_dir + name);
  }
}

// The numbered copy whose length and CRC-32 are the TIC's becomes the
// TIC's file. Without a Crc line none is taken. Only for a link's own TIC
// (SenderAuthenticated): a stranger's would have every copy read for it.
bool FindRenamedFile(platform::Env& env, InboundTics& tics, TicJob& job) {
  const TicRecord& tic = job.tic;
  if (tic.crc.empty()) return false;
  const std::string& inbound = Config().main.inbound_dir;
  const std::vector<std::string> copies = NumberedCopies(env, inbound, tic.file);
  for (const std::string& name : copies) {
    if (!MatchesTic(env, inbound + name, tic)) continue;
    job.log.Write(kMarkTic, Format("Using %s for %s", name.c_str(), tic.file.c_str()));
    job.inbound_file = inbound + name;
    MoveAsideOtherCopies(env, tics, job, copies, name);
    return true;
  }
  return false;
}

RunStatus AutoCreateEcho(TicContext& context, TicJob& job) {
  const TicRecord& tic = job.tic;
  FileEchoRecord echo;
  echo.tag = tic.area;
  echo.description = tic.areadesc.empty() ? kAutoCreatedDescription : tic.areadesc;
  echo.passthrough = 0;
  echo.links.push_back(EchoLinkEntry{tic.from, 1, 0});
  context.config.fileecho_list.push_back(echo);
  context.config.ListsChanged();
  job.echo_index = context.config.fileecho_list.size() - 1;
  bool added = false;
  RunStatus appended = AppendFileEcho(context.env, job.log, echo, added);
  if (added) job.log.Write(kMarkEcho, Format("Autocreated filecho %s", tic.area.c_str()));
  return appended;
}

// Our Path line in a TIC means the file went through this system before,
// came back by another way and is here and (if passed on) at our links
// already.
bool PassedUsAlready(const TicJob& job) {
  const Configuration& config = Config();
  std::vector<FidoAddress> ours = {ParseAddress(config.main.main_address)};
  size_t pos = 0;
  while (pos < config.main.aka_list.size()) {
    const std::string aka = NextToken(config.main.aka_list, pos, ',');
    if (!aka.empty()) ours.push_back(ParseAddress(aka));
  }
  for (const LinkRecord& link : config.link_list)
    if (!link.from_address.empty()) ours.push_back(ParseAddress(link.from_address));
  for (const std::string& path : job.tic.path) {
    size_t at = 0;
    const FidoAddress passed = ParseAddress(NextToken(path, at, ' '));
    for (const FidoAddress& our : ours)
      if (our == passed) return true;
  }
  return false;
}

}  // namespace

bool SenderAuthenticated(const TicRecord& tic) {
  const LinkRecord* link = Config().FindLink(ParseAddress(tic.from));
  return link && EqualsIgnoreCase(link->tic_password, tic.pw);
}

void MoveToBadTics(platform::Env& env, InboundTics& tics, TicJob& job, std::string_view reason) {
  job.log.Write(kMarkTic, "Moving TIC to Bad Tics");
  const std::string& bad_dir = Config().main.bad_tic_dir;
  // A directory that cannot be made shows as the moves failing.
  (void)env.MakeDirectory(bad_dir);
  const std::string tic_name = NameInPath(job.tic_path);
  if (MoveOrSay(env, job.log, job.tic_path, bad_dir + tic_name)) {
    job.refused = true;
    RecordBadTic(env, job.log, tic_name, reason);
  }
  // A stranger's TIC, or one with a wrong password, may name any file that
  // waits for its own TIC: it goes alone.
  if (FileNameUsable(job) && SenderAuthenticated(job.tic) && InboundFilePresent(env, job) &&
      !NeededByAnotherTic(tics, job))
    MoveOrSay(env, job.log, job.inbound_file, bad_dir + job.tic.file);
}

bool InboundRemovable(platform::Env& env, TicJob& job) {
  for (const std::string& path : {job.tic_path, job.inbound_file}) {
    if (env.CanDelete(path)) continue;
    job.log.Write(kMarkError,
                  WithReason(Format("Can't delete %s, left in the inbound", path.c_str()), errno));
    return false;
  }
  return true;
}

RunStatus CheckInboundTic(TicContext& context, InboundTics& tics, TicJob& job, bool& accepted) {
  accepted = false;
  platform::Env& env = context.env;
  job.inbound_file = Config().main.inbound_dir + job.tic.file;
  // An empty File would make the inbound directory itself the "file".
  if (job.tic.file.empty()) {
    Reject(env, tics, job, kMarkError, "File Missing");
    return RunStatus::GoOn();
  }
  if (!NamesAreSafe(env, tics, job) || !EchoDirectoryUsable(env, tics, job))
    return RunStatus::GoOn();
  // A numbered copy is looked for only when the file under the TIC's name
  // is not the TIC's own.
  const NamedFile named = CheckNamedFile(env, job);
  if (named != NamedFile::kMatches &&
      !(SenderAuthenticated(job.tic) && FindRenamedFile(env, tics, job))) {
    Reject(env, tics, job, kMarkError,
           named == NamedFile::kMissing     ? "File Missing"
           : named == NamedFile::kOtherSize ? "Bad Size"
                                            : "Bad CRC32");
    return RunStatus::GoOn();
  }

  const TicRecord& tic = job.tic;
  const FidoAddress sender_address = ParseAddress(tic.from);
  const LinkRecord* sender = Config().FindLink(sender_address);
  if (!sender) {
    Reject(env, tics, job, kMarkError, "Unknown From Node");
    return RunStatus::GoOn();
  }
  if (!EqualsIgnoreCase(sender->tic_password, tic.pw)) {
    Reject(env, tics, job, kMarkError, "Password mismatch");
    return RunStatus::GoOn();
  }
  if (PassedUsAlready(job)) {
    Reject(env, tics, job, kMarkError, Format("Dupe, %s has passed us already", tic.file.c_str()));
    return RunStatus::GoOn();
  }

  const FileEchoRecord* echo = Config().FindFileEcho(tic.area);
  if (echo) {
    job.echo_index = static_cast<size_t>(echo - Config().fileecho_list.data());
  } else {
    if (!sender->allow_autocreate) {
      Reject(env, tics, job, kMarkEcho, "Auto create for this node is not allowed.");
      return RunStatus::GoOn();
    }
    if (RunStatus created = AutoCreateEcho(context, job); created.ends()) return created;
    LinkForwardedRequesters(env, job.log, context.config, job.echo_index);
    echo = &Config().fileecho_list[job.echo_index];
  }
  job.echo_tag = echo->tag;
  const EchoLinkEntry* own_entry = FindEchoLink(*echo, sender_address);
  if (!own_entry || !own_entry->receive) {
    MoveToBadTics(env, tics, job, kCantSend);
    job.log.Write(kMarkEcho, kCantSend);
    return RunStatus::GoOn();
  }
  // The TICs it would go on with must be ones the links read whole.
  if (echo->links.size() >= 2 && ForwardedListLines(job, *echo) > kMaxTicListLines) {
    Reject(env, tics, job, kMarkError,
           Format("Too many Seenby, Path and Ldesc lines to forward, over %zu", kMaxTicListLines));
    return RunStatus::GoOn();
  }
  if (context.dupes && context.dupes->Received(job, echo->tag)) {
    Reject(env, tics, job, kMarkError, Format("Dupe, %s was received already", tic.file.c_str()));
    return RunStatus::GoOn();
  }
  accepted = true;
  return RunStatus::GoOn();
}
