#include "processor/outbound/unnamed_tics.h"

#include <unordered_set>
#include <utility>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/outbound/flow_references.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

// Only a TIC pelix makes is erased, whatever else the list may hold: a name
// of the TIC outbound, directly, ending in ".tic".
bool MadeTicName(const std::string& path) {
  const std::string& dir = State().config.tic_outbound_dir;
  if (dir.empty() || path.size() <= dir.size() + 4 || path.compare(0, dir.size(), dir) != 0)
    return false;
  const std::string name = path.substr(dir.size());
  return name.find_first_of("\\/") == std::string::npos && name[0] != '.' &&
         EqualsIgnoreCase(name.substr(name.size() - 4), ".tic");
}

void RemoveList() {
  if (!platform::DeleteFile(kUnnamedTicList))
    LogLine(kMarkError, Format("Can't delete %s", kUnnamedTicList));
}

}  // namespace

void NoteMadeTic(const std::string& tic_path) {
  RunState& state = State();
  if (!state.made_tics && !state.made_tics_failed) {
    platform::CriticalErrorsOff quiet;
    state.made_tics = platform::OpenFile(kUnnamedTicList, platform::OpenMode::kAppend);
  }
  if (state.made_tics && state.made_tics->Write(tic_path + "\n")) {
    state.made_tics_noted = true;
    return;
  }
  // Nothing is lost: only a TIC a killed run leaves would stay behind.
  if (!std::exchange(state.made_tics_failed, true))
    LogLine(kMarkError, Format("Can't write %s", kUnnamedTicList));
}

void ForgetMadeTics() {
  RunState& state = State();
  if (!state.made_tics || !std::exchange(state.made_tics_noted, false)) return;
  // A list that keeps its names costs the next run a look at them, no more.
  (void)state.made_tics->Truncate(0);
}

void EndMadeTics() {
  RunState& state = State();
  if (!state.made_tics) return;
  // A list that stays is read again by the next run, which erases nothing
  // a flow file names.
  (void)state.made_tics->Close();
  state.made_tics = nullptr;
  state.made_tics_noted = false;
  RemoveList();
}

void EraseUnnamedTics() {
  std::string list;
  {
    platform::CriticalErrorsOff quiet;
    if (!platform::ReadWholeFile(platform::CurrentEnv(), kUnnamedTicList, list)) return;  // none left
  }
  std::unordered_set<std::string> referenced;
  if (!list.empty() && !ReadFlowReferences(OutboundDirectories(), "unsent TICs", referenced))
    return;  // the list stays for a run that can read them
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    const std::string path = list.substr(start, end - start);
    start = end + 1;
    if (!MadeTicName(path) || !platform::ExistsExactly(path) ||
        referenced.count(ReferenceKey(path)))
      continue;
    LogLine(kMarkErased, Format("Erasing %s, no flow file names it", path.c_str()));
    if (!platform::DeleteFile(path)) LogLine(kMarkError, Format("Can't erase %s", path.c_str()));
  }
  RemoveList();
}
