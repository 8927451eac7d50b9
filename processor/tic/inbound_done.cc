#include "processor/tic/inbound_done.h"

#include <cerrno>
#include <vector>

#include "common/text_helpers.h"
#include "processor/config_store.h"

namespace {

constexpr char kDoneDirectory[] = ".pelix-done";

}  // namespace

std::string InboundDone::Directory() const { return Config().main.inbound_dir + kDoneDirectory; }

bool InboundDone::Leave(const std::string& path) {
  const std::string done = Directory();
  if (!made_) {
    // A directory that cannot be made shows as the moves failing.
    (void)env_.MakeDirectory(done);
    made_ = true;
  }
  // A name moved aside already this run (a second TIC of that file) is
  // never replaced: this one is deleted at once.
  return env_.MoveFile(path, done + platform::kSeparator + NameInPath(path)) ||
         env_.DeleteFile(path);
}

void InboundDone::Empty(Log& log) {
  const std::string done = Directory();
  made_ = false;
  if (!env_.IsDirectory(done)) return;
  const std::vector<platform::DirEntry> left = env_.FindFiles(done + platform::kSeparator + "*");
  bool emptied = true;
  for (const platform::DirEntry& entry : left) {
    const std::string path = done + platform::kSeparator + entry.name;
    if (entry.is_directory) {
      log.Write(kMarkError, WithReason(Format("Can't delete %s", path.c_str()), EISDIR));
      emptied = false;
    } else if (!env_.DeleteFile(path)) {
      log.Write(kMarkError, WithReason(Format("Can't delete %s", path.c_str()), errno));
      emptied = false;
    }
  }
  if (emptied && !env_.RemoveEmptyDirectory(done))
    log.Write(kMarkError, WithReason(Format("Can't delete %s", done.c_str()), errno));
}
