#include "platform/kept_names.h"

#include <sys/stat.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace platform {

std::string Folded(std::string name) {
  for (char& c : name)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return name;
}

namespace {

// Native directory, with its closing "/" -> its kept names.
std::unordered_map<std::string, KeptDirectory>& KeptDirectories() {
  static std::unordered_map<std::string, KeptDirectory> kept;
  return kept;
}

std::string& LastGiven() {
  static std::string last;
  return last;
}

}  // namespace

void KeepNamesOfNative(const std::string& native_dir, const std::string& given) {
  KeptDirectories().try_emplace(native_dir);
  LastGiven() = given;
}

bool KeptAsGiven(const std::string& given) {
  return !given.empty() && given[0] == '/' && given == LastGiven();
}

void ForgetKeptNames() {
  KeptDirectories().clear();
  LastGiven().clear();
}

std::string WithClosingSlash(std::string dir) {
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

KeptDirectory* KeptNamesIn(const std::string& dir) {
  auto& kept = KeptDirectories();
  if (kept.empty()) return nullptr;
  auto found = kept.find(dir);
  if (found == kept.end()) return nullptr;
  KeptDirectory& names = found->second;
  if (!names.listed) {
    std::error_code ec;
    fs::directory_iterator it(dir.empty() ? "." : dir, ec);
    if (ec) return nullptr;
    for (const fs::directory_entry& entry : it) {
      std::string name = entry.path().filename().string();
      std::error_code type_ec;
      const bool is_directory = entry.is_directory(type_ec);
      names.names.emplace(Folded(name), DirEntry{name, is_directory});
    }
    names.listed = true;
  }
  return &names;
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

namespace {

// The kept names of the directory of `native`, when it is kept and listed
// already; `name` gets the last part of `native`.
KeptDirectory* ListedDirectoryOf(const std::string& native, std::string& name) {
  if (KeptDirectories().empty()) return nullptr;
  auto found = KeptDirectories().find(SplitDir(native, name));
  if (found == KeptDirectories().end() || !found->second.listed) return nullptr;
  return &found->second;
}

}  // namespace

void NoteMade(const std::string& native, bool is_directory) {
  std::string name;
  if (KeptDirectory* kept = ListedDirectoryOf(native, name))
    kept->names[Folded(name)] = DirEntry{name, is_directory};
}

void NoteRemoved(const std::string& native) {
  if (KeptDirectories().empty()) return;
  std::string name;
  const std::string dir = SplitDir(native, name);
  auto found = KeptDirectories().find(dir);
  if (found == KeptDirectories().end()) return;
  auto hit = found->second.names.find(Folded(name));
  if (hit != found->second.names.end() && hit->second.name == name) found->second.names.erase(hit);
}

void NoteMoved(const std::string& from, const std::string& to) {
  NoteRemoved(from);
  std::string name;
  // Only a kept listing needs to know what arrived: no look otherwise.
  KeptDirectory* kept = ListedDirectoryOf(to, name);
  if (!kept) return;
  struct stat st;
  kept->names[Folded(name)] = DirEntry{name, ::stat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode)};
}

}  // namespace platform
