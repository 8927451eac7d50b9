#include "processor/outbound/tic_export.h"

#include <algorithm>

#include "common/fido_address.h"
#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/outbound/outbound.h"
#include "processor/run_state.h"
#include "processor/tic/seen_by.h"
#include "processor/outbound/tic_name_search.h"

namespace {

// A flavour byte that cannot stand in a file name (a zero-filled record, a
// separator, a wildcard) would put the flow file somewhere the mailer never
// looks; such a link is handled as Normal, which is how setup shows it.
char FlowLetter(char flavour) {
  bool letter = (flavour >= 'a' && flavour <= 'z') || (flavour >= 'A' && flavour <= 'Z');
  bool digit = flavour >= '0' && flavour <= '9';
  return (letter || digit) ? flavour : 'f';
}

// Flow-file lines name files the way the mailer opens them on this system:
// "/" as separator, the letter case the file really has, and always the
// absolute path: a mailer resolves a relative line against its own
// directory, finds nothing there and drops the line.
// FlowLineOf takes a path already in the letter case it has on disk.
std::string FlowLineOf(const std::string& prefix, const std::string& native) {
  return prefix + AbsoluteFlowPath(native) + "\r\n";
}

std::string FlowLine(const std::string& prefix, const std::string& path) {
  return FlowLineOf(prefix, platform::NativePath(path));
}

// The queue copy the inbound pass made for this TIC; the plain queue name
// when none was recorded.
std::string QueueCopyPath() {
  const RunState& state = State();
  return state.queue_copy.empty() ? state.config.queue_dir + state.tic.file : state.queue_copy;
}

// The flow line of the queue copy, the same for every link of the TIC.
const std::string& QueueCopyLine() {
  RunState& state = State();
  const std::string path = QueueCopyPath();
  if (state.queue_copy_line_of != path) {
    state.queue_copy_line = FlowLine("", path);
    state.queue_copy_line_of = path;
  }
  return state.queue_copy_line;
}

// The flow line of an outgoing TIC, which CreateNextTicFile made in the
// TIC outbound under a name of this very letter case: only the outbound's
// own case is looked up, once a run.
std::string TicFlowLine(const std::string& tic_path) {
  RunState& state = State();
  const std::string& dir = state.config.tic_outbound_dir;
  if (state.tic_outbound_native_of != dir) {
    state.tic_outbound_native = platform::NativePath(dir);
    state.tic_outbound_native_of = dir;
  }
  return FlowLineOf("^", state.tic_outbound_native + tic_path.substr(dir.size()));
}

// What must go before our lines so that they start a line of their own:
// another tool may leave the last line of a flow file without its line end,
// and appending to it would glue our line onto that one and lose both
// files. A flow file that still ends where our last append ended needs no
// look. False when the last byte cannot be read.
bool LineEndNeeded(const std::string& flow_path, int64_t size, std::string& prefix) {
  prefix.clear();
  if (size == 0) return true;
  auto ours = State().flow_file_ends.find(flow_path);
  if (ours != State().flow_file_ends.end() && ours->second == size) return true;
  platform::FilePtr flow = platform::OpenFile(flow_path, platform::OpenMode::kRead);
  char last = '\n';
  size_t got = 0;
  if (!flow || !flow->Seek(size - 1) || !flow->Read(&last, 1, got) || got != 1) return false;
  (void)flow->Close();  // only read: a failing close loses nothing
  if (last != '\n') prefix = last == '\r' ? "\n" : "\r\n";
  return true;
}

// A flow-file line as a key: without its "^" or "#", absolute (a relative
// line, as earlier versions wrote them, is relative to the node directory),
// "/" for "\", any case.
std::string FlowKey(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  if (!line.empty() && (line.front() == '^' || line.front() == '#')) line.remove_prefix(1);
  std::string key = ToLowerAscii(AbsoluteFlowPath(std::string(line)));
  for (char& c : key)
    if (c == '\\') c = '/';
  return key;
}

// True when the flow file names the queue copy already: a run before this
// one was killed or stopped after it had handed the file to this link.
bool FlowNamesQueueCopy(const std::string& flow_path) {
  if (!State().queue_copy_reused) return false;
  std::string bytes;
  {
    platform::CriticalErrorsOff quiet;
    // Not there yet, or unreadable: the append below tells which.
    if (!platform::ReadWholeFile(platform::CurrentEnv(), flow_path, bytes)) return false;
  }
  const std::string wanted = FlowKey(FlowLine("", QueueCopyPath()));
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    if (FlowKey(std::string_view(bytes).substr(start, end - start)) == wanted) return true;
    start = end + 1;
  }
  return false;
}

