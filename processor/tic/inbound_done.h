// Files that have left the inbound: moved aside into a directory there
// while the run makes new files, and deleted together once the TICs are
// done. On a file system without a journal (ext4 mounted so) every new file
// is made after a look at each file deleted in the last seconds: deleting
// the TIC and its file as each TIC ended made a hub run slower with every
// TIC it handled.
//
// Whoever may write the inbound may put something else in the directory's
// place: it is used only when it is a directory of pelix's own, and only
// through the directory opened, so that nothing is ever moved into or
// deleted from a directory a symbolic link leads to.
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
  [[nodiscard]] bool Leave(Log& log, const std::string& path);

  // Deletes what was moved aside, by this run or by one that was killed.
  void Empty(Log& log);

 private:
  // Opens the directory (made first with `make`); a '!' line, once a run,
  // when something else stands in its place: files then leave the inbound
  // by deletion.
  void Open(Log& log, bool make);

  platform::Env& env_;
  platform::OwnDirectoryPtr dir_;
  bool unusable_ = false;
};
