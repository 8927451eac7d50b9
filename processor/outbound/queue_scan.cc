#include "processor/outbound/queue_scan.h"

#include <cerrno>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/text_helpers.h"
#include "processor/config_store.h"
#include "processor/outbound/flow_references.h"
#include "processor/outbound/outbound_layout.h"

namespace {

// "px" and four digits: where a second copy of a name waits while the
// first is still named by a flow file. Other subdirectories are the
// sysop's.
bool IsNumberedCopyDirectory(const std::string& name) {
  if (name.size() != 6 || !EqualsIgnoreCase(name.substr(0, 2), "px")) return false;
  for (size_t i = 2; i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

void EraseSentCopies(platform::Env& env, Log& log, const std::string& dir,
                     const std::unordered_set<std::string>& referenced) {
  for (const platform::DirEntry& entry : env.FindFiles(dir + "*.*")) {
    if (entry.is_directory) continue;
    std::string path = dir + entry.name;
    if (referenced.count(ReferenceKey(env, path))) continue;
    log.Write(kMarkErased, Format("Erasing sent passtrought file %s", path.c_str()));
    // A copy that cannot go takes room but loses nothing; the next run
    // tries again.
    if (!env.DeleteFile(path))
      log.Write(kMarkError, WithReason(Format("Can't erase %s", path.c_str()), errno));
  }
}

}  // namespace

void ScanQueue(platform::Env& env, Log& log, OutboundSession& outbound) {
  ConsoleOut("Scaning Queue.\n");
  const std::string& queue_dir = Config().main.queue_dir;
  // Without a queue directory the search below would list the node itself.
  if (queue_dir.empty()) return;
  std::unordered_set<std::string> referenced;
  std::vector<std::string> outbounds;
  const bool listed = ListOutbounds(env, log, "queue", outbounds);
  for (const std::string& dir : outbounds) outbound.RemoveStaleSideFlags(log, dir);
  if (!listed || !ReadFlowReferences(env, log, outbounds, "queue", referenced)) return;
  EraseSentCopies(env, log, queue_dir, referenced);
  for (const platform::DirEntry& entry : env.FindFiles(queue_dir + "*.*")) {
    if (!entry.is_directory || !IsNumberedCopyDirectory(entry.name)) continue;
    const std::string dir = queue_dir + entry.name;
    EraseSentCopies(env, log, dir + platform::kSeparator, referenced);
    // Kept while it still holds a copy.
    (void)env.RemoveEmptyDirectory(dir);
  }
}
