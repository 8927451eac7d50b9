// POSIX implementation of the platform seam.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

#include "platform/platform.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// Wildcard match, "*" any run and "?" one character, ignoring case.
bool WildMatch(const char* p, const char* s) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*s) {
    if (*p == '?' || (*p != '*' && *p && LowerAscii(*p) == LowerAscii(*s))) {
      ++p;
      ++s;
    } else if (*p == '*') {
      star = p++;
      resume = s;
    } else if (star) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == '\0';
}

bool NameMatches(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*") return true;
  if (WildMatch(pattern.c_str(), name.c_str())) return true;
  // "NAME.*" also finds "NAME", as the directory search of the original
  // platform does; the outbound scan relies on it.
  if (pattern.size() > 2 && pattern.compare(pattern.size() - 2, 2, ".*") == 0) {
    std::string stem = pattern.substr(0, pattern.size() - 2);
    return name.find('.') == std::string::npos &&
           WildMatch(stem.c_str(), name.c_str());
  }
  return false;
}

std::string Slashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

bool ExistsExactly(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// The name in `dir` equal to `name` ignoring case, or `name` itself.
std::string MatchInDirectory(const std::string& dir, const std::string& name) {
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? "." : dir, ec);
  if (ec) return name;
  for (const fs::directory_entry& entry : it) {
    std::string candidate = entry.path().filename().string();
    if (EqualNoCase(candidate, name)) return candidate;
  }
  return name;
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

}  // namespace

std::string NativePath(const std::string& stored) {
  std::string path = Slashes(stored);
  if (path.empty() || ExistsExactly(path)) return path;
  std::string resolved;
  size_t pos = 0;
  if (path[0] == '/') {
    resolved = "/";
    pos = 1;
  }
  bool still_resolving = true;
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(pos, slash - pos);
    if (!part.empty() && part != "." && part != ".." && still_resolving) {
      std::string candidate = resolved + part;
      if (!ExistsExactly(candidate)) {
        std::string match = MatchInDirectory(resolved, part);
        if (match == part) still_resolving = false;
        part = match;
      }
    }
    resolved += part;
    if (slash < path.size()) resolved += '/';
    pos = slash + 1;
  }
  return resolved;
}