std::string OwnPathLine(const std::string& our_address) {
  const int32_t offset = State().config.utc_offset;
  const platform::LocalTime t = platform::LocalNow();
  const char* format = offset < 0
      ? "Path %s %lu %s %s %u %02.2u:%02.2u:%02.2u %u UTC%02.2d00\r\n"
      : "Path %s %lu %s %s %u %02.2u:%02.2u:%02.2u %u UTC+%02.2d00\r\n";
  return Format(format, our_address.c_str(), static_cast<unsigned long>(platform::UtcSeconds()),
                WeekdayName(t.weekday), MonthName(t.month), static_cast<unsigned>(t.day),
                static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                static_cast<unsigned>(t.second), static_cast<unsigned>(t.year), offset);
}

// Our own address belongs to the Seenby lines too: without it a downlink
// whose other uplinks never saw the file sends it back to us.
template <typename AddLine>
void AddOwnSeenBy(const std::string& our_address, const FileEchoRecord& echo, AddLine& line) {
  const FidoAddress us = ParseAddress(our_address);
  if (InTicSeenBy(our_address)) return;
  for (const EchoLinkEntry& other : echo.links)
    if (other.send && ParseAddress(other.address) == us && FindLink(us)) return;
  line("Seenby", our_address);
}

std::string OutgoingTicText(const LinkRecord& link, const FileEchoRecord& echo) {
  const TicRecord& tic = State().tic;
  const std::string& our_address =
      link.from_address.empty() ? State().config.main_address : link.from_address;
  std::string text;
  auto line = [&text](const char* keyword, const std::string& value) {
    text += keyword;
    text += ' ';
    text += value;
    text += "\r\n";
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
  for (const EchoLinkEntry& other : echo.links) {
    if (!other.send || InTicSeenBy(other.address)) continue;
    if (FindLink(ParseAddress(other.address))) line("Seenby", other.address);
  }
  AddOwnSeenBy(our_address, echo, line);
  if (!link.tic_password.empty()) line("Pw", link.tic_password);
  return text;
}

// A TIC that no flow line will name must not stay behind for the mailer.
void RemoveUnsentTic(const std::string& tic_path) {
  if (!platform::DeleteFile(tic_path))
    LogLine(kMarkError, Format("Can't delete %s", tic_path.c_str()));
}

// Writes the whole outgoing TIC, forced to disk unless the caller forces a
// whole batch at once, before any flow line names it; false (the file
// removed) when it cannot be written whole.
bool WriteOutgoingTic(const LinkRecord& link, const FileEchoRecord& echo, std::string& tic_path,
                      bool sync, const std::string& made_before = {}) {
  platform::FilePtr tic;
  {
    platform::CriticalErrorsOff quiet;
    tic = CreateNextTicFile(State().config.tic_outbound_dir, tic_path, made_before);
  }
  if (!tic) return false;
  bool ok = tic->Write(OutgoingTicText(link, echo));
  ok = ok && (!sync || tic->Sync());
  ok = tic->Close() && ok;
  if (!ok) RemoveUnsentTic(tic_path);
  return ok;
}

// The prepared TICs no export will take: a run that stops part way must
// not leave them for the mailer.
void RemoveUnusedPreparedTics() {
  RunState& state = State();
  for (size_t i = state.prepared_used; i < state.prepared_tics.size(); ++i)
    RemoveUnsentTic(state.prepared_tics[i]);
  state.prepared_tics.resize(std::min(state.prepared_used, state.prepared_tics.size()));
}

// The outgoing TIC of this export: the next prepared one, or a new one.
bool TakeOutgoingTic(const LinkRecord& link, const FileEchoRecord& echo, std::string& tic_path) {
  RunState& state = State();
  const size_t position = state.prepared_used;
  if (position < state.prepared_tics.size()) {
    tic_path = state.prepared_tics[position];
    ++state.prepared_used;
    return true;
  }
  if (position == state.prepared_failed_at) return false;
  return WriteOutgoingTic(link, echo, tic_path, true);
}

// Fatal stops below clear our flag first: a flag we leave behind would hold
// the mailer and every later run away from this destination.
[[noreturn]] void StopAndClear(const FidoAddress& address, const std::string& domain,
                               const char* message, int status) {
  LogLine(kMarkError, message);
  ClearBusy(address, domain);
  RemoveUnusedPreparedTics();
  FatalExit(status);
}

enum class Appended { kWhole, kNotOpened, kNotWritten, kNotClosed };

// Appends the queue line and the TIC line in one write, so the mailer never
// finds one without the other; a write that fails half way is cut back off.
Appended AppendFlowLines(const std::string& flow_path, const std::string& tic_path) {
  // Open still from the last export under our flag, in a group of TICs.
  platform::File* flow = KeptFlowFile(flow_path);
  platform::FilePtr opened;
  if (!flow) {
    platform::CriticalErrorsOff quiet;
    opened = platform::OpenFile(flow_path, platform::OpenMode::kAppend);
    if (!opened) return Appended::kNotOpened;
    flow = opened.get();
  }
  // A kept handle goes with a failure; a new one is closed as `opened` goes.
  auto failed = [&] {
    ForgetFlowFile(flow_path);
    return Appended::kNotWritten;
  };
  int64_t before = 0;
  std::string lines;
  if (!flow->Size(before) || !LineEndNeeded(flow_path, before, lines)) return failed();
  // No "^" for the queue copy: it is shared by every link and erased by the
  // queue scan once no flow file names it. "^" for the TIC: the mailer
  // deletes it once it has been sent.
  lines += QueueCopyLine() + TicFlowLine(tic_path);
  if (!flow->Write(lines)) {
    if (!flow->Truncate(before))
      LogLine(kMarkError, Format("Can't cut %s back, its last line is broken", flow_path.c_str()));
    return failed();
  }
  State().flow_file_ends[flow_path] = before + static_cast<int64_t>(lines.size());
  if (!opened || KeepFlowFile(flow_path, opened)) return Appended::kWhole;
  return opened->Close() ? Appended::kWhole : Appended::kNotClosed;
}

}  // namespace

