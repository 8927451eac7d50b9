// Files that have left the inbound: moved aside into a directory there
// while the run makes new files, and deleted together once the TICs are
// done. On a file system without a journal (ext4 mounted so) every new file
// is made after a look at each file deleted in the last seconds: deleting
// the TIC and its file as each TIC ended made a hub run slower with every
// TIC it handled.
#pragma once

#include <string>

#include "platform/platform.h"
#include "processor/log.h"

class InboundDone {
 public:
  explicit InboundDone(platform::Env& env) : env_(env) {}

  // The directory the files are moved into (hidden, and a directory: no
  // TIC search, no look for a numbered copy and no mailer takes what lies
  // there).
  std::string Directory() const;

  // Takes `path`, a file in inbound_dir, out of the inbound: moved aside,
  // or deleted when it cannot be. False, errno telling why, when it is
  // still there.
  [[nodiscard]] bool Leave(const std::string& path);

  // Deletes what was moved aside, by this run or by one that was killed.
  void Empty(Log& log);

 private:
  platform::Env& env_;
  bool made_ = false;  // the directory was made this run
};
