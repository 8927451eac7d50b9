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

namespace {

constexpr char kAutoCreatedDescription[] = "Automaticaly added area";

std::string InboundFile() { return State().config.inbound_dir + State().tic.file; }

// Only a TIC's File value that is a plain, non-empty name may lead to the
// file itself being read, moved or deleted; an empty one would name the
// inbound directory.
bool FileNameUsable() {
  const std::string& file = State().tic.file;
  return !file.empty() && UnsafeNameReason(file) == nullptr;
}

void Reject(const std::string& tic_path, char mark, const std::string& message) {
  LogLine(mark, message);
  MoveToBadTics(tic_path);
}

// The File and Area values become path parts; a value that could leave the
// configured directories is refused before anything is looked up.
bool NamesAreSafe(const std::string& tic_path) {
  const TicRecord& tic = State().tic;
  if (const char* why = UnsafeNameReason(tic.file)) {
    Reject(tic_path, kMarkError, Format("Unsafe File name in TIC, it %s", why));
    return false;
  }
  if (const char* why = UnsafeNameReason(tic.area)) {
    Reject(tic_path, kMarkError, Format("Unsafe Area tag in TIC, it %s", why));
    return false;
  }
  return true;
}

bool InboundFilePresent() {
  std::vector<platform::DirEntry> found;
  {
    platform::CriticalErrorsOff quiet;
    found = platform::FindFiles(InboundFile());
  }
  for (const platform::DirEntry& entry : found) {
    if (!entry.is_directory) return true;
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
  if (AppendFileEcho(echo)) LogLine(kMarkEcho, Format("Autocreated filecho %s", tic.area.c_str()));
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

}  // namespace

void MoveToBadTics(const std::string& tic_path) {
  LogLine(kMarkTic, "Moving TIC to Bad Tics");
  const std::string& bad_dir = State().config.bad_tic_dir;
  platform::MakeDirectory(bad_dir);
  const size_t cut = tic_path.find_last_of("\\/");
  const std::string tic_name = cut == std::string::npos ? tic_path : tic_path.substr(cut + 1);
  platform::MoveFile(tic_path, bad_dir + tic_name);
  if (FileNameUsable() && !platform::IsDirectory(InboundFile()))
    platform::MoveFile(InboundFile(), bad_dir + State().tic.file);
}

void ProcessInboundTic(const std::string& tic_path) {
  // An empty File would make the inbound directory itself the "file".
  if (State().tic.file.empty()) return Reject(tic_path, kMarkError, "File Missing");
  if (!NamesAreSafe(tic_path)) return;
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
