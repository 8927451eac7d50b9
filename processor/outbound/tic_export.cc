#include "processor/outbound/tic_export.h"

#include <cerrno>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/outbound/flow_references.h"
#include "processor/outbound/outbound_layout.h"
#include "processor/outbound/tic_names.h"
#include "processor/tic_limits.h"

namespace {

// A flavour byte that cannot stand in a file name (a zero-filled record, a
// separator, a wildcard) would put the flow file somewhere the mailer never
// looks; such a link is handled as Normal, which is how setup shows it.
char FlowLetter(char flavour) {
  bool letter = (flavour >= 'a' && flavour <= 'z') || (flavour >= 'A' && flavour <= 'Z');
  bool digit = flavour >= '0' && flavour <= '9';
  return (letter || digit) ? flavour : 'f';
}

// The queue copy the inbound pass made for this TIC; the plain queue name
// when none was recorded.
std::string QueueCopyPath(const TicJob& job) {
  return job.queue_copy.empty() ? Config().main.queue_dir + job.tic.file : job.queue_copy;
}

}  // namespace

std::vector<const EchoLinkEntry*> SeenByAdded(TicJob& job, const FileEchoRecord& echo) {
  std::vector<const EchoLinkEntry*> added;
  for (const EchoLinkEntry& entry : echo.links)
    if (entry.send && !job.InSeenBy(entry.address) &&
        Config().FindLink(ParseAddress(entry.address)))
      added.push_back(&entry);
  return added;
}

// Flow-file lines name files the way the mailer opens them on this system:
// "/" as separator, the letter case the file really has, and always the
// absolute path: a mailer resolves a relative line against its own
// directory, finds nothing there and drops the line.
std::string TicExporter::FlowLine(const std::string& prefix, const std::string& path) {
  return prefix + AbsoluteFlowPath(env_, env_.NativePath(path)) + "\r\n";
}

// The flow line of the queue copy, the same for every link of the TIC.
const std::string& TicExporter::QueueCopyLine(const TicJob& job) {
  const std::string path = QueueCopyPath(job);
  if (queue_copy_line_of_ != path) {
    queue_copy_line_ = FlowLine("", path);
    queue_copy_line_of_ = path;
  }
  return queue_copy_line_;
}

// The flow line of an outgoing TIC, which CreateNextTicFile made in the
// TIC outbound under a name of this very letter case: only the outbound's
// own case is looked up, once a run.
std::string TicExporter::TicFlowLine(const std::string& tic_path) {
  const std::string& dir = Config().main.tic_outbound_dir;
  if (tic_outbound_native_of_ != dir) {
    tic_outbound_native_ = env_.NativePath(dir);
    tic_outbound_native_of_ = dir;
  }
  const std::string native = tic_outbound_native_ + tic_path.substr(dir.size());
  return "^" + AbsoluteFlowPath(env_, native) + "\r\n";
}

// True when the flow file names the queue copy already: a run before this
// one was killed or stopped after it had handed the file to this link.
bool TicExporter::FlowNamesQueueCopy(TicJob& job, const std::string& flow_path) {
  if (!job.queue_copy_reused) return false;
  std::string bytes;
  // Not there yet, or unreadable: the append tells which.
  if (!platform::ReadWholeFile(env_, flow_path, bytes)) return false;
  std::unordered_set<std::string> named;
  AddFlowReferences(env_, bytes, named);
  return named.count(ReferenceKey(env_, env_.NativePath(QueueCopyPath(job)))) > 0;
}

std::string TicExporter::OwnPathLine(const std::string& our_address) {
  const int32_t offset = Config().main.utc_offset;
  const platform::LocalTime t = platform::LocalNow(env_);
  const char* format = offset < 0
      ? "%s %lu %s %s %u %02.2u:%02.2u:%02.2u %u UTC%02.2d00"
      : "%s %lu %s %s %u %02.2u:%02.2u:%02.2u %u UTC+%02.2d00";
  const std::string value =
      Format(format, our_address.c_str(), static_cast<unsigned long>(env_.UtcSeconds()),
             WeekdayName(t.weekday), MonthName(t.month), static_cast<unsigned>(t.day),
             static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
             static_cast<unsigned>(t.second), static_cast<unsigned>(t.year), offset);
  return TicLine("Path", value);
}