std::vector<DirEntry> FindFiles(const std::string& pattern) {
  std::vector<DirEntry> found;
  std::string mask;
  std::string dir = SplitDir(Slashes(pattern), mask);
  std::string native_dir = dir.empty() ? "." : NativePath(dir);
  std::error_code ec;
  fs::directory_iterator it(native_dir, ec);
  if (ec) return found;
  for (const fs::directory_entry& entry : it) {
    std::string name = entry.path().filename().string();
    if (!NameMatches(mask, name)) continue;
    std::error_code type_ec;
    found.push_back({name, entry.is_directory(type_ec)});
  }
  std::sort(found.begin(), found.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return found;
}

bool Exists(const std::string& path) {
  return !path.empty() && ExistsExactly(NativePath(path));
}

bool IsDirectory(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(NativePath(path), ec);
}

bool MakeDirectory(const std::string& path) {
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) return false;
  if (::mkdir(native.c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(native);
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::string source = NativePath(from);
  std::string target = NativePath(to);
  if (IsDirectory(source) || IsDirectory(target)) return false;
  std::FILE* in = OpenFile(source, "r");
  if (!in) return false;
  std::FILE* out = std::fopen(target.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    return false;
  }
  char buffer[65536];
  bool ok = true;
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    if (std::fwrite(buffer, 1, n, out) != n) {
      ok = false;
      break;
    }
  }
  if (std::ferror(in)) ok = false;
  std::fclose(in);
  if (std::fclose(out) != 0) ok = false;
  return ok;
}

bool MoveFile(const std::string& from, const std::string& to) {
  std::string source = NativePath(from);
  std::string target = NativePath(to);
  if (!ExistsExactly(source) || ExistsExactly(target)) return false;
  // link()+unlink() is a rename that can never replace an existing target.
  if (::link(source.c_str(), target.c_str()) == 0) {
    ::unlink(source.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  // Directories and file systems without hard links: a no-replace rename.
  return ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(),
                     RENAME_NOREPLACE) == 0;
}

bool DeleteFile(const std::string& path) {
  std::string native = NativePath(path);
  return !IsDirectory(native) && ::unlink(native.c_str()) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  std::string native = NativePath(path);
  return IsDirectory(native) && ::rmdir(native.c_str()) == 0;
}

std::string CurrentDirectory() {
  std::error_code ec;
  std::string dir = fs::current_path(ec).string();
  if (ec) return "";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

bool CreateExclusive(const std::string& path) {
  std::string native = NativePath(path);
  // A file that exists under another letter case is the same flag.
  if (ExistsExactly(native)) return false;
  int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

bool CreateEmpty(const std::string& path) {
  std::FILE* f = OpenFile(path, "w");
  if (!f) return false;
  return std::fclose(f) == 0;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  if (path.empty()) return nullptr;
  std::string native = NativePath(path);
  if (IsDirectory(native)) return nullptr;
  std::string m = mode;
  // Reading a FIFO would wait for a writer that never comes and hold the
  // whole run; nothing the mailer leaves is one.
  struct stat st;
  if (m[0] == 'r' && ::stat(native.c_str(), &st) == 0 && S_ISFIFO(st.st_mode)) return nullptr;
  if (m.find('b') == std::string::npos) m += 'b';
  return std::fopen(native.c_str(), m.c_str());
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::FILE* f = OpenFile(path, "r");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = OpenFile(path, "w");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0) ok = false;
  return ok;
}

namespace {
std::optional<int64_t> fixed_clock;
}

void SetFixedClock(std::optional<int64_t> utc_seconds) { fixed_clock = utc_seconds; }

int64_t UtcSeconds() {
  if (fixed_clock) return *fixed_clock;
  return static_cast<int64_t>(std::time(nullptr));
}

LocalTime LocalNow() {
  std::time_t now = static_cast<std::time_t>(UtcSeconds());
  std::tm tm{};
  ::localtime_r(&now, &tm);
  LocalTime t;
  t.year = tm.tm_year + 1900;
  t.month = tm.tm_mon + 1;
  t.day = tm.tm_mday;
  t.hour = tm.tm_hour;
  t.minute = tm.tm_min;
  t.second = tm.tm_sec;
  t.weekday = tm.tm_wday;
  return t;
}

void YieldProcessor() { std::this_thread::yield(); }

namespace {
// Fixed storage: the handler may only touch what is async-signal-safe.
char interrupt_path[4096];
volatile sig_atomic_t interrupt_armed = 0;

extern "C" void OnInterrupt(int sig) {
  if (interrupt_armed) ::unlink(interrupt_path);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}
}  // namespace

bool CreateExclusiveRemovedOnInterrupt(const std::string& path) {
  std::string native = NativePath(path);
  if (native.empty() || native.size() >= sizeof interrupt_path) return false;
  sigset_t held, previous;
  sigemptyset(&held);
  sigaddset(&held, SIGINT);
  sigaddset(&held, SIGTERM);
  ::sigprocmask(SIG_BLOCK, &held, &previous);
  bool created = CreateExclusive(native);
  if (created) {
    std::memcpy(interrupt_path, native.c_str(), native.size() + 1);
    interrupt_armed = 1;
    ::signal(SIGINT, OnInterrupt);
    ::signal(SIGTERM, OnInterrupt);
  }
  ::sigprocmask(SIG_SETMASK, &previous, nullptr);
  return created;
}

void DisarmInterruptRemoval() { interrupt_armed = 0; }

std::FILE* OpenExclusive(const std::string& path) {
  if (path.empty()) return nullptr;
  std::string native = NativePath(path);
  // A file that exists under another letter case is the same file.
  if (ExistsExactly(native)) return nullptr;
  int fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) ::close(fd);
  return file;
}

}  // namespace platform

namespace platform {

bool LockFirstByte(std::FILE* file, int wait_milliseconds) {
  if (!file) return false;
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  constexpr int kStep = 100;
  // The wait is counted in attempts, not read from the clock, so that a
  // fixed test clock cannot make it endless.
  for (int waited = 0;; waited += kStep) {
    if (::fcntl(::fileno(file), F_SETLK, &lock) == 0) return true;
    if (errno != EACCES && errno != EAGAIN) return true;
    if (waited >= wait_milliseconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kStep));
  }
}

void UnlockFirstByte(std::FILE* file) {
  if (!file) return;
  struct flock lock {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 1;
  ::fcntl(::fileno(file), F_SETLK, &lock);
}

bool ReplaceFile(const std::string& from, const std::string& to) {
  std::string source = NativePath(from);
  std::string target = NativePath(to);
  if (IsDirectory(source) || IsDirectory(target)) return false;
  return std::rename(source.c_str(), target.c_str()) == 0;
}

}  // namespace platform

// --- New stored messages and read-only marks -------------------------------

namespace platform {
namespace {
std::optional<int> new_files_left;
}

void FailNewFilesAfter(std::optional<int> count) { new_files_left = count; }

std::FILE* OpenNewFile(const std::string& path, bool& exists) {
  exists = false;
  if (path.empty()) return nullptr;
  std::string native = NativePath(path);
  // NativePath resolves another letter case of an existing name.
  if (ExistsExactly(native)) {
    exists = true;
    return nullptr;
  }
  if (new_files_left) {
    if (*new_files_left <= 0) return nullptr;
    --*new_files_left;
  }
  int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
  if (fd < 0) {
    exists = errno == EEXIST;
    return nullptr;
  }
  std::FILE* f = ::fdopen(fd, "w+b");
  if (!f) ::close(fd);
  return f;
}

bool IsReadOnly(const std::string& path) {
  struct stat st;
  if (path.empty() || ::stat(NativePath(path).c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace platform
