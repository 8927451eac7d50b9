#include "processor/tic/inbound_done.h"

#include <vector>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

// Hidden, and a directory: no TIC search, no look for a numbered copy and
// no mailer takes what lies there.
constexpr char kDoneDirectory[] = ".pelix-done";

std::string DoneDirectory() { return State().config.inbound_dir + kDoneDirectory; }

}  // namespace

bool LeaveInbound(const std::string& path) {
  const std::string done = DoneDirectory();
  if (!State().inbound_done_made) {
    // A directory that cannot be made shows as the moves failing.
    (void)platform::MakeDirectory(done);
    // Only pelix names files there: a new name needs no look through it.
    platform::KeepNamesOf(done);
    State().inbound_done_made = true;
  }
  // A name moved aside already this run (a second TIC of that file) is
  // never replaced: this one is deleted at once.
  return platform::MoveFile(path, done + platform::kSeparator + NameInPath(path)) ||
         platform::DeleteFile(path);
}

void EmptyLeftInbound() {
  const std::string done = DoneDirectory();
  State().inbound_done_made = false;
  if (!platform::IsDirectory(done)) return;
  const std::vector<platform::DirEntry> left =
      platform::FindFilesQuietly(done + platform::kSeparator + "*");
  bool emptied = true;
  for (const platform::DirEntry& entry : left) {
    const std::string path = done + platform::kSeparator + entry.name;
    if (entry.is_directory || !platform::DeleteFile(path)) {
      LogLine(kMarkError, Format("Can't delete %s", path.c_str()));
      emptied = false;
    }
  }
  if (emptied && !platform::RemoveEmptyDirectory(done))
    LogLine(kMarkError, Format("Can't delete %s", done.c_str()));
}