std::string TicExporter::OutgoingTicText(TicJob& job, const LinkRecord& link,
                                         const FileEchoRecord& echo) {
  const TicRecord& tic = job.tic;
  const Configuration& config = Config();
  const std::string& our_address =
      link.from_address.empty() ? config.main.main_address : link.from_address;
  std::string text;
  // No line is longer than a receiver reads whole: the rest of one would
  // be read there as a line of its own.
  auto line = [&text](const char* keyword, const std::string& value) {
    text += TicLine(keyword, value);
  };
  line("Area", tic.area);
  if (!tic.areadesc.empty()) line("Areadesc", tic.areadesc);
  line("Origin", tic.origin);
  line("From", our_address);
  line("File", tic.file);
  line("Desc", tic.desc);
  for (const std::string& ldesc : tic.ldesc) line("Ldesc", ldesc);
  line("Crc", tic.crc);
  if (!tic.replaces.empty()) line("Replaces", tic.replaces);
  if (!tic.magic.empty()) line("Magic", tic.magic);
  line("Created", tic.created);
  for (const std::string& path : tic.path) line("Path", path);
  text += OwnPathLine(our_address);
  for (const std::string& seen : tic.seenby) line("Seenby", seen);
  bool listed_us = job.InSeenBy(our_address);
  const FidoAddress us = ParseAddress(our_address);
  for (const EchoLinkEntry* other : SeenByAdded(job, echo)) {
    line("Seenby", other->address);
    listed_us = listed_us || ParseAddress(other->address) == us;
  }
  // Our own address belongs to the Seenby lines too: without it a downlink
  // whose other uplinks never saw the file sends it back to us.
  if (!listed_us) line("Seenby", our_address);
  if (!link.tic_password.empty()) line("Pw", link.tic_password);
  return text;
}

void TicExporter::RemoveUnsentTic(Log& log, const std::string& tic_path) {
  if (!env_.DeleteFile(tic_path))
    log.Write(kMarkError, WithReason(Format("Can't delete %s", tic_path.c_str()), errno));
}

// Writes the whole outgoing TIC, forced to disk unless the caller forces a
// whole batch at once, before any flow line names it; false (the file
// removed) when it cannot be written whole.
bool TicExporter::WriteOutgoingTic(TicJob& job, const LinkRecord& link,
                                   const FileEchoRecord& echo, std::string& tic_path, bool sync,
                                   const std::string& made_before) {
  platform::FilePtr tic = CreateNextTicFile(env_, job.log, serials_, made_,
                                            Config().main.tic_outbound_dir, tic_path, made_before);
  if (!tic) return false;
  bool ok = tic->Write(OutgoingTicText(job, link, echo));
  ok = ok && (!sync || tic->Sync());
  ok = tic->Close() && ok;
  if (!ok) {
    const int error = errno;
    RemoveUnsentTic(job.log, tic_path);
    errno = error;
  }
  return ok;
}

// The outgoing TIC of this export: the one prepared for this very entry,
// or a new one.
bool TicExporter::TakeOutgoingTic(TicJob& job, const FidoAddress& address,
                                  const LinkRecord& link, const FileEchoRecord& echo,
                                  std::string& tic_path) {
  PreparedTics& prepared = job.prepared;
  for (PreparedTics::Prepared& tic : prepared.tics) {
    if (tic.taken || !(tic.address == address)) continue;
    tic.taken = true;
    tic_path = tic.path;
    return true;
  }
  if (prepared.not_forced || (prepared.failed_for && *prepared.failed_for == address)) {
    errno = prepared.error;
    return false;
  }
  return WriteOutgoingTic(job, link, echo, tic_path, true);
}

// Fatal stops clear our flag first: a flag we leave behind would hold the
// mailer and every later run away from this destination.
RunStatus TicExporter::Stop(TicJob& job, const FidoAddress& address, const std::string& domain,
                            const std::string& message, int status) {
  job.log.Write(kMarkError, message);
  outbound_.ClearBusy(job.log, address, domain);
  EndPrepared(job);
  return RunStatus::End(status);
}

