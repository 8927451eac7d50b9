#include "processor/tic/tic_inbound.h"

#include <optional>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/tic/bad_tic_index.h"
#include "processor/config_store.h"
#include "processor/tic/file_area.h"
#include "processor/tic/file_crc.h"
#include "processor/tic/inbound_done.h"
#include "processor/log.h"
#include "processor/outbound/outbound.h"
#include "processor/run_state.h"
#include "processor/tic/seen_by.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_batch.h"
#include "processor/outbound/tic_export.h"
#include "processor/tic/tic_reader.h"

namespace {

constexpr char kAutoCreatedDescription[] = "Automaticaly added area";
constexpr char kCantSend[] = "This node can't send files to this fileecho";

const std::string& InboundFile() { return State().inbound_file; }

// Only a TIC's File value that is a plain, non-empty name may lead to the
// file itself being read, moved or deleted; an empty one would name the
// inbound directory.
bool FileNameUsable() {
  const std::string& file = State().tic.file;
  return !file.empty() && UnsafeFileNameReason(file) == nullptr;
}

void Reject(const std::string& tic_path, char mark, const std::string& message) {
  LogLine(mark, message);
  MoveToBadTics(tic_path, message);
}

// The File and Area values become path parts; a value that could leave the
// configured directories is refused before anything is looked up.
bool NamesAreSafe(const std::string& tic_path) {
  const TicRecord& tic = State().tic;
  if (const char* why = UnsafeFileNameReason(tic.file)) {
    Reject(tic_path, kMarkError, Format("Unsafe File name in TIC, it %s", why));
    return false;
  }
  // An empty tag would make the file-echo folder itself the echo directory.
  if (const char* why = tic.area.empty() ? "is empty" : UnsafeNameReason(tic.area)) {
    Reject(tic_path, kMarkError, Format("Unsafe Area tag in TIC, it %s", why));
    return false;
  }
  return true;
}

// Only a regular file counts: a symbolic link planted in the inbound could
// publish a secret, and a FIFO or a device would hold the run or hand the
// links a file that is not there.
bool InboundFilePresent() {
  platform::CriticalErrorsOff quiet;
  return platform::IsRegularFile(InboundFile());
}

// The echo directory is made when the file is placed; a file already in its
// place (or in the place of the file-echo folder) would stop every run at
// FILES.BBS, so such a TIC is refused before anything is forwarded.
bool EchoDirectoryUsable(const std::string& tic_path) {
  const TicRecord& tic = State().tic;
  const FileEchoRecord* echo = FindFileEcho(tic.area);
  if (echo && echo->passthrough) return true;
  std::string folder = State().config.fileecho_dir;
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  for (const std::string& dir : {folder, State().config.fileecho_dir + tic.area}) {
    if (!dir.empty() && platform::Exists(dir) && !platform::IsDirectory(dir)) {
      Reject(tic_path, kMarkError, Format("Echo directory %s is not a directory", dir.c_str()));
      return false;
    }
  }
  return true;
}

// Whether the file of this TIC is one that another TIC still in the inbound
// needs: it names the file, or the file is a TIC itself. A TIC from a
// stranger, or a broken one, must not carry off what a real TIC waits for;
// the file then stays for that TIC.
bool NeededByAnotherTic(const std::string& tic_path) {
  constexpr size_t kLargestTicRead = 1 << 20;
  const std::string& file = State().tic.file;
  if (file.size() >= 4 && EqualsIgnoreCase(file.substr(file.size() - 4), ".tic")) return true;
  const std::string& inbound = State().config.inbound_dir;
  const std::string own_name = NameInPath(tic_path);
  const std::vector<platform::DirEntry> tics = platform::FindFilesQuietly(inbound + "*.tic");
  for (const platform::DirEntry& entry : tics) {
    if (entry.is_directory || entry.name == own_name) continue;
    std::string text;
    if (!platform::ReadWholeFile(platform::CurrentEnv(), inbound + entry.name, text, kLargestTicRead,
                                 platform::OpenMode::kReadNoFollow))
      continue;
    TicRecord other;
    ReadTicLines(text, other);
    if (EqualsIgnoreCase(other.file, file)) return true;
  }
  return false;
}

std::string FileCrcText(const std::string& path) {
  return Format("%8.8lX", static_cast<unsigned long>(FileCrc32(path)));
}

// Fills a missing Crc with the computed one, so that the outgoing TICs
// carry it; false when the TIC's value differs.
bool CrcMatches() {
  const std::string computed = FileCrcText(InboundFile());
  TicRecord& tic = State().tic;
  if (tic.crc.empty()) tic.crc = computed;
  return EqualsIgnoreCase(tic.crc, computed);
}

// "NAME.1", "NAME.22": `name` is `file` followed by "." and digits.
bool IsNumberedCopyName(const std::string& name, const std::string& file) {
  if (name.size() < file.size() + 2 || name[file.size()] != '.') return false;
  if (!EqualsIgnoreCase(name.substr(0, file.size()), file)) return false;
  return name.find_first_not_of("0123456789", file.size() + 1) == std::string::npos;
}

// binkd keeps a second file of a name already in the inbound as NAME.1
// (NAME.2, ...), and other mailers do alike: the numbered copy whose CRC-32
// is the TIC's becomes the TIC's file. Without a Crc line none is taken.
bool FindRenamedFile() {
  const TicRecord& tic = State().tic;
  if (tic.crc.empty()) return false;
  const std::string& inbound = State().config.inbound_dir;
  const std::vector<platform::DirEntry> found =
      platform::FindFilesQuietly(inbound + tic.file + ".*");
  for (const platform::DirEntry& entry : found) {
    const std::string path = inbound + entry.name;
    if (!IsNumberedCopyName(entry.name, tic.file) || !platform::IsRegularFile(path)) continue;
    if (!EqualsIgnoreCase(FileCrcText(path), tic.crc)) continue;
    LogLine(kMarkTic, Format("Using %s for %s", entry.name.c_str(), tic.file.c_str()));
    State().inbound_file = path;
    return true;
  }
  return false;
}

FileEchoRecord& AutoCreateEcho() {
  const TicRecord& tic = State().tic;
  FileEchoRecord echo;
  echo.tag = tic.area;
  echo.description = tic.areadesc.empty() ? kAutoCreatedDescription : tic.areadesc;
  echo.passthrough = 0;
  echo.links.push_back(EchoLinkEntry{tic.from, 1, 0});
  State().fileecho_list.push_back(echo);
  ConfigListsChanged();
  if (AppendFileEcho(echo)) LogLine(kMarkEcho, Format("Autocreated filecho %s", tic.area.c_str()));
  return State().fileecho_list.back();
}

// The link an entry of the echo names when the file goes to it; nullptr
// (with the log line of today's order when `say` is set) when it is skipped.
const LinkRecord* SelectedLink(const EchoLinkEntry& entry, bool say,
                               std::optional<std::string>& base_name) {
  if (!entry.send) return nullptr;
  if (InTicSeenBy(entry.address)) {
    if (say) LogLine(kMarkTic, Format("Node %s is already in SEEN-BY, skiping", entry.address.c_str()));
    return nullptr;
  }
  const FidoAddress address = ParseAddress(entry.address);
  // Made before the tests below, so the link's outbound directories exist
  // even when the link is skipped.
  if (say) base_name = OutboundBase(address, DomainPart(entry.address));
  const LinkRecord* link = FindLink(address);
  if (!link) {
    if (say) LogLine(kMarkTic, Format("Node %s is unknown, skiping", entry.address.c_str()));
    return nullptr;
  }
  if (link->passive) {
    if (say) LogLine(kMarkTic, Format("Node %s is passive, skiping", entry.address.c_str()));
    return nullptr;
  }
  return link;
}

void SelectLink(const EchoLinkEntry& entry, const FileEchoRecord& echo) {
  std::optional<std::string> base_name;
  const LinkRecord* link = SelectedLink(entry, true, base_name);
  // Without a domain there is no outbound for the link; writing its flow
  // file anywhere else would hand the file to the wrong mailer queue.
  if (!link || !base_name) return;
  ExportTicToLink(entry, DomainPart(entry.address), *base_name, *link, echo);
}

// Every destination is free before the first gets the file, so a run that
// has to give up at a busy one has handed the TIC to none: the next run
// forwards it whole.
void WaitForEveryDestination(const FileEchoRecord& echo) {
  std::vector<Destination> destinations;
  std::vector<const EchoLinkEntry*> entries;
  // A destination found free for an earlier TIC of the group waiting for
  // its flush needs no second look: should the mailer take it meanwhile,
  // the export waits for it as it would after this look.
  std::unordered_set<std::string>& free = State().free_in_group;
  if (State().pending_tics.empty()) free.clear();
  for (const EchoLinkEntry& entry : echo.links) {
    std::optional<std::string> unused;
    if (!SelectedLink(entry, false, unused) || free.count(entry.address)) continue;
    destinations.push_back({ParseAddress(entry.address), DomainPart(entry.address)});
    entries.push_back(&entry);
  }
  size_t busy = 0;
  if (!WaitWhileAnyBusy(destinations, 0, busy)) {
    if (!State().pending_tics.empty()) {
      // TICs waiting for their flush are not held up by the wait; the looks
      // start again for a group of this TIC alone.
      FlushPendingTics();
      return WaitForEveryDestination(echo);
    }
    if (!WaitWhileAnyBusy(destinations, State().busy_wait_limit, busy)) {
      LogLine(kMarkError, Format("Node %s stays busy, giving up", entries[busy]->address.c_str()));
      FatalExit(2);
    }
  }
  for (const EchoLinkEntry* entry : entries) free.insert(entry->address);
}

// The length of a file; -1 when it cannot be opened.
int64_t FileLength(const std::string& path) {
  platform::CriticalErrorsOff quiet;
  platform::FilePtr file = platform::OpenFile(path, platform::OpenMode::kRead);
  int64_t size = -1;
  if (file && !file->Size(size)) size = -1;
  // Only read: a failing close loses nothing.
  if (file) (void)file->Close();
  return size;
}

bool SameContents(const std::string& a, const std::string& b) {
  const int64_t size = FileLength(a);
  return size >= 0 && size == FileLength(b) && FileCrc32(a) == FileCrc32(b);
}

// A whole copy of this very file that a run before this one made and did
// not finish with (killed, or stopped at a busy link).
std::optional<std::string> EarlierQueueCopy() {
  const std::string& queue_dir = State().config.queue_dir;
  const std::string& file = State().tic.file;
  std::vector<std::string> candidates = {queue_dir + file};
  const std::vector<platform::DirEntry> numbered = platform::FindFilesQuietly(queue_dir + "px*");
  for (const platform::DirEntry& dir : numbered)
    if (dir.is_directory) candidates.push_back(queue_dir + dir.name + platform::kSeparator + file);
  for (const std::string& candidate : candidates)
    if (platform::Exists(candidate) && SameContents(candidate, InboundFile())) return candidate;
  return std::nullopt;
}

// A queue copy already there may still be named by a flow file, together
// with a TIC that carries its CRC: replacing it would make the link reject
// that TIC and miss the new file too. A new copy then goes into the first
// numbered subdirectory ("px0001/") where its name is free; the mailer
// sends the base name, so the link receives the name the TIC gives.
std::string NewQueueCopyPath() {
  const std::string& queue_dir = State().config.queue_dir;
  const std::string& file = State().tic.file;
  if (!platform::Exists(queue_dir + file)) return queue_dir + file;
  for (unsigned n = 1; n <= 9999; ++n) {
    const std::string dir = queue_dir + Format("px%04u", n);
    if (platform::Exists(dir + platform::kSeparator + file)) continue;
    // A directory that cannot be made shows as the copy into it failing.
    (void)platform::MakeDirectory(dir);
    return dir + platform::kSeparator + file;
  }
  return queue_dir + file;  // every slot taken: the old behaviour
}

// The queue copy every link's flow file will name: the one an earlier run
// left, or a new one. False, after a '!' line, when no whole copy could be
// made: nothing of the TIC may then be handed to any link.
bool MakeQueueCopy() {
  const std::string& queue_dir = State().config.queue_dir;
  // A queue directory that cannot be made shows as the copy failing.
  (void)platform::MakeDirectory(queue_dir);
  // Only pelix names files in the queue: a new name needs no look through
  // every copy that waits there.
  platform::KeepNamesOf(queue_dir);
  if (std::optional<std::string> earlier = EarlierQueueCopy()) {
    State().queue_copy = *earlier;
    State().queue_copy_reused = true;
    return true;
  }
  State().queue_copy = NewQueueCopyPath();
  State().queue_copy_reused = false;
  // Forced to disk with the outgoing TICs, before any flow line names it.
  // An arrived file goes once its TIC is done: where the queue shares its
  // file system, the queue copy is that file under a second name, and no
  // byte of it is written again (nor freed, when the TIC leaves).
  if ((!State().hatching && platform::LinkFile(InboundFile(), State().queue_copy)) ||
      platform::CopyFile(InboundFile(), State().queue_copy, platform::Durability::kLater)) {
    State().unforced_dirs.push_back(queue_dir);
    return true;
  }
  LogLine(kMarkError, Format("Can't copy %s, left in the inbound", State().queue_copy.c_str()));
  return false;
}

// The TIC and its file must leave the inbound once handled, or every run
// forwards them again (a mailer and pelix running as different users).
bool InboundRemovable(const std::string& tic_path) {
  for (const std::string& path : {tic_path, InboundFile()}) {
    if (platform::CanDelete(path)) continue;
    LogLine(kMarkError, Format("Can't delete %s, left in the inbound", path.c_str()));
    return false;
  }
  return true;
}

void RemoveFromInbound(const std::string& path) {
  if (!LeaveInbound(path))
    LogLine(kMarkError, Format("Can't delete %s, left in the inbound", path.c_str()));
}

// Our Path line in a TIC means the file went through this system before,
// came back by another way and is here and (if passed on) at our links
// already.
bool PassedUsAlready() {
  const MainConfig& config = State().config;
  std::vector<FidoAddress> ours = {ParseAddress(config.main_address)};
  size_t pos = 0;
  while (pos < config.aka_list.size()) {
    const std::string aka = NextToken(config.aka_list, pos, ',');
    if (!aka.empty()) ours.push_back(ParseAddress(aka));
  }
  for (const LinkRecord& link : State().link_list)
    if (!link.from_address.empty()) ours.push_back(ParseAddress(link.from_address));
  for (const std::string& path : State().tic.path) {
    size_t at = 0;
    const FidoAddress passed = ParseAddress(NextToken(path, at, ' '));
    for (const FidoAddress& our : ours)
      if (our == passed) return true;
  }
  return false;
}

// A file that cannot be moved (its name taken in the bad-TIC directory)
// stays in the inbound, and its TIC is handled again on the next run.
bool MoveOrSay(const std::string& from, const std::string& to) {
  if (platform::MoveFile(from, to)) return true;
  LogLine(kMarkError, Format("Can't move %s to %s, left in the inbound", from.c_str(), to.c_str()));
  return false;
}

}  // namespace

