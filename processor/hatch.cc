#include "processor/hatch.h"

#include <new>

#include "common/records.h"
#include "platform/platform.h"
#include "processor/run_lock.h"
#include "processor/config_store.h"
#include "processor/tic/file_area.h"
#include "processor/tic/file_crc.h"
#include "processor/log.h"
#include "processor/outbound/outbound.h"
#include "processor/run.h"
#include "processor/run_state.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_inbound.h"
#include "processor/outbound/unnamed_tics.h"

namespace {

// An Ldesc file larger than this is not a description.
constexpr size_t kLdescLimit = 64 * 1024;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Ends the hatch before anything was written: the flag goes, the reason is
// logged.
int Refuse(int status, const std::string& message) {
  LogLine(kMarkError, message);
  // The refusal is the result; a flag that stays is reported as stale later.
  (void)ReleaseBusyFlag();
  return status;
}

// The lines of the Ldesc file, each without its line end; false when it
// cannot be read.
bool ReadLdesc(const std::string& path, std::vector<std::string>& lines) {
  std::string bytes;
  if (!platform::IsRegularFile(path) || !platform::ReadWholeFile(platform::CurrentEnv(), path, bytes, kLdescLimit))
    return false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A control character would break the TIC's line structure.
    lines.push_back(LoggableText(line));
    start = end + 1;
  }
  return true;
}

// The checks on the request's names; empty when they pass, else the reason.
std::string UnsafeNames(const HatchRequest& request, const std::string& name) {
  if (name.empty()) return Format("Can't hatch %s, it names no file", request.file.c_str());
  if (const char* why = UnsafeFileNameReason(name))
    return Format("Can't hatch %s, its name %s", LoggableText(name).c_str(), why);
  if (request.area.empty()) return "Can't hatch, no fileecho given";
  if (const char* why = UnsafeNameReason(request.area))
    return Format("Can't hatch into %s, the tag %s", LoggableText(request.area).c_str(), why);
  if (const char* why = UnsafeFileNameReason(request.replaces))
    return Format("Can't hatch, the replaced name %s %s", LoggableText(request.replaces).c_str(),
                  why);
  if (LoggableText(request.desc) != request.desc)
    return "Can't hatch, the description holds a control character";
  return {};
}

}  // namespace

int HatchFile(const HatchRequest& request) {
  std::set_new_handler(OutOfMemoryExit);
  ConsoleOut(Format("Pelix %s File Hatch, by the Pelix developers\n", kVersion));
  if (const std::optional<int> status = ClaimRunFlag(kHatchBusy)) return *status;
  LoadRunConfiguration();
  EraseUnnamedTics();  // a killed run's

  const std::string name = BaseName(request.file);
  if (const std::string unsafe = UnsafeNames(request, name); !unsafe.empty())
    return Refuse(kHatchUnsafeName, unsafe);
  if (!platform::IsRegularFile(request.file))
    return Refuse(kHatchNoFile, Format("Can't hatch %s, no such regular file",
                                       LoggableText(request.file).c_str()));
  TicRecord& tic = State().tic;
  tic = TicRecord{};
  if (!request.ldesc_file.empty() && !ReadLdesc(request.ldesc_file, tic.ldesc))
    return Refuse(kHatchNoFile, Format("Can't read %s", LoggableText(request.ldesc_file).c_str()));
  const FileEchoRecord* echo = FindFileEcho(request.area);
  if (!echo)
    return Refuse(kHatchUnknownEcho, Format("Unknown fileecho %s", request.area.c_str()));

  const std::string& main_address = State().config.main_address;
  tic.area = echo->tag;
  tic.areadesc = echo->description;
  tic.origin = main_address;
  tic.from = main_address;
  tic.file = name;
  tic.desc = request.desc;
  tic.replaces = request.replaces;
  tic.crc = Format("%8.8lX", static_cast<unsigned long>(FileCrc32(request.file)));
  tic.created = Format("by Pelix %s", kVersion);
  // Only ever read: copied to the area and the queue, never moved.
  State().inbound_file = request.file;
  State().hatching = true;

  LogLine(kMarkTic, Format("Hatching %s into %s", name.c_str(), echo->tag.c_str()));
  // The area copy first, as for an arrived file: when it cannot be made,
  // nothing is handed on and the hatch can simply be run again.
  if (!echo->passthrough && !CopyFileIntoArea()) FatalExit(2);
  // Unlike an arrived file there is no sender among the entries: one entry
  // that takes the file is enough for the queue copy.
  if (AnyLinkTakesFile(*echo) && !ForwardToLinks(*echo)) FatalExit(2);
  ReleaseFlagSides();
  EndMadeTics();
  if (!echo->passthrough) ListFileInArea();
  AddAnnounceRecord();
  return ReleaseBusyFlag() ? 0 : -1;
}
