#include "processor/outbound/unnamed_tics.h"

#include <cerrno>
#include <unordered_set>
#include <utility>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/outbound/flow_references.h"
#include "processor/outbound/outbound_layout.h"

namespace {

// Only a TIC pelix makes is erased, whatever else the list may hold: a name
// of the TIC outbound, directly, ending in ".tic".
bool MadeTicName(const std::string& path) {
  const std::string& dir = Config().main.tic_outbound_dir;
  if (dir.empty() || path.size() <= dir.size() + 4 || path.compare(0, dir.size(), dir) != 0)
    return false;
  const std::string name = path.substr(dir.size());
  return name.find_first_of("\\/") == std::string::npos && name[0] != '.' &&
         EqualsIgnoreCase(name.substr(name.size() - 4), ".tic");
}

}  // namespace

void MadeTics::RemoveList(Log& log) {
  if (!env_.DeleteFile(kUnnamedTicList))
    log.Write(kMarkError, WithReason(Format("Can't delete %s", kUnnamedTicList), errno));
}

void MadeTics::Note(Log& log, const std::string& tic_path) {
  if (!list_ && !failed_) list_ = env_.Open(kUnnamedTicList, platform::OpenMode::kAppend);
  if (list_ && list_->Write(tic_path + "\n")) {
    noted_ = true;
    return;
  }
  // Nothing is lost: only a TIC a killed run leaves would stay behind.
  if (!std::exchange(failed_, true))
    log.Write(kMarkError, WithReason(Format("Can't write %s", kUnnamedTicList), errno));
}

void MadeTics::ForgetAll() {
  if (!list_ || !std::exchange(noted_, false)) return;
  // A list that keeps its names costs the next run a look at them, no more.
  (void)list_->Truncate(0);
}

void MadeTics::End(Log& log) {
  if (!list_) return;
  // A list that stays is read again by the next run, which erases nothing
  // a flow file names.
  (void)list_->Close();
  list_ = nullptr;
  noted_ = false;
  RemoveList(log);
}

void MadeTics::EraseUnnamed(Log& log) {
  std::string list;
  if (!platform::ReadWholeFile(env_, kUnnamedTicList, list)) return;  // none left
  std::unordered_set<std::string> referenced;
  std::vector<std::string> outbounds;
  if (!list.empty() && (!ListOutbounds(env_, log, "unsent TICs", outbounds) ||
                        !ReadFlowReferences(env_, log, outbounds, "unsent TICs", referenced)))
    return;  // the list stays for a run that can read them
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\n', start);
    if (end == std::string::npos) end = list.size();
    const std::string path = list.substr(start, end - start);
    start = end + 1;
    if (!MadeTicName(path) || !env_.ExistsExactly(path) ||
        referenced.count(ReferenceKey(env_, path)))
      continue;
    log.Write(kMarkErased, Format("Erasing %s, no flow file names it", path.c_str()));
    if (!env_.DeleteFile(path))
      log.Write(kMarkError, WithReason(Format("Can't erase %s", path.c_str()), errno));
  }
  RemoveList(log);
}
