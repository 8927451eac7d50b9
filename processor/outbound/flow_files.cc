// Appending to the flow files the mailer sends from, under our busy flag.
#include <cerrno>
#include <utility>

#include "processor/outbound/outbound_session.h"

namespace {

// A hub's echo may have more links than a process may hold files open.
constexpr size_t kMostKeptFlowFiles = 64;

}  // namespace

// What must go before our lines so that they start a line of their own:
// another tool may leave the last line of a flow file without its line end,
// and appending to it would glue our line onto that one and lose both
// files. A flow file that still ends where our last append ended needs no
// look. False when the last byte cannot be read.
bool OutboundSession::LineEndNeeded(const std::string& flow_path, int64_t size,
                                    std::string& prefix) {
  prefix.clear();
  if (size == 0) return true;
  auto ours = flow_ends_.find(flow_path);
  if (ours != flow_ends_.end() && ours->second == size) return true;
  platform::FilePtr flow = env_.Open(flow_path, platform::OpenMode::kRead);
  char last = '\n';
  size_t got = 0;
  if (!flow || !flow->Seek(size - 1) || !flow->Read(&last, 1, got) || got != 1) return false;
  (void)flow->Close();  // only read: a failing close loses nothing
  if (last != '\n') prefix = last == '\r' ? "\n" : "\r\n";
  return true;
}

// Only under a flag of ours for this very destination: without one, the
// mailer may take the file from under an old handle at any time.
bool OutboundSession::KeepFlowFile(const std::string& flow_path, platform::FilePtr& file) {
  constexpr size_t kFlagExtension = sizeof ".bsy" - 1;
  if (!keeping_ || held_flag_.size() <= kFlagExtension) return false;
  const size_t base = held_flag_.size() - kFlagExtension + 1;  // the "." included
  if (flow_path.compare(0, base, held_flag_, 0, base) != 0) return false;
  if (open_flows_.size() >= kMostKeptFlowFiles) return false;
  open_flows_[flow_path] = std::move(file);
  return true;
}

void OutboundSession::ForgetFlowFile(const std::string& flow_path) {
  auto found = open_flows_.find(flow_path);
  if (found == open_flows_.end()) return;
  (void)found->second->Close();  // after a failed write, which is reported
  open_flows_.erase(found);
}

RunStatus OutboundSession::CloseFlowFilesOf(Log& log, const std::string& base) {
  bool closed = true;
  for (auto it = open_flows_.begin(); it != open_flows_.end();) {
    const std::string& flow_path = it->first;
    if (!base.empty() && flow_path.compare(0, base.size() + 1, base + ".") != 0) {
      ++it;
      continue;
    }
    if (!it->second->Close()) {
      log.Write(kMarkError,
                WithReason(Format("Can't modify bink outbound %s", flow_path.c_str()), errno));
      closed = false;
    }
    it = open_flows_.erase(it);
  }
  return closed ? RunStatus::GoOn() : RunStatus::End(2);
}

Appended OutboundSession::AppendFlowLines(Log& log, const std::string& flow_path,
                                          const std::string& lines, int& error) {
  // Open still from the last export under our flag, in a group of TICs.
  platform::File* flow = nullptr;
  if (auto kept = open_flows_.find(flow_path); kept != open_flows_.end()) flow = kept->second.get();
  platform::FilePtr opened;
  if (!flow) {
    opened = env_.Open(flow_path, platform::OpenMode::kAppend);
    if (!opened) {
      error = errno;
      return Appended::kNotOpened;
    }
    flow = opened.get();
  }
  // A kept handle goes with a failure; a new one is closed as `opened` goes.
  auto failed = [&] {
    error = errno;
    ForgetFlowFile(flow_path);
    return Appended::kNotWritten;
  };
  int64_t before = 0;
  std::string text;
  if (!flow->Size(before) || !LineEndNeeded(flow_path, before, text)) return failed();
  text += lines;
  if (!flow->Write(text)) {
    error = errno;
    if (!flow->Truncate(before))
      log.Write(kMarkError, Format("Can't cut %s back, its last line is broken", flow_path.c_str()));
    ForgetFlowFile(flow_path);
    return Appended::kNotWritten;
  }
  flow_ends_[flow_path] = before + static_cast<int64_t>(text.size());
  if (!opened || KeepFlowFile(flow_path, opened)) return Appended::kWhole;
  if (opened->Close()) return Appended::kWhole;
  error = errno;
  return Appended::kNotClosed;
}
