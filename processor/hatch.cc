#include "processor/hatch.h"

#include <cerrno>
#include <new>
#include <utility>

#include "common/records.h"
#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/file_id_diz.h"
#include "processor/log.h"
#include "processor/outbound/outbound_session.h"
#include "processor/outbound/unnamed_tics.h"
#include "processor/run.h"
#include "processor/run_lock.h"
#include "processor/tic/file_area.h"
#include "processor/tic/file_match.h"
#include "processor/tic/forward.h"
#include "processor/tic/own_file.h"
#include "processor/tic/replaced_files.h"
#include "processor/tic/safe_name.h"
#include "processor/tic/tic_context.h"
#include "processor/tic_limits.h"

namespace {

// An Ldesc file larger than this is not a description.
constexpr size_t kLdescLimit = 64 * 1024;

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The lines of the Ldesc file, each without its line end and wrapped to
// Ldesc values a receiver reads whole (an uploader's FILE_ID.DIZ may hold
// anything); false when it cannot be read.
bool ReadLdesc(platform::Env& env, const std::string& path, std::vector<std::string>& lines) {
  std::string bytes;
  if (!env.IsRegularFile(path) || !platform::ReadWholeFile(env, path, bytes, kLdescLimit))
    return false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // A control character would break the TIC's line structure.
    for (std::string& value : WrapTicValue("Ldesc", LoggableText(line)))
      lines.push_back(std::move(value));
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
  // The rest of a line a receiver must cut is read there as a line of its
  // own: it could name another echo or file.
  if (!TicLineFits("File", name))
    return Format("Can't hatch %s, its name is too long for a TIC line", name.c_str());
  if (!TicLineFits("Desc", request.desc))
    return "Can't hatch, the description is too long for a TIC line";
  if (!TicLineFits("Replaces", request.replaces))
    return "Can't hatch, the replaced name is too long for a TIC line";
  return {};
}

// The checks on what the TICs of the echo would carry; empty when every
// receiver reads them whole, else the reason.
std::string OverTicLimits(TicJob& job, const FileEchoRecord& echo) {
  if (!TicLineFits("Area", echo.tag))
    return Format("Can't hatch into %s, the tag is too long for a TIC line", echo.tag.c_str());
  if (ForwardedListLines(job, echo) > kMaxTicListLines)
    return Format("Can't hatch, the TIC would have over %zu Seenby, Path and Ldesc lines",
                  kMaxTicListLines);
  return {};
}

// Without a DESC, the archive's FILE_ID.DIZ describes the file (an Ldesc
// file given keeps its lines); a file without one goes out with an empty
// description, and the log says why.
void DescribeFromDiz(platform::Env& env, Log& log, const HatchRequest& request,
                     const std::string& name, TicRecord& tic) {
  FileIdDiz diz;
  const DizResult found = ReadFileIdDiz(env, request.file, diz);
  if (found == DizResult::kFound && !diz.desc.empty()) {
    tic.desc = diz.desc;
    if (request.ldesc_file.empty()) tic.ldesc = diz.ldesc;
    return;
  }
  std::string why;
  switch (found) {
    case DizResult::kNotArchive: why = " (not an archive)"; break;
    case DizResult::kTooLarge: why = Format(" (the member is over %zu bytes)", kDizSizeLimit); break;
    case DizResult::kFound: why = " (the member holds no text)"; break;
    case DizResult::kMissing: break;
  }
  log.Write(kMarkError, Format("No FILE_ID.DIZ in %s%s, the description is empty", name.c_str(),
                               why.c_str()));
}

// The hatch itself, once the configuration is loaded; the exit status.
int Hatch(platform::Env& env, Configuration& config, Log& log, const HatchRequest& request) {
  TicSending sending(env, config);
  OutboundSession& outbound = sending.outbound;
  MadeTics& made = sending.made;
  TicContext& context = sending.context;
  made.EraseUnnamed(log);  // a killed run's

  const std::string name = BaseName(request.file);
  if (const std::string unsafe = UnsafeNames(request, name); !unsafe.empty()) {
    log.Write(kMarkError, unsafe);
    return kHatchUnsafeName;
  }
  if (!env.IsRegularFile(request.file)) {
    log.Write(kMarkError, Format("Can't hatch %s, no such regular file",
                                 LoggableText(request.file).c_str()));
    return kHatchNoFile;
  }
  TicJob job(env, log, "");
  TicRecord& tic = job.tic;
  if (!request.ldesc_file.empty() && !ReadLdesc(env, request.ldesc_file, tic.ldesc)) {
    log.Write(kMarkError,
              WithReason(Format("Can't read %s", LoggableText(request.ldesc_file).c_str()), errno));
    return kHatchNoFile;
  }
  const FileEchoRecord* echo = Config().FindFileEcho(request.area);
  if (!echo) {
    log.Write(kMarkError, Format("Unknown fileecho %s", request.area.c_str()));
    return kHatchUnknownEcho;
  }

  // Only ever read: copied to the area and the queue, never moved.
  DescribeOwnFile(env, job, *echo, name, request.file);
  tic.desc = request.desc;
  tic.replaces = request.replaces;
  if (const std::string over = OverTicLimits(job, *echo); !over.empty()) {
    log.Write(kMarkError, over);
    return kHatchUnsafeName;
  }

  log.Write(kMarkTic, Format("Hatching %s into %s", name.c_str(), echo->tag.c_str()));
  if (!request.desc_given) DescribeFromDiz(env, log, request, name, tic);
  // The very file hatched again: the links that still wait for it are not
  // sent it twice, and the area lists it once.
  const bool listed = !echo->passthrough && SameContents(env, AreaCopyPath(job), request.file) &&
                      ListedInFilesBbs(env, job);
  // The area copy first, as for an arrived file: when it cannot be made,
  // nothing is handed on and the hatch can simply be run again.
  RunStatus status = RunStatus::GoOn();
  if (!echo->passthrough && !CopyFileIntoArea(env, job, platform::Durability::kForced))
    status = RunStatus::End(2);
  if (!status.ends()) status = ForwardOwnFile(context, job, *echo);
  RunStatus released = outbound.ReleaseAll(log);
  if (!status.ends()) status = released;
  if (status.ends()) return status.exit_status();
  made.End(log);
  if (listed) {
    log.Write(kMarkTic, Format("%s is in FILES.BBS already", name.c_str()));
  } else if (!echo->passthrough) {
    if (RunStatus appended = ListFileReplacing(env, job); appended.ends())
      return appended.exit_status();
  }
  AddAnnounceRecord(env, job);
  // A link that sends the file back is refused as a duplicate.
  sending.dupes.Remember(job, echo->tag);
  return 0;
}

}  // namespace

int HatchFile(platform::Env& env, const HatchRequest& request,
              const std::vector<std::string>& arguments) {
  std::set_new_handler(OutOfMemoryExit);
  ConsoleOut(Format("Pelix %s File Hatch, by the Pelix developers\n", kVersion));
  if (const std::optional<int> status = RefuseForeignNode(env, "pelix-hatch", arguments))
    return *status;
  env.LetEveryoneRead();
  RunLock lock(env);
  if (const std::optional<int> status = ClaimRunFlag(env, lock, kHatchBusy)) return *status;
  Configuration config;
  RunStatus loaded = ReadConfiguration(env, config);
  int status = loaded.ends() ? loaded.exit_status() : 0;
  if (!loaded.ends()) {
    ConfigurationInUse in_use(config);
    LogFile log(env, config.main.log_file);
    RunStatus checked = CheckRunConfiguration(lock, config, log);
    status = checked.ends() ? checked.exit_status() : Hatch(env, config, log, request);
  }
  // A refusal is the result; a flag that stays is reported as stale later.
  const bool released = lock.Release();
  return status != 0 || released ? status : -1;
}