void ExportTicToLink(const EchoLinkEntry& entry, const std::string& domain,
                     const std::string& base_name, const LinkRecord& link,
                     const FileEchoRecord& echo) {
  const FidoAddress address = ParseAddress(entry.address);
  if (!WaitAndSetBusy(address, domain, State().busy_wait_limit)) {
    // Nothing of this TIC is lost: it stays in the inbound and is handled
    // again, forwarding included, once the flag has gone.
    LogLine(kMarkError, Format("Node %s stays busy, giving up", entry.address.c_str()));
    RemoveUnusedPreparedTics();
    FatalExit(2);
  }
  const std::string flow_path = base_name + "." + FlowLetter(link.flavour) + "lo";
  if (FlowNamesQueueCopy(flow_path)) {
    ClearBusy(address, domain);
    LogLine(kMarkTic, Format("Node %s has this file already, skiping", entry.address.c_str()));
    return;
  }
  // The flow file is named in every failure: the sysop must find it.
  const std::string flow_failure = Format("Can't modify bink outbound %s", flow_path.c_str());
  std::string tic_path;
  if (!TakeOutgoingTic(link, echo, tic_path))
    StopAndClear(address, domain, "Can't create TIC file", 3);
  switch (AppendFlowLines(flow_path, tic_path)) {
    case Appended::kWhole:
      break;
    case Appended::kNotClosed:
      // The lines may be there: the TIC they name stays.
      StopAndClear(address, domain, flow_failure.c_str(), 2);
    case Appended::kNotOpened:
    case Appended::kNotWritten:
      RemoveUnsentTic(tic_path);
      StopAndClear(address, domain, flow_failure.c_str(), 2);
  }
  ClearBusy(address, domain);
  LogLine(kMarkTic, Format("Exported to %s", entry.address.c_str()));
}

void PrepareOutgoingTics(const std::vector<const LinkRecord*>& links, const FileEchoRecord& echo) {
  RunState& state = State();
  state.prepared_tics.clear();
  state.prepared_used = 0;
  state.prepared_failed_at = static_cast<size_t>(-1);
  for (const LinkRecord* link : links) {
    std::string tic_path;
    const std::string made_before = state.prepared_tics.empty() ? "" : state.prepared_tics.back();
    if (!WriteOutgoingTic(*link, echo, tic_path, false, made_before)) {
      state.prepared_failed_at = state.prepared_tics.size();
      break;
    }
    state.prepared_tics.push_back(tic_path);
  }
}

std::vector<std::string> TakeUnforcedDirs() {
  RunState& state = State();
  std::vector<std::string> dirs;
  dirs.swap(state.unforced_dirs);
  if (!state.prepared_tics.empty()) dirs.push_back(state.config.tic_outbound_dir);
  return dirs;
}

void ForwardNotForced() {
  RemoveUnusedPreparedTics();
  State().prepared_failed_at = 0;
}

void ForceForwardToDisk() {
  const std::vector<std::string> dirs = TakeUnforcedDirs();
  if (dirs.empty() || platform::SyncFileSystems(dirs)) return;
  ForwardNotForced();
}

void EndPreparedTics() {
  RemoveUnusedPreparedTics();
  RunState& state = State();
  state.prepared_tics.clear();
  state.prepared_used = 0;
  state.prepared_failed_at = static_cast<size_t>(-1);
}
