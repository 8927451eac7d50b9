#include "processor/tic_inbound.h"

#include <optional>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/file_area.h"
#include "processor/file_crc.h"
#include "processor/log.h"
#include "processor/outbound.h"
#include "processor/run_state.h"
#include "processor/seen_by.h"
#include "processor/safe_name.h"
#include "processor/tic_export.h"
#include "processor/tic_reader.h"

namespace {

constexpr char kAutoCreatedDescription[] = "Automaticaly added area";

std::string InboundFile() { return State().config.inbound_dir + State().tic.file; }

// Only a TIC's File value that is a plain, non-empty name may lead to the
// file itself being read, moved or deleted; an empty one would name the
// inbound directory.
bool FileNameUsable() {
  const std::string& file = State().tic.file;
  return !file.empty() && UnsafeFileNameReason(file) == nullptr;
}

void Reject(const std::string& tic_path, char mark, const std::string& message) {
  LogLine(mark, message);
  MoveToBadTics(tic_path);
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

std::string NameInPath(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
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
  std::vector<platform::DirEntry> tics;
  {
    platform::CriticalErrorsOff quiet;
    tics = platform::FindFiles(inbound + "*.tic");
  }
  for (const platform::DirEntry& entry : tics) {
    if (entry.is_directory || entry.name == own_name) continue;
    std::string text;
    if (!platform::ReadWholeFile(inbound + entry.name, text, kLargestTicRead,
                                 platform::OpenMode::kReadNoFollow))
      continue;
    TicRecord other;
    ReadTicLines(text, other);
    if (EqualsIgnoreCase(other.file, file)) return true;
  }
  return false;
}

// Fills a missing Crc with the computed one, so that the outgoing TICs
// carry it; false when the TIC's value differs.
bool CrcMatches() {
  const std::string computed = Format("%8.8lX", static_cast<unsigned long>(FileCrc32(InboundFile())));
  TicRecord& tic = State().tic;
  if (tic.crc.empty()) tic.crc = computed;
  return EqualsIgnoreCase(tic.crc, computed);
}

FileEchoRecord& AutoCreateEcho() {
  const TicRecord& tic = State().tic;
  FileEchoRecord echo;
  echo.tag = tic.area;
  echo.description = tic.areadesc.empty() ? kAutoCreatedDescription : tic.areadesc;
  echo.passthrough = 0;
  echo.links.push_back(EchoLinkEntry{tic.from, 1, 0});
  State().fileecho_list.push_back(echo);
  AppendFileEcho(echo);
  LogLine(kMarkEcho, Format("Autocreated filecho %s", tic.area.c_str()));
  return State().fileecho_list.back();
}

void SelectLink(const EchoLinkEntry& entry, const FileEchoRecord& echo) {
  if (!entry.send) return;
  if (InTicSeenBy(entry.address)) {
    LogLine(kMarkTic, Format("Node %s is already in SEEN-BY, skiping", entry.address.c_str()));
    return;
  }
  const FidoAddress address = ParseAddress(entry.address);
  const std::string domain = DomainPart(entry.address);
  // Made before the tests below, so the link's outbound directories exist
  // even when the link is skipped.
  const std::optional<std::string> base_name = OutboundBase(address, domain);
  const LinkRecord* link = FindLink(address);
  if (!link) {
    LogLine(kMarkTic, Format("Node %s is unknown, skiping", entry.address.c_str()));
    return;
  }
  if (link->passive) {
    LogLine(kMarkTic, Format("Node %s is passive, skiping", entry.address.c_str()));
    return;
  }
  // Without a domain there is no outbound for the link; writing its flow
  // file anywhere else would hand the file to the wrong mailer queue.
  if (!base_name) return;
  ExportTicToLink(entry, domain, *base_name, *link, echo);
}

void ForwardToLinks(const FileEchoRecord& echo) {
  const MainConfig& config = State().config;
  platform::MakeDirectory(config.queue_dir);
  platform::CopyFile(InboundFile(), config.queue_dir + State().tic.file);
  for (const EchoLinkEntry& entry : echo.links) SelectLink(entry, echo);
}

// A file that cannot be moved (its name taken in the bad-TIC directory)
// stays in the inbound, and its TIC is handled again on the next run.
void MoveOrSay(const std::string& from, const std::string& to) {
  if (!platform::MoveFile(from, to)) {
    LogLine(kMarkError,
            Format("Can't move %s to %s, left in the inbound", from.c_str(), to.c_str()));
  }
}

}  // namespace

void MoveToBadTics(const std::string& tic_path) {
  LogLine(kMarkTic, "Moving TIC to Bad Tics");
  const std::string& bad_dir = State().config.bad_tic_dir;
  // A directory that cannot be made shows as the moves failing.
  (void)platform::MakeDirectory(bad_dir);
  MoveOrSay(tic_path, bad_dir + NameInPath(tic_path));
  if (FileNameUsable() && InboundFilePresent() && !NeededByAnotherTic(tic_path))
    MoveOrSay(InboundFile(), bad_dir + State().tic.file);
}

void ProcessInboundTic(const std::string& tic_path) {
  // An empty File would make the inbound directory itself the "file".
  if (State().tic.file.empty()) return Reject(tic_path, kMarkError, "File Missing");
  if (!NamesAreSafe(tic_path)) return;
  if (!EchoDirectoryUsable(tic_path)) return;
  if (!InboundFilePresent()) return Reject(tic_path, kMarkError, "File Missing");
  if (!CrcMatches()) return Reject(tic_path, kMarkError, "Bad CRC32");

  TicRecord& tic = State().tic;
  const FidoAddress sender_address = ParseAddress(tic.from);
  const LinkRecord* sender = FindLink(sender_address);
  if (!sender) return Reject(tic_path, kMarkError, "Unknown From Node");
  if (!EqualsIgnoreCase(sender->tic_password, tic.pw))
    return Reject(tic_path, kMarkError, "Password mismatch");

  FileEchoRecord* echo = FindFileEcho(tic.area);
  if (!echo) {
    if (!sender->allow_autocreate)
      return Reject(tic_path, kMarkEcho, "Auto create for this node is not allowed.");
    echo = &AutoCreateEcho();
  }
  const EchoLinkEntry* own_entry = FindEchoLink(*echo, sender_address);
  if (!own_entry || !own_entry->receive) {
    MoveToBadTics(tic_path);
    LogLine(kMarkEcho, "This node can't send files to this fileecho");
    return;
  }

  if (echo->links.size() >= 2) ForwardToLinks(*echo);
  const bool placed = echo->passthrough || PlaceFileInArea();
  AddAnnounceRecord();
  if (placed) platform::DeleteFile(InboundFile());
  platform::DeleteFile(tic_path);
}
