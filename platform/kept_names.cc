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
  last_given_.clear();
  last_directory_.clear();
}

KeptDirectory* KeptNames::NamesIn(const std::string& dir) {
  if (dirs_.empty()) return nullptr;
  auto found = dirs_.find(dir);
  if (found == dirs_.end()) return nullptr;
  KeptDirectory& names = found->second;
  if (!names.listed) {
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? "." : dir, ec);
    if (ec) return nullptr;
    for (const fs::directory_entry& entry : it) {
      std::string name = entry.path().filename().string();
      std::error_code type_ec;
      const bool is_directory = entry.is_directory(type_ec);
      names.names.emplace(ToLowerAscii(name), DirEntry{name, is_directory});
    }
    names.listed = true;
  }
  return &names;
}

// The kept names of the directory of `native`, when it is kept and listed
// already; `name` gets the last part of `native`.
KeptDirectory* KeptNames::ListedDirectoryOf(const std::string& native, std::string& name) {
  if (dirs_.empty()) return nullptr;
  auto found = dirs_.find(SplitDir(native, name));
  if (found == dirs_.end() || !found->second.listed) return nullptr;
  return &found->second;
}

void KeptNames::NoteMade(const std::string& native, bool is_directory) {
  std::string name;
  if (KeptDirectory* kept = ListedDirectoryOf(native, name))
    kept->names[ToLowerAscii(name)] = DirEntry{name, is_directory};
}

void KeptNames::NoteRemoved(const std::string& native) {
  if (dirs_.empty()) return;
  std::string name;
  const std::string dir = SplitDir(native, name);
  // A directory we removed must not be taken for one that is there.
  if (WithClosingSlash(native) == last_directory_) last_directory_.clear();
  auto found = dirs_.find(dir);
  if (found == dirs_.end()) return;
  auto hit = found->second.names.find(ToLowerAscii(name));
  if (hit != found->second.names.end() && hit->second.name == name) found->second.names.erase(hit);
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