RunStatus TicExporter::Export(TicJob& job, const EchoLinkEntry& entry, const std::string& domain,
                              const std::string& base_name, const LinkRecord& link,
                              const FileEchoRecord& echo) {
  const FidoAddress address = ParseAddress(entry.address);
  BusyResult busy = BusyResult::kFailed;
  RunStatus waited = outbound_.WaitAndSetBusy(job.log, address, domain, kBusyWaitLimit, busy);
  if (waited.ends() || busy != BusyResult::kHeld) {
    // Nothing of this TIC is lost: it stays in the inbound and is handled
    // again, forwarding included, once the flag has gone. No flow line is
    // ever written without our flag standing.
    if (!waited.ends() && busy == BusyResult::kTaken)
      job.log.Write(kMarkError, Format("Node %s stays busy, giving up", entry.address.c_str()));
    EndPrepared(job);
    return waited.ends() ? waited : RunStatus::End(2);
  }
  const std::string flow_path = base_name + "." + FlowLetter(link.flavour) + "lo";
  if (FlowNamesQueueCopy(job, flow_path)) {
    outbound_.ClearBusy(job.log, address, domain);
    job.log.Write(kMarkTic,
                  Format("Node %s has this file already, skiping", entry.address.c_str()));
    return RunStatus::GoOn();
  }
  // The flow file is named in every failure: the sysop must find it.
  const std::string flow_failure = Format("Can't modify bink outbound %s", flow_path.c_str());
  std::string tic_path;
  if (!TakeOutgoingTic(job, address, link, echo, tic_path))
    return Stop(job, address, domain, WithReason("Can't create TIC file", errno), 3);
  // No "^" for the queue copy: it is shared by every link and erased by the
  // queue scan once no flow file names it. "^" for the TIC: the mailer
  // deletes it once it has been sent. One write, so the mailer never finds
  // one line without the other.
  int error = 0;
  switch (outbound_.AppendFlowLines(job.log, flow_path,
                                    QueueCopyLine(job) + TicFlowLine(tic_path), error)) {
    case Appended::kWhole:
      break;
    case Appended::kNotClosed:
      // The lines may be there: the TIC they name stays.
      return Stop(job, address, domain, WithReason(flow_failure, error), 2);
    case Appended::kNotOpened:
    case Appended::kNotWritten:
      RemoveUnsentTic(job.log, tic_path);
      return Stop(job, address, domain, WithReason(flow_failure, error), 2);
  }
  outbound_.ClearBusy(job.log, address, domain);
  job.log.Write(kMarkTic, Format("Exported to %s", entry.address.c_str()));
  return RunStatus::GoOn();
}

void TicExporter::Prepare(TicJob& job, const std::vector<ExportTarget>& targets,
                          const FileEchoRecord& echo) {
  job.prepared = PreparedTics{};
  for (const ExportTarget& target : targets) {
    std::string tic_path;
    const std::string made_before = job.prepared.empty() ? "" : job.prepared.tics.back().path;
    const FidoAddress address = ParseAddress(target.entry->address);
    if (!WriteOutgoingTic(job, *target.link, echo, tic_path, false, made_before)) {
      job.prepared.failed_for = address;
      job.prepared.error = errno;
      break;
    }
    job.prepared.tics.push_back({address, tic_path, false});
  }
}

std::vector<std::string> TicExporter::TakeUnforcedDirs(TicJob& job) {
  std::vector<std::string> dirs;
  dirs.swap(job.unforced_dirs);
  if (!job.prepared.empty()) dirs.push_back(Config().main.tic_outbound_dir);
  return dirs;
}

void TicExporter::NotForced(TicJob& job, int error) {
  EndPrepared(job);
  job.prepared.not_forced = true;
  job.prepared.error = error;
}

void TicExporter::EndPrepared(TicJob& job) {
  for (const PreparedTics::Prepared& tic : job.prepared.tics)
    if (!tic.taken) RemoveUnsentTic(job.log, tic.path);
  job.prepared.tics.clear();
}