bool AnyLinkTakesFile(const FileEchoRecord& echo) {
  for (const EchoLinkEntry& entry : echo.links) {
    std::optional<std::string> unused;
    if (SelectedLink(entry, false, unused)) return true;
  }
  return false;
}

// The links the file is exported to, in the order of the exports.
std::vector<const LinkRecord*> ExportedLinks(const FileEchoRecord& echo) {
  std::vector<const LinkRecord*> links;
  for (const EchoLinkEntry& entry : echo.links) {
    std::optional<std::string> unused;
    const LinkRecord* link = SelectedLink(entry, false, unused);
    if (link && OutboundKnown(ParseAddress(entry.address), DomainPart(entry.address)))
      links.push_back(link);
  }
  return links;
}

namespace {

// Forwarding up to the moment its copies and outgoing TICs must be on disk.
// False, as for ForwardToLinks, when no whole queue copy could be made.
bool PrepareForward(const FileEchoRecord& echo) {
  WaitForEveryDestination(echo);
  if (!MakeQueueCopy()) {
    State().unforced_dirs.clear();  // the TIC stays: the next run copies again
    return false;
  }
  // A copy left by an earlier run may be at some links already; their
  // exports are decided one by one.
  if (!State().queue_copy_reused) PrepareOutgoingTics(ExportedLinks(echo), echo);
  return true;
}

// Forwarding once they are: the flow lines of every link.
void FinishForward(const FileEchoRecord& echo) {
  for (const EchoLinkEntry& entry : echo.links) SelectLink(entry, echo);
  EndPreparedTics();
  State().queue_copy.clear();
  State().queue_copy_reused = false;
}

}  // namespace

