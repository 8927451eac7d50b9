#include "platform/kept_names.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

#include "common/text_helpers.h"

namespace fs = std::filesystem;

namespace platform {

std::string WithClosingSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

std::string SplitDir(const std::string& native, std::string& last) {
  size_t slash = native.rfind('/');
  if (slash == std::string::npos) {
    last = native;
    return "";
  }
  last = native.substr(slash + 1);
  return native.substr(0, slash + 1);
}

void KeptNames::Keep(const std::string& native_dir, const std::string& given) {
  dirs_.try_emplace(native_dir);
  last_given_ = given;
}

bool KeptNames::KeptAsGiven(const std::string& given) const {
  return !given.empty() && given[0] == '/' && given == last_given_;
}

void KeptNames::Forget() {
  dirs_.clear();
  checked_.clear();
  last_given_.clear();
  last_directory_.clear();
}

namespace {

// Lists `dir` into `names`; false when it cannot be read.
bool List(const std::string& dir, KeptDirectory& names) {
  names.names.clear();
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? "." : dir, ec);
  if (ec) return false;
  for (const fs::directory_entry& entry : it) {
    std::string name = entry.path().filename().string();
    std::error_code type_ec;
    const bool is_directory = entry.is_directory(type_ec);
    names.names.emplace(ToLowerAscii(name), DirEntry{name, is_directory});
  }
  names.listed = true;
  return true;
}

// The modification time of `dir` in nanoseconds; -1 when it is not there.
int64_t ModifiedOf(const std::string& dir) {
  struct stat st;
  if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

KeptDirectory* KeptNames::NamesIn(const std::string& dir) {
  if (dirs_.empty()) return nullptr;
  auto found = dirs_.find(dir);
  if (found == dirs_.end()) return nullptr;
  KeptDirectory& names = found->second;
  if (!names.listed && !List(dir, names)) return nullptr;
  return &names;
}

KeptDirectory* KeptNames::CheckedNamesIn(const std::string& dir) {
  if (!active()) return nullptr;
  const int64_t modified = ModifiedOf(dir);
  if (modified < 0) return nullptr;
  KeptDirectory& names = checked_[dir];
  if (names.listed && names.modified == modified) return &names;
  // Read after the time is taken: a name added meanwhile changes the time
  // again and the next look reads anew.
  names.modified = modified;
  if (!List(dir, names)) {
    checked_.erase(dir);
    return nullptr;
  }
  return &names;
}

void KeptNames::Rechecked(const std::string& dir) {
  auto found = checked_.find(dir);
  if (found != checked_.end()) found->second.modified = ModifiedOf(dir);
}

// The kept or checked names of the directory of `native`, when it is listed
// already; `name` gets the last part of `native`. A checked listing is then
// true for the directory's time after this process's change.
KeptDirectory* KeptNames::ListedDirectoryOf(const std::string& native, std::string& name) {
  if (dirs_.empty() && checked_.empty()) return nullptr;
  const std::string dir = SplitDir(native, name);
  auto found = dirs_.find(dir);
  if (found != dirs_.end()) return found->second.listed ? &found->second : nullptr;
  auto checked = checked_.find(dir);
  if (checked == checked_.end() || !checked->second.listed) return nullptr;
  Rechecked(dir);
  return &checked->second;
}

void KeptNames::NoteMade(const std::string& native, bool is_directory) {
  std::string name;
  if (KeptDirectory* kept = ListedDirectoryOf(native, name))
    kept->names[ToLowerAscii(name)] = DirEntry{name, is_directory};
}

void KeptNames::NoteRemoved(const std::string& native) {
  if (dirs_.empty() && checked_.empty()) return;
  // A directory we removed must not be taken for one that is there.
  if (WithClosingSlash(native) == last_directory_) last_directory_.clear();
  checked_.erase(WithClosingSlash(native));
  std::string name;
  KeptDirectory* kept = ListedDirectoryOf(native, name);
  if (!kept) return;
  auto hit = kept->names.find(ToLowerAscii(name));
  if (hit != kept->names.end() && hit->second.name == name) kept->names.erase(hit);
}

void KeptNames::NoteMoved(const std::string& from, const std::string& to) {
  NoteRemoved(from);
  std::string name;
  // Only a kept listing needs to know what arrived: no look otherwise.
  KeptDirectory* kept = ListedDirectoryOf(to, name);
  if (!kept) return;
  struct stat st;
  kept->names[ToLowerAscii(name)] =
      DirEntry{name, ::stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)};
}

}  // namespace platform
