#include "processor/tic/inbound_done.h"

#include <cerrno>
#include <vector>

#include "common/text_helpers.h"
#include "processor/config_store.h"

namespace {

constexpr char kDoneDirectory[] = ".pelix-done";

}  // namespace

std::string InboundDone::Directory() const { return Config().main.inbound_dir + kDoneDirectory; }

void InboundDone::Open(Log& log, bool make) {
  const std::string done = Directory();
  dir_ = env_.OpenOwnDirectory(done, make);
  if (dir_ || (errno == ENOENT && !make)) return;
  unusable_ = true;
  log.Write(kMarkError,
            WithReason(Format("Can't use %s, files leave the inbound by deletion", done.c_str()),
                       errno));
}

bool InboundDone::Leave(Log& log, const std::string& path) {
  if (!dir_ && !unusable_) Open(log, true);
  // A name moved aside already this run (a second TIC of that file) is
  // never replaced: this one is deleted at once.
  return (dir_ && dir_->MoveIn(path, NameInPath(path))) || env_.DeleteFile(path);
}

void InboundDone::Empty(Log& log) {
  if (!dir_ && !unusable_) Open(log, false);
  if (!dir_) return;
  const std::string done = Directory();
  std::vector<platform::DirEntry> left;
  bool emptied = dir_->List(left);
  if (!emptied) log.Write(kMarkError, WithReason(Format("Can't list %s", done.c_str()), errno));
  for (const platform::DirEntry& entry : left) {
    const std::string path = done + platform::kSeparator + entry.name;
    if (entry.is_directory) {
      log.Write(kMarkError, WithReason(Format("Can't delete %s", path.c_str()), EISDIR));
      emptied = false;
    } else if (!dir_->Remove(entry.name)) {
      log.Write(kMarkError, WithReason(Format("Can't delete %s", path.c_str()), errno));
      emptied = false;
    }
  }
  dir_.reset();
  // rmdir never follows a symbolic link: whatever now stands under the
  // name, only an empty directory goes.
  if (emptied && !env_.RemoveEmptyDirectory(done))
    log.Write(kMarkError, WithReason(Format("Can't delete %s", done.c_str()), errno));
}
