// Listings of directories, so that a new name costs no look through a
// directory of thousands for another letter case of it:
// - kept: directories into which only this process puts names while a pass
//   runs (the queue, the TIC outbound), read once, then kept current by
//   this process's own creates, moves and removes;
// - checked: any other directory a new name is looked up in (a file area,
//   where a BBS adds files), read again whenever its modification time is
//   not the one it had when read or when this process last changed it, so
//   that nothing another program adds is ever hidden.
// Owned by the POSIX Env and switched on by the pass (Env::KeepNamesOf for
// each kept directory), off by Env::ForgetKeptNames; without a pass nothing
// is listed ahead. Paths here are native; directories end with "/".
#pragma once

#include <map>
#include <string>
#include <unordered_map>

#include "platform/platform.h"

namespace platform {

// Names folded to lower case, each with the letter case it has on disk;
// in order, so that a search for "px*" reads only the names that start so.
struct KeptDirectory {
  bool listed = false;
  std::map<std::string, DirEntry> names;
  // Checked listings: the directory's modification time (nanoseconds) that
  // the names are true for.
  int64_t modified = -1;
};

std::string WithClosingSlash(std::string dir);
// The directory of a native path, with its closing "/" ("" for a bare
// name); `last` gets the name after it.
std::string SplitDir(const std::string& native, std::string& last);

class KeptNames {
 public:
  // Starts keeping the names of `native_dir`, which the caller named `given`.
  void Keep(const std::string& native_dir, const std::string& given);
  // True when `given` (absolute) is the directory last given to keep: asked
  // for again at every new name, it needs no second look.
  bool KeptAsGiven(const std::string& given) const;
  void Forget();
  bool active() const { return !dirs_.empty(); }

  // The kept names of `dir`, listed at first use; nullptr when the directory
  // is not kept or cannot be listed.
  KeptDirectory* NamesIn(const std::string& dir);
  // The names of any other directory while a pass keeps names, read again
  // when it changed; nullptr when no pass does or it cannot be listed.
  KeptDirectory* CheckedNamesIn(const std::string& dir);

  // Keep the listings current after this process made, removed or moved a
  // name.
  void NoteMade(const std::string& native, bool is_directory = false);
  void NoteRemoved(const std::string& native);
  void NoteMoved(const std::string& from, const std::string& to);

  // The directory last found to be there exactly as written, while names
  // are kept: most looks of a pass are for names in the same few
  // directories. Forgotten with the listings, and whenever this process
  // removes a directory.
  const std::string& last_directory() const { return last_directory_; }
  void SetLastDirectory(const std::string& dir) {
    if (active()) last_directory_ = dir;
  }

 private:
  KeptDirectory* ListedDirectoryOf(const std::string& native, std::string& name);
  // After this process changed `dir`, its checked listing (if any) is true
  // for the time the change gave it.
  void Rechecked(const std::string& dir);

  std::unordered_map<std::string, KeptDirectory> dirs_;
  std::unordered_map<std::string, KeptDirectory> checked_;
  std::string last_given_;
  std::string last_directory_;
};

}  // namespace platform