bool ForwardToLinks(const FileEchoRecord& echo) {
  if (!PrepareForward(echo)) return false;
  ForceForwardToDisk();
  FinishForward(echo);
  return true;
}

void MoveToBadTics(const std::string& tic_path, std::string_view reason) {
  LogLine(kMarkTic, "Moving TIC to Bad Tics");
  const std::string& bad_dir = State().config.bad_tic_dir;
  // A directory that cannot be made shows as the moves failing.
  (void)platform::MakeDirectory(bad_dir);
  const std::string tic_name = NameInPath(tic_path);
  if (MoveOrSay(tic_path, bad_dir + tic_name)) RecordBadTic(tic_name, reason);
  if (FileNameUsable() && InboundFilePresent() && !NeededByAnotherTic(tic_path))
    MoveOrSay(InboundFile(), bad_dir + State().tic.file);
}

void ProcessInboundTic(const std::string& tic_path) {
  State().inbound_file = State().config.inbound_dir + State().tic.file;
  // An empty File would make the inbound directory itself the "file".
  if (State().tic.file.empty()) return Reject(tic_path, kMarkError, "File Missing");
  if (!NamesAreSafe(tic_path)) return;
  if (!EchoDirectoryUsable(tic_path)) return;
  const bool present = InboundFilePresent();
  if (!(present && CrcMatches()) && !FindRenamedFile())
    return Reject(tic_path, kMarkError, present ? "Bad CRC32" : "File Missing");

  TicRecord& tic = State().tic;
  const FidoAddress sender_address = ParseAddress(tic.from);
  const LinkRecord* sender = FindLink(sender_address);
  if (!sender) return Reject(tic_path, kMarkError, "Unknown From Node");
  if (!EqualsIgnoreCase(sender->tic_password, tic.pw))
    return Reject(tic_path, kMarkError, "Password mismatch");
  if (PassedUsAlready())
    return Reject(tic_path, kMarkError, Format("Dupe, %s has passed us already", tic.file.c_str()));

  FileEchoRecord* echo = FindFileEcho(tic.area);
  if (!echo) {
    if (!sender->allow_autocreate)
      return Reject(tic_path, kMarkEcho, "Auto create for this node is not allowed.");
    echo = &AutoCreateEcho();
  }
  const EchoLinkEntry* own_entry = FindEchoLink(*echo, sender_address);
  if (!own_entry || !own_entry->receive) {
    MoveToBadTics(tic_path, kCantSend);
    LogLine(kMarkEcho, kCantSend);
    return;
  }

  if (!InboundRemovable(tic_path)) return;
  // The area copy comes before anything is handed on: a file that cannot
  // be placed (a full disk) leaves its TIC and itself in the inbound with
  // nothing done, and the next run does it all. The copies and outgoing
  // TICs are forced to disk (in one flush shared with the TICs after this
  // one) before any flow line names them and before the TIC leaves the
  // inbound: FinishInboundTic does the rest.
  if (!echo->passthrough && !CopyFileIntoArea(platform::Durability::kLater)) return;
  if (echo->links.size() >= 2 && !PrepareForward(*echo)) return;
  State().tic_deferred = true;
  State().deferred_echo_index = static_cast<size_t>(echo - State().fileecho_list.data());
}

void FinishInboundTic(const std::string& tic_path, const FileEchoRecord& echo, bool forced) {
  const bool forwarding = echo.links.size() >= 2;
  if (!forced) {
    if (forwarding) {
      ForwardNotForced();  // the first export stops the run
    } else if (!echo.passthrough) {
      LogLine(kMarkError, Format("Can't copy %s, left in the inbound", AreaCopyPath().c_str()));
      return;
    }
  }
  if (forwarding) FinishForward(echo);
  if (!echo.passthrough) ListFileInArea();
  AddAnnounceRecord();
  RemoveFromInbound(InboundFile());
  RemoveFromInbound(tic_path);
}
