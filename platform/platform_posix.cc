// POSIX implementation of the platform seam.
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <thread>

#include "common/text_helpers.h"
#include "platform/exit_cleanup.h"
#include "platform/kept_names.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

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
  // "NAME.*" also finds "NAME", as the directory search of Windows does;
  // the outbound scan relies on it.
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

bool LstatExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// A symbolic link that this process's user or root made.
bool LinkOfOurOwn(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
         (st.st_uid == ::geteuid() || st.st_uid == 0);
}

// A regular file, not followed when it is a symbolic link.
bool LstatRegular(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectoryExactly(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The name in `dir` equal to `name` ignoring case, or `name` itself. Read
// with readdir itself: a file area of thousands is read for every new name
// placed there, and nothing but the names is needed.
std::string MatchInDirectory(const std::string& dir, const std::string& name) {
  DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!listing) return name;
  std::string match = name;
  while (const struct dirent* entry = ::readdir(listing)) {
    if (::strlen(entry->d_name) == name.size() && EqualsIgnoreCase(entry->d_name, name)) {
      match = entry->d_name;
      break;
    }
  }
  ::closedir(listing);
  return match;
}

class PosixFile : public File {
 public:
  // `size_at_open`: the size the open saw, or -1; it answers Size() until
  // the file is written, so that an append needs no second look.
  explicit PosixFile(int fd, int64_t size_at_open = -1) : fd_(fd), size_at_open_(size_at_open) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  bool Read(char* buffer, size_t size, size_t& got) override {
    got = 0;
    while (true) {
      ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) {
        got = static_cast<size_t>(n);
        return true;
      }
      if (errno != EINTR) return false;
    }
  }

  bool Write(std::string_view bytes) override {
    size_at_open_ = -1;
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      if (n == 0) {
        errno = ENOSPC;
        return false;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  bool Seek(int64_t offset) override {
    return ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
  }

  bool Size(int64_t& size) override {
    if (size_at_open_ >= 0) {
      size = size_at_open_;
      return true;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) return false;
    size = st.st_size;
    return true;
  }

  bool Sync() override { return ::fsync(fd_) == 0; }

  bool Truncate(int64_t size) override {
    size_at_open_ = -1;
    while (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
      if (errno != EINTR) return false;
    return true;
  }

  bool Close() override {
    int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

  bool SetMode(uint32_t mode) override { return ::fchmod(fd_, static_cast<mode_t>(mode)) == 0; }

  bool LockFirstByte(int wait_milliseconds) override {
    size_at_open_ = -1;  // others may have written until the lock was ours
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    constexpr int kStep = 100;
    // The wait is counted in attempts, not read from the clock, so that a
    // fixed test clock cannot make it endless.
    for (int waited = 0;; waited += kStep) {
      if (::fcntl(fd_, F_SETLK, &lock) == 0) return true;
      if (errno != EACCES && errno != EAGAIN) return true;
      if (waited >= wait_milliseconds) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(kStep));
    }
  }

  void UnlockFirstByte() override {
    struct flock lock {};
    lock.l_type = F_UNLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 1;
    ::fcntl(fd_, F_SETLK, &lock);
  }

 private:
  int fd_;
  int64_t size_at_open_;
};

// Opens without waiting (a FIFO would hold the whole run waiting for a
// writer that never comes) and keeps only regular files: nothing the mailer
// or the sysop leaves for pelix is a device, a FIFO or a directory.
// `size` (optional) gets the file's size as the open found it.
int OpenRegular(const std::string& native, int flags, int64_t* size = nullptr) {
  int fd = ::open(native.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  if (size) *size = st.st_size;
  // O_NONBLOCK stays: it changes nothing for a regular file.
  return fd;
}

// Copies `size` bytes of the open file `in` (`reader`) into `writer`, only
// the data: a hole of a sparse file (a disk image, gigabytes of nothing)
// is neither read nor written, and stays a hole in the copy.
bool CopyContents(int in, PosixFile& reader, PosixFile& writer, int64_t size) {
  std::vector<char> buffer(size_t{1} << 16);
  int64_t at = 0;
  while (at < size) {
    off_t data = ::lseek(in, static_cast<off_t>(at), SEEK_DATA);
    if (data < 0 && errno == ENXIO) break;  // only a hole up to the end
    off_t hole = data < 0 ? -1 : ::lseek(in, data, SEEK_HOLE);
    if (data < 0 && errno == EINVAL) {
      // A file system that cannot tell: all of it is data.
      data = static_cast<off_t>(at);
      hole = static_cast<off_t>(size);
    }
    if (hole < 0 || !reader.Seek(data) || !writer.Seek(data)) return false;
    for (at = data; at < hole;) {
      size_t got = 0;
      const auto wanted = static_cast<size_t>(std::min<int64_t>(buffer.size(), hole - at));
      if (!reader.Read(buffer.data(), wanted, got)) return false;
      if (got == 0) return writer.Truncate(at);  // cut short meanwhile
      if (!writer.Write(std::string_view(buffer.data(), got))) return false;
      at += static_cast<int64_t>(got);
    }
  }
  return writer.Truncate(size);
}

// A side file beside `target`, created exclusively, for a write that must
// take the target's place whole or not at all.
int CreateSideFile(const std::string& target, std::string& side) {
  for (int n = 0; n < 1000; ++n) {
    side = SideFileName(target, n);
    int fd = ::open(side.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

class PosixEnv : public Env {
 public:
  std::vector<DirEntry> FindFiles(const std::string& pattern) override {
    std::vector<DirEntry> found;
    // A directory that cannot be read gives no entries here.
    (void)ListFiles(pattern, found);
    return found;
  }

  bool ListFiles(const std::string& pattern, std::vector<DirEntry>& found) override {
    found.clear();
    std::string mask;
    std::string dir = SplitDir(Slashes(pattern), mask);
    std::string native_dir = dir.empty() ? "." : ResolveCase(dir);
    auto by_name = [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; };
    if (KeptDirectory* kept = kept_.NamesIn(WithClosingSlash(native_dir))) {
      const std::string prefix = WithClosingSlash(native_dir);
      // Only names that start with the mask's letters before its first
      // wildcard can match ("NAME.*" finds "NAME" too: no dot at the end).
      std::string start = ToLowerAscii(mask.substr(0, mask.find_first_of("*?")));
      if (!start.empty() && start.back() == '.') start.pop_back();
      for (auto it = kept->names.lower_bound(start);
           it != kept->names.end() && it->first.compare(0, start.size(), start) == 0; ++it) {
        const DirEntry& entry = it->second;
        struct stat st;
        if (NameMatches(mask, entry.name) && ::lstat((prefix + entry.name).c_str(), &st) == 0)
          found.push_back({entry.name, S_ISDIR(st.st_mode)});
      }
      std::sort(found.begin(), found.end(), by_name);
      return true;
    }
    std::error_code ec;
    fs::directory_iterator it(native_dir, ec);
    // A listing that breaks off half way is no listing either.
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
      std::string name = it->path().filename().string();
      if (!NameMatches(mask, name)) continue;
      std::error_code type_ec;
      found.push_back({name, it->is_directory(type_ec)});
    }
    if (ec) {
      found.clear();
      errno = ec.value();
      return false;
    }
    std::sort(found.begin(), found.end(), by_name);
    return true;
  }

  void KeepNamesOf(const std::string& dir) override {
    if (dir.empty() || kept_.KeptAsGiven(dir)) return;
    kept_.Keep(WithClosingSlash(ResolveCase(dir)), dir);
  }

  void ForgetKeptNames() override { kept_.Forget(); }

  std::string NativePath(const std::string& path) override { return ResolveCase(path); }

  bool Exists(const std::string& path) override {
    if (path.empty()) return false;
    const std::string native = Slashes(path);
    if (LstatExists(native)) return true;
    const std::string resolved = ResolveAfterMiss(native);
    return resolved != native && LstatExists(resolved);
  }

  bool ExistsExactly(const std::string& path) override {
    if (path.empty()) return false;
    const std::string native = Slashes(path);
    if (LstatExists(native)) return true;
    std::string name;
    const std::string dir = SplitDir(native, name);
    // Not there, in a directory that is: no need to match the directories.
    if (dir.empty() || DirectoryExistsAsWritten(dir)) return false;
    return LstatExists(ResolveDirectories(path));
  }

  bool NameFree(const std::string& path) override {
    if (path.empty()) return false;
    const std::string native = Slashes(path);
    std::string name;
    const std::string dir = SplitDir(native, name);
    if (!dir.empty() && DirectoryExistsAsWritten(dir)) {
      if (KeptDirectory* kept = kept_.NamesIn(dir)) {
        if (kept->names.find(ToLowerAscii(name)) == kept->names.end()) return true;
      }
    }
    return !Exists(path);
  }

  bool IsDirectory(const std::string& path) override {
    return !path.empty() && IsDirectoryExactly(ResolveCase(path));
  }

  bool IsRegularFile(const std::string& path) override {
    return !path.empty() && LstatRegular(ResolveCase(path));
  }

  bool IsSymbolicLink(const std::string& path) override {
    struct stat st;
    return !path.empty() && ::lstat(ResolveCase(path).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }

  bool MakeDirectory(const std::string& path) override {
    std::string native = Slashes(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty()) return false;
    // Mostly there already, as written: one look.
    if (IsDirectoryExactly(native)) return true;
    native = ResolveCase(native);
    if (::mkdir(native.c_str(), 0777) == 0) {
      kept_.NoteMade(native, true);
      return true;
    }
    return errno == EEXIST && IsDirectoryExactly(native);
  }

  // The copy is made in a side file, forced to disk and then renamed into
  // place: a full disk or a kill never leaves a cut file under the name,
  // and a file already there stays whole until the new one is.
  bool CopyFile(const std::string& from, const std::string& to, Durability durability) override {
    std::string source = ResolveCase(from);
    std::string target = ResolveCase(to);
    if (IsDirectoryExactly(target)) {
      errno = EISDIR;
      return false;
    }
    int64_t size = 0;
    int in = OpenRegular(source, O_RDONLY | O_NOFOLLOW, &size);
    if (in < 0) return false;
    PosixFile reader(in);
    std::string side;
    int out = CreateSideFile(target, side);
    if (out < 0) return false;
    PosixFile writer(out);
    bool ok = CopyContents(in, reader, writer, size);
    ok = ok && (durability == Durability::kLater || writer.Sync());
    ok = writer.Close() && ok;
    ok = ok && ::rename(side.c_str(), target.c_str()) == 0;
    if (!ok) {
      const int error = errno;
      ::unlink(side.c_str());
      errno = error;
    }
    if (ok) kept_.NoteMade(target);
    return ok;
  }

  bool MoveFile(const std::string& from, const std::string& to) override {
    std::string source = ResolveCase(from);
    std::string target = ResolveCase(to);
    // The target may be there in another letter case: ResolveCase found it.
    if (target != Slashes(to) && LstatExists(target)) {
      errno = EEXIST;
      return false;
    }
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
      kept_.NoteMoved(source, target);
      return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without a no-replace rename: link()+unlink() cannot
    // replace an existing target either.
    if (!LstatExists(source)) return false;
    if (LstatExists(target)) {
      errno = EEXIST;
      return false;
    }
    if (::link(source.c_str(), target.c_str()) == 0) {
      if (::unlink(source.c_str()) == 0) {
        kept_.NoteMoved(source, target);
        return true;
      }
      const int error = errno;
      ::unlink(target.c_str());
      errno = error;
      return false;
    }
    return false;
  }

  bool ReplaceFile(const std::string& from, const std::string& to) override {
    std::string source = ResolveCase(from);
    std::string target = ResolveCase(to);
    if (IsDirectoryExactly(source) || IsDirectoryExactly(target)) {
      errno = EISDIR;
      return false;
    }
    if (::rename(source.c_str(), target.c_str()) != 0) return false;
    kept_.NoteMoved(source, target);
    return true;
  }

  bool DeleteFile(const std::string& path) override {
    if (path.empty()) return false;
    std::string native = Slashes(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) {
      native = ResolveAfterMiss(native);
      if (::lstat(native.c_str(), &st) != 0) return false;
    }
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return false;
    }
    if (::unlink(native.c_str()) != 0) return false;
    kept_.NoteRemoved(native);
    return true;
  }

  bool SyncFileSystems(const std::vector<std::string>& paths) override {
    std::vector<dev_t> done;
    for (const std::string& path : paths) {
      std::string native = ResolveCase(path.empty() ? "." : path);
      int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
      if (fd < 0) return false;
      struct stat st;
      bool ok = ::fstat(fd, &st) == 0;
      if (ok && std::find(done.begin(), done.end(), st.st_dev) == done.end()) {
        ok = ::syncfs(fd) == 0;
        done.push_back(st.st_dev);
      }
      if (::close(fd) != 0 || !ok) return false;
    }
    return true;
  }

  bool RemoveEmptyDirectory(const std::string& path) override {
    std::string native = ResolveCase(path);
    if (!IsDirectoryExactly(native) || ::rmdir(native.c_str()) != 0) return false;
    kept_.NoteRemoved(native);
    return true;
  }

  std::string CurrentDirectory() override {
    std::error_code ec;
    std::string dir = fs::current_path(ec).string();
    if (ec) return "";
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
  }

  // A file that is there as written is opened at once; only a miss looks
  // for the name in another letter case (and, for kAppend, creates it).
  FilePtr OpenExisting(const std::string& path, OpenMode mode) {
    int flags = O_RDONLY;
    switch (mode) {
      case OpenMode::kUpdate: flags = O_RDWR; break;
      case OpenMode::kReadNoFollow: flags = O_RDONLY | O_NOFOLLOW; break;
      case OpenMode::kUpdateNoFollow: flags = O_RDWR | O_NOFOLLOW; break;
      case OpenMode::kAppend:
      case OpenMode::kAppendOwnLink: flags = O_WRONLY | O_APPEND | O_NOFOLLOW; break;
      default: break;
    }
    const bool appends = mode == OpenMode::kAppend || mode == OpenMode::kAppendOwnLink;
    int64_t size = -1;
    std::string native = Slashes(path);
    int fd = OpenRegular(native, flags, &size);
    if (fd < 0 && errno == ENOENT) {
      native = ResolveCase(path);
      fd = OpenRegular(native, flags | (appends ? O_CREAT : 0), &size);
      if (fd >= 0 && appends) kept_.NoteMade(native);
    }
    if (fd < 0 && errno == ELOOP && mode == OpenMode::kAppendOwnLink && LinkOfOurOwn(native))
      fd = OpenRegular(native, (flags & ~O_NOFOLLOW) | O_CREAT, &size);
    if (fd < 0) return nullptr;
    // A file opened for update may grow under another writer before the
    // caller locks it: its size is looked at when asked for.
    const bool update = mode == OpenMode::kUpdate || mode == OpenMode::kUpdateNoFollow;
    return std::make_unique<PosixFile>(fd, update ? -1 : size);
  }

  FilePtr Open(const std::string& path, OpenMode mode, bool* exists) override {
    if (exists) *exists = false;
    if (path.empty()) return nullptr;
    switch (mode) {
      case OpenMode::kRead:
      case OpenMode::kUpdate:
      case OpenMode::kReadNoFollow:
      case OpenMode::kUpdateNoFollow:
      case OpenMode::kAppend:
      case OpenMode::kAppendOwnLink:
        return OpenExisting(path, mode);
      default:
        break;
    }
    std::string native =
        mode == OpenMode::kCreateExact ? ResolveDirectories(path) : ResolveCase(path);
    int fd = -1;
    switch (mode) {
      case OpenMode::kTruncate:
        fd = OpenRegular(native, O_WRONLY | O_CREAT);
        if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
          ::close(fd);
          fd = -1;
        }
        break;
      case OpenMode::kCreateNew:
        // ResolveCase found another letter case of an existing name.
        if (native != Slashes(path) && LstatExists(native)) {
          if (exists) *exists = true;
          return nullptr;
        }
        fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST && exists) *exists = true;
        break;
      case OpenMode::kCreateExact:
        fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST && exists) *exists = true;
        break;
      default:
        break;
    }
    if (fd < 0) return nullptr;
    kept_.NoteMade(native);
    return std::make_unique<PosixFile>(fd);
  }

  bool IsReadOnly(const std::string& path) override {
    struct stat st;
    if (path.empty() || ::stat(ResolveCase(path).c_str(), &st) != 0) return false;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }

  bool LinkFile(const std::string& from, const std::string& to) override {
    std::string source = ResolveCase(from);
    std::string target = ResolveDirectories(to);
    if (::link(source.c_str(), target.c_str()) != 0) return false;
    // link() takes a symbolic link itself: a mailer would follow it.
    if (!LstatRegular(target)) {
      ::unlink(target.c_str());
      errno = EPERM;
      return false;
    }
    kept_.NoteMade(target);
    return true;
  }

  bool SameFile(const std::string& a, const std::string& b) override {
    struct stat first, second;
    return !a.empty() && !b.empty() && ::lstat(Slashes(a).c_str(), &first) == 0 &&
           ::lstat(Slashes(b).c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
  }

  bool IdOf(const std::string& path, FileId& id) override {
    struct stat st;
    if (path.empty() || ::lstat(Slashes(path).c_str(), &st) != 0) return false;
    id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return true;
  }

  bool CanDelete(const std::string& path) override {
    std::string native = ResolveCase(path);
    std::string name;
    std::string dir = SplitDir(native, name);
    if (dir.empty()) dir = ".";
    struct stat dir_st;
    if (::access(dir.c_str(), W_OK | X_OK) != 0 || ::stat(dir.c_str(), &dir_st) != 0)
      return false;
    if (!(dir_st.st_mode & S_ISVTX)) return true;
    // A sticky directory (like /tmp) lets only the owner of a file, of the
    // directory, or root remove it.
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) return true;
    const uid_t me = ::geteuid();
    if (me == 0 || st.st_uid == me || dir_st.st_uid == me) return true;
    errno = EPERM;
    return false;
  }

  bool ModifiedSeconds(const std::string& path, int64_t& seconds) override {
    struct stat st;
    if (path.empty() || ::stat(ResolveCase(path).c_str(), &st) != 0) return false;
    seconds = static_cast<int64_t>(st.st_mtime);
    return true;
  }

  bool ModeOf(const std::string& path, uint32_t& mode) override {
    struct stat st;
    if (path.empty() || ::lstat(ResolveCase(path).c_str(), &st) != 0) return false;
    mode = static_cast<uint32_t>(st.st_mode & 07777);
    return true;
  }

  std::string ForeignOwner(const std::string& dir) override {
    struct stat st;
    if (::geteuid() != 0 || ::stat(ResolveCase(dir.empty() ? "." : dir).c_str(), &st) != 0 ||
        st.st_uid == 0)
      return "";
    // Looked up in the user database; a number without a name is shown as
    // the number, which sudo -u takes as "#N".
    std::vector<char> buffer(16384);
    struct passwd entry;
    struct passwd* found = nullptr;
    if (::getpwuid_r(st.st_uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
      return found->pw_name;
    return "#" + std::to_string(st.st_uid);
  }

  void LetEveryoneRead() override {
    const mode_t mask = ::umask(0);
    ::umask(mask & ~static_cast<mode_t>(0444));
  }

  int CurrentPid() override { return static_cast<int>(::getpid()); }

  bool ProcessExists(int pid) override {
    if (pid <= 0) return false;
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
  }

  int64_t UtcSeconds() override { return static_cast<int64_t>(std::time(nullptr)); }

  LocalTime ToLocalTime(int64_t utc_seconds) override {
    std::time_t when = static_cast<std::time_t>(utc_seconds);
    std::tm tm{};
    ::localtime_r(&when, &tm);
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

  void SleepMilliseconds(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  OwnDirectoryPtr OpenOwnDirectory(const std::string& path, bool make) override;

  FlagClaim ClaimProcessFlag(const std::string& path) override;
  bool ReleaseProcessFlag() override;

 private:
  friend class PosixOwnDirectory;

  // The name in `dir` equal to `name` ignoring case, or `name` itself;
  // from the kept listing where there is one.
  std::string MatchName(const std::string& dir, const std::string& name) {
    KeptDirectory* kept = kept_.NamesIn(dir);
    if (!kept) kept = kept_.CheckedNamesIn(dir);
    if (!kept) return MatchInDirectory(dir, name);
    auto hit = kept->names.find(ToLowerAscii(name));
    if (hit == kept->names.end()) return name;
    struct stat st;
    if (::lstat((dir + hit->second.name).c_str(), &st) == 0) return hit->second.name;
    // Removed by another program; another letter case may still be there.
    kept->names.erase(hit);
    std::string match = MatchInDirectory(dir, name);
    if (match != name) kept->names.emplace(ToLowerAscii(match), DirEntry{match, false});
    return match;
  }

  // Whether `dir` is there exactly as written. While a pass keeps names, the
  // directory last found so needs no second look. Only absolute names are
  // remembered: a relative one changes its meaning with the working
  // directory.
  bool DirectoryExistsAsWritten(const std::string& dir) {
    if (!dir.empty() && dir == kept_.last_directory()) return true;
    if (!LstatExists(dir)) return false;
    if (!dir.empty() && dir[0] == '/') kept_.SetLastDirectory(dir);
    return true;
  }

  std::string ResolveCase(const std::string& stored) {
    std::string path = Slashes(stored);
    if (path.empty() || LstatExists(path)) return path;
    return ResolveAfterMiss(path);
  }

  // ResolveCase of a native path known not to be there as written.
  std::string ResolveAfterMiss(const std::string& path) {
    // Mostly a new name in a directory that is there as written.
    std::string last;
    const std::string dir = SplitDir(path, last);
    if (!last.empty() && last != "." && last != ".." && !dir.empty() &&
        DirectoryExistsAsWritten(dir))
      return dir + MatchName(dir, last);
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
        if (!LstatExists(candidate)) {
          std::string match = MatchName(resolved, part);
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

  // The directories of `stored` matched as ResolveCase matches them, its last
  // name kept exactly as given.
  std::string ResolveDirectories(const std::string& stored) {
    std::string name;
    std::string dir = SplitDir(Slashes(stored), name);
    if (dir.empty()) return name;
    return (DirectoryExistsAsWritten(dir) ? dir : ResolveCase(dir)) + name;
  }

  KeptNames kept_;
};


class PosixOwnDirectory : public OwnDirectory {
 public:
  PosixOwnDirectory(PosixEnv& env, int fd) : env_(env), fd_(fd) {}
  ~PosixOwnDirectory() override { ::close(fd_); }

  bool List(std::vector<DirEntry>& entries) override {
    entries.clear();
    // fdopendir takes the descriptor it is given: a second one, closed
    // with the listing, leaves ours open.
    const int listed = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
    if (listed < 0) return false;
    DIR* listing = ::fdopendir(listed);
    if (!listing) {
      const int error = errno;
      ::close(listed);
      errno = error;
      return false;
    }
    ::rewinddir(listing);
    errno = 0;
    while (const struct dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") {
        struct stat st;
        const bool is_directory =
            ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        entries.push_back({name, is_directory});
      }
      errno = 0;
    }
    const int error = errno;
    ::closedir(listing);
    errno = error;
    return error == 0;
  }

  bool Remove(const std::string& name) override {
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
  }

  bool MoveIn(const std::string& from, const std::string& name) override {
    const std::string source = env_.ResolveCase(from);
    if (::renameat2(AT_FDCWD, source.c_str(), fd_, name.c_str(), RENAME_NOREPLACE) != 0) {
      if (errno != EINVAL && errno != ENOSYS) return false;
      // File systems without a no-replace rename: a link cannot replace
      // an existing name either.
      if (::linkat(AT_FDCWD, source.c_str(), fd_, name.c_str(), 0) != 0) return false;
      if (::unlink(source.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(fd_, name.c_str(), 0);
        errno = error;
        return false;
      }
    }
    env_.kept_.NoteRemoved(source);
    return true;
  }

 private:
  PosixEnv& env_;
  int fd_;
};

OwnDirectoryPtr PosixEnv::OpenOwnDirectory(const std::string& path, bool make) {
  std::string native = Slashes(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (native.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  native = ResolveDirectories(native);
  if (make && ::mkdir(native.c_str(), 0777) == 0) kept_.NoteMade(native, true);
  const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // A symbolic link or a file in its place.
    if (errno == ELOOP) errno = ENOTDIR;
    return nullptr;
  }
  struct stat st;
  const bool stated = ::fstat(fd, &st) == 0;
  if (!stated || st.st_uid != ::geteuid()) {
    const int error = stated ? EPERM : errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return std::make_unique<PosixOwnDirectory>(*this, fd);
}

PosixEnv& Posix() {
  static PosixEnv env;
  return env;
}

}  // namespace

Env& DefaultEnv() { return Posix(); }

namespace {

bool LockWholeFile(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_SETLK, &lock) == 0;
}

// The process id a flag holds: its text is nothing but decimal digits
// (line end and blanks aside). 0 when it holds none.
int FlagPid(int fd) {
  char text[32];
  ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  if (n <= 0) return 0;
  return ProcessIdIn(std::string_view(text, static_cast<size_t>(n)));
}

enum class Found { kGone, kBusy, kStaleRemoved, kFailed };

// Judges the flag that stands under `native`. A stale one is removed while
// we hold its lock, and only if the name still stands for it, so that two
// processes clearing the same stale flag never remove the new flag one of
// them made meanwhile.
Found JudgeExistingFlag(const std::string& native, int& stale_pid, int& error) {
  int fd = ::open(native.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return Found::kGone;
    // A flag we may not even open (another user's, a directory) is not ours
    // to judge.
    return Found::kBusy;
  }
  struct stat opened;
  const int pid = FlagPid(fd);
  bool live = true;
  if (pid > 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)) {
    if (LockWholeFile(fd)) {
      live = false;
    } else if (errno == ENOLCK || errno == EINVAL) {
      // A file system without record locks: the process itself tells.
      live = !(::kill(pid, 0) != 0 && errno == ESRCH);
    }
  }
  if (live) {
    ::close(fd);
    return Found::kBusy;
  }
  struct stat named;
  Found found = Found::kGone;
  if (::stat(native.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
      named.st_ino == opened.st_ino) {
    if (::unlink(native.c_str()) == 0) {
      stale_pid = pid;
      found = Found::kStaleRemoved;
    } else if (errno != ENOENT) {
      error = errno;
      found = Found::kFailed;
    }
  }
  ::close(fd);
  return found;
}

enum class Made { kMade, kExists, kFailed };

// Writes our process id into a side file, locks it and links it to the
// flag's name: whoever sees the flag sees it whole and locked. The
// descriptor stays open for the whole run, since closing any descriptor of
// the file would drop the lock.
Made MakeFlag(const std::string& native, int& error) {
  const std::string pid_text = std::to_string(::getpid()) + "\n";
  const std::string side = SideFileName(native, 0) + "." + std::to_string(::getpid());
  ::unlink(side.c_str());  // left by an earlier process of the same id
  int fd = ::open(side.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = errno;
    return Made::kFailed;
  }
  auto fail = [&](int why) {
    error = why;
    ::unlink(side.c_str());
    ::close(fd);
    return Made::kFailed;
  };
  // Forced to disk before the name appears: after a power cut the flag
  // still holds the id of a process that no longer runs, and is cleared.
  ssize_t written = ::write(fd, pid_text.data(), pid_text.size());
  if (written != static_cast<ssize_t>(pid_text.size())) return fail(written < 0 ? errno : ENOSPC);
  if (::fsync(fd) != 0) return fail(errno);
  // A file system without record locks still gets the flag: its id is
  // checked against the running processes instead.
  if (!LockWholeFile(fd) && errno != ENOLCK && errno != EINVAL) return fail(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0) return fail(errno);
  int linked = ::link(side.c_str(), native.c_str());
  if (linked != 0 && errno != EEXIST) {
    // File systems without hard links: a rename that never replaces.
    linked = ::renameat2(AT_FDCWD, side.c_str(), AT_FDCWD, native.c_str(), RENAME_NOREPLACE);
  }
  if (linked != 0) {
    if (errno == EEXIST) {
      fail(EEXIST);
      return Made::kExists;
    }
    return fail(errno);
  }
  ::unlink(side.c_str());
  ExitCleanup::OfProcess().SetProgramFlag(native, st.st_dev, st.st_ino, fd);
  return Made::kMade;
}

}  // namespace

FlagClaim PosixEnv::ClaimProcessFlag(const std::string& path) {
  FlagClaim claim;
  if (ExitCleanup::OfProcess().HoldsProgramFlag()) {
    claim.result = FlagClaim::kBusy;
    return claim;
  }
  SignalsHeld held;
  // A handful of rounds: each lost one means another process made or
  // cleared the flag in between.
  for (int round = 0; round < 20; ++round) {
    // Resolved each round: the flag may exist in another letter case. Kept
    // absolute, so that the flag is found again wherever the process is.
    std::string native = ResolveCase(path);
    if (!native.empty() && native[0] != '/') {
      char cwd[4096];
      if (::getcwd(cwd, sizeof cwd) == nullptr) {
        claim.error = errno;
        return claim;
      }
      native = std::string(cwd) + "/" + native;
    }
    if (native.empty() || native.size() >= kMaxCleanupPath) {
      claim.error = ENAMETOOLONG;
      return claim;
    }
    if (LstatExists(native)) {
      switch (JudgeExistingFlag(native, claim.stale_pid, claim.error)) {
        case Found::kBusy:
          claim.result = FlagClaim::kBusy;
          return claim;
        case Found::kFailed:
          return claim;
        case Found::kGone:
        case Found::kStaleRemoved:
          continue;
      }
    }
    switch (MakeFlag(native, claim.error)) {
      case Made::kMade:
        claim.result = FlagClaim::kClaimed;
        return claim;
      case Made::kFailed:
        return claim;
      case Made::kExists:
        continue;
    }
  }
  claim.result = FlagClaim::kBusy;
  return claim;
}

bool PosixEnv::ReleaseProcessFlag() { return ExitCleanup::OfProcess().ReleaseProgramFlag(); }

}  // namespace platform
