// The one seam between both programs and the operating system. Paths are
// passed as the configuration stores them: a "\" is read as a directory
// separator, and an existing file or directory whose name differs from the
// given one only in letter case is found, so that what a search finds an
// open finds too. New files and directories are created as named.
//
// Every operation goes through an Env that the caller was handed: the real
// one talks to the system; tests hand down a wrapper that fails the n-th
// write or copy, or runs a clock that advances when the code sleeps.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The separator the processor joins outbound and area names with.
inline constexpr char kSeparator = '/';

struct DirEntry {
  std::string name;
  bool is_directory = false;
};

// Which file a name stands for: the same pair, the same file.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

struct LocalTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int weekday = 4;  // 0 = Sunday
};

// An open file. Each operation tells whether it worked; a file destroyed
// without Close is closed quietly (only on paths that already failed).
class File {
 public:
  virtual ~File() = default;
  // Reads up to `size` bytes at the current position; `got` is 0 at the end.
  [[nodiscard]] virtual bool Read(char* buffer, size_t size, size_t& got) = 0;
  // Writes all of `bytes` or reports failure.
  [[nodiscard]] virtual bool Write(std::string_view bytes) = 0;
  // Moves to `offset` bytes from the start.
  [[nodiscard]] virtual bool Seek(int64_t offset) = 0;
  // The file's current length.
  [[nodiscard]] virtual bool Size(int64_t& size) = 0;
  // Forces what was written onto the disk.
  [[nodiscard]] virtual bool Sync() = 0;
  // Cuts the file to `size` bytes: takes back an append that failed half
  // way, so no cut line stays behind.
  [[nodiscard]] virtual bool Truncate(int64_t size) = 0;
  [[nodiscard]] virtual bool Close() = 0;
  // Sets the permission bits (as chmod does) of the open file.
  [[nodiscard]] virtual bool SetMode(uint32_t mode) = 0;
  // Locks byte 0 against other processes (the lock JAM readers and writers
  // take on a base's ".jhr"), retrying for about `wait_milliseconds`. A file
  // system without record locks counts as locked so that it never stops the
  // caller.
  [[nodiscard]] virtual bool LockFirstByte(int wait_milliseconds) = 0;
  virtual void UnlockFirstByte() = 0;
};
using FilePtr = std::unique_ptr<File>;

// A directory of this process's own, opened once: each step works on the
// directory that was opened, relative to it, never on whatever its name
// stands for by then, so that a symbolic link put in its place cannot lead
// a listing, a move or a removal into another directory.
class OwnDirectory {
 public:
  virtual ~OwnDirectory() = default;
  // Its entries ("." and ".." left out); false, errno telling why, when it
  // cannot be read.
  [[nodiscard]] virtual bool List(std::vector<DirEntry>& entries) = 0;
  // Removes its entry `name`, which must not be a directory.
  [[nodiscard]] virtual bool Remove(const std::string& name) = 0;
  // Moves the file `from` into it as `name`; fails, touching nothing, when
  // that name is taken.
  [[nodiscard]] virtual bool MoveIn(const std::string& from, const std::string& name) = 0;
};
using OwnDirectoryPtr = std::unique_ptr<OwnDirectory>;

// The outcome of claiming a process flag (ClaimProcessFlag).
struct FlagClaim {
  enum Result {
    kClaimed,  // the flag is ours until released or the process ends
    kBusy,     // a live process holds it, or it holds no process id
    kFailed,   // it could not be made: `error` holds the errno
  };
  Result result = kFailed;
  // Not 0: a flag of this process id, which had ended without removing it,
  // was removed before the claim.
  int stale_pid = 0;
  int error = 0;
};

// Whether a copy is forced to disk before it takes its name, or later with
// others in one SyncFileSystems: before anything names it, and before the
// file it was copied from is removed.
enum class Durability { kForced, kLater };

enum class OpenMode {
  kRead,       // an existing regular file, for reading
  kUpdate,     // an existing regular file, for reading and writing
  // Created when missing; every write goes to the end. Never through a
  // symbolic link: whoever may write where the file lies (a BBS in a file
  // area, the mailer in the outbound) could otherwise have pelix append to
  // any file it may write.
  kAppend,
  // As kAppend, but a symbolic link in the name's place is followed when it
  // belongs to this process's user or to root: one the sysop made on
  // purpose, such as a log file kept elsewhere.
  kAppendOwnLink,
  kTruncate,   // created when missing, emptied when there
  kCreateNew,  // for reading and writing; only when no file of that name
               // exists in any letter case
  // As kCreateNew, but only this letter case of the name is looked at: for
  // names only pelix makes (side files) and names whose other letter cases
  // the caller has looked for itself. Needs no look through the directory.
  kCreateExact,
  // As kRead and kUpdate, but never through a symbolic link: for what a
  // stranger may have left in the inbound or the netmail folder, where a
  // link could point at a secret or a device.
  kReadNoFollow,
  kUpdateNoFollow,
};

// The operating system as both programs see it. Tests derive from
// EnvWrapper and override what they need.
class Env {
 public:
  virtual ~Env() = default;

  // Entries of the directory part of `pattern` whose names match its last
  // part, "*" and "?" compared without regard to letter case; "." and ".."
  // are never listed. "NAME.*" also matches "NAME" itself, and "*.*"
  // matches every name. A directory that cannot be read gives no entries.
  // Sorted by name so that every run walks it the same way.
  virtual std::vector<DirEntry> FindFiles(const std::string& pattern) = 0;
  // As FindFiles, but a directory that cannot be read is told from an
  // empty one: false, errno telling why (ENOENT when it is not there).
  [[nodiscard]] virtual bool ListFiles(const std::string& pattern,
                                       std::vector<DirEntry>& found) = 0;
  // Stored path text -> native path ("\" becomes "/"), each existing
  // component matched without regard to case when no exact match exists.
  virtual std::string NativePath(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // As Exists, but the last name only in this letter case (the directories
  // on the way are matched as usual): one look, however large the
  // directory, for names pelix makes and names probed case by case.
  virtual bool ExistsExactly(const std::string& path) = 0;
  // Starts keeping the listing of `dir`, a directory into which only this
  // process puts names while the pass that asks runs (the queue, the TIC
  // outbound; never a file area, where a BBS adds files): it is read once,
  // at the first name that is not there in the letter case asked for, and
  // kept current by this process's own creates, moves and removes, so that
  // a new name costs no look through a directory of thousands. A kept name
  // is looked at again before it is used, since the mailer removes files
  // it has sent.
  virtual void KeepNamesOf(const std::string& dir) = 0;
  // Ends every kept listing: the pass that asked is over.
  virtual void ForgetKeptNames() = 0;
  // True when no name of the directory is `path`'s in any letter case, as
  // far as a kept listing knows (KeepNamesOf): a name free there costs no
  // look. For names then made with kCreateExact, which fails should another
  // program have taken that very name meanwhile.
  virtual bool NameFree(const std::string& path) = 0;
  virtual bool IsDirectory(const std::string& path) = 0;
  // True when `path` itself is a regular file: a symbolic link (whatever it
  // points at), a FIFO, a device or a directory is not.
  virtual bool IsRegularFile(const std::string& path) = 0;
  // True when `path` itself is a symbolic link, whatever it points at.
  virtual bool IsSymbolicLink(const std::string& path) = 0;
  // Creates one directory; an existing one counts as success.
  virtual bool MakeDirectory(const std::string& path) = 0;
  // Opens `path` (its last name exactly as given), made first when `make`
  // and it is missing, as a directory of this process's own: a directory
  // itself, not a symbolic link to one, that belongs to this process's
  // user. nullptr when it is not, errno telling why: ENOENT when nothing is
  // there, ENOTDIR when something else stands in its place, EPERM when it
  // is another user's.
  virtual OwnDirectoryPtr OpenOwnDirectory(const std::string& path, bool make) = 0;
  // Copies a regular file, replacing an existing target. The source is
  // never read through a symbolic link: copies are made of arrived files,
  // and a link planted among them must not publish what it points at.
  virtual bool CopyFile(const std::string& from, const std::string& to,
                        Durability durability) = 0;
  // Moves; fails, touching nothing, when the target exists.
  virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
  // Renames `from` to `to` in one step, replacing an existing `to`: at
  // every moment one of the two complete files is there under `to`.
  virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
  virtual bool DeleteFile(const std::string& path) = 0;
  // Forces everything written so far on the file systems that hold
  // `paths` to disk, each file system once: one wait for many new files
  // instead of one each.
  virtual bool SyncFileSystems(const std::vector<std::string>& paths) = 0;
  // Removes a directory only when it is empty.
  virtual bool RemoveEmptyDirectory(const std::string& path) = 0;
  // The working directory, absolute, without a closing "/".
  virtual std::string CurrentDirectory() = 0;
  // nullptr when the file cannot be opened in `mode`: also a directory, a
  // FIFO or a device where a regular file is wanted. `exists` (optional)
  // tells for kCreateNew whether a file of that name was the reason.
  virtual FilePtr Open(const std::string& path, OpenMode mode, bool* exists = nullptr) = 0;
  // True when the file exists and no one may write it: the mark a sysop
  // sets on a message that no program is to change or delete.
  virtual bool IsReadOnly(const std::string& path) = 0;
  // Makes `to` a second name of the file `from`; fails, touching nothing,
  // when `to` exists in this letter case (the caller looks for others
  // itself, as it does before kCreateExact). A flag linked into place is
  // never seen empty. Only a regular file is linked: a symbolic link or a
  // device found at `from` is refused (and its new name taken away).
  virtual bool LinkFile(const std::string& from, const std::string& to) = 0;
  // True when `a` and `b`, names as written, are one file (a link of the
  // other); neither is followed when it is a symbolic link.
  virtual bool SameFile(const std::string& a, const std::string& b) = 0;
  // The file `path`, as written, stands for (not followed when it is a
  // symbolic link); false when it is not there.
  virtual bool IdOf(const std::string& path, FileId& id) = 0;
  // True when this process may remove `path` from its directory (the
  // directory is writable for us and no sticky bit keeps another user's
  // file), so that a file is not handled by every run again.
  virtual bool CanDelete(const std::string& path) = 0;
  // The last modification of `path` in seconds since 1970; false when it
  // is not there.
  virtual bool ModifiedSeconds(const std::string& path, int64_t& seconds) = 0;
  // The permission bits of `path` (not followed when it is a symbolic
  // link); false when it is not there.
  virtual bool ModeOf(const std::string& path, uint32_t& mode) = 0;
  // When this process runs as root and the directory `dir` belongs to
  // another user: that user's name (or number), so that the programs of a
  // node refuse to leave files there that the node's owner (the mailer's
  // user) cannot read or replace. Empty otherwise.
  virtual std::string ForeignOwner(const std::string& dir) = 0;
  // From now on the files this process makes may be read by every user
  // whatever the umask says, so that the mailer's user reads what a program
  // of the node leaves in the outbound, the queue and the TIC outbound. A
  // file given its own rights (RewriteFile's kPrivateFileMode) keeps them.
  virtual void LetEveryoneRead() = 0;
  // This process's id, and whether a process of that id runs on this machine.
  virtual int CurrentPid() = 0;
  virtual bool ProcessExists(int pid) = 0;

  // Claims a flag file such as pelix.bsy that only one process at a time
  // may hold (one such flag per process; ExitCleanup removes it too). The flag appears already holding the process id (written to
  // a side file first, then linked to the flag's name, which fails when the
  // name exists in any letter case) and stays write-locked while the
  // process runs, so the lock dies with the process however it ends. A
  // flag that holds a process id but that no live process locks is stale:
  // it is removed and the claim goes on. A flag without a process id (made
  // by hand or by other software) is busy. The flag is removed again by
  // ReleaseProcessFlag, by SIGINT, SIGTERM, SIGHUP and SIGQUIT, and by
  // ExitCleanup::RemoveAll.
  virtual FlagClaim ClaimProcessFlag(const std::string& path) = 0;
  // Removes the flag claimed before, if its name still is that flag; false
  // when it is gone or cannot be removed. True when none is held.
  virtual bool ReleaseProcessFlag() = 0;

  // Seconds since 1970-01-01 00:00 UTC.
  virtual int64_t UtcSeconds() = 0;
  // The local date and time of `utc_seconds`.
  virtual LocalTime ToLocalTime(int64_t utc_seconds) = 0;
  virtual void SleepMilliseconds(int milliseconds) = 0;
};

// Forwards every call to another Env; tests override single operations.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::vector<DirEntry> FindFiles(const std::string& p) override { return target_->FindFiles(p); }
  bool ListFiles(const std::string& p, std::vector<DirEntry>& found) override {
    return target_->ListFiles(p, found);
  }
  std::string NativePath(const std::string& p) override { return target_->NativePath(p); }
  bool Exists(const std::string& p) override { return target_->Exists(p); }
  bool ExistsExactly(const std::string& p) override { return target_->ExistsExactly(p); }
  bool NameFree(const std::string& p) override { return target_->NameFree(p); }
  void KeepNamesOf(const std::string& d) override { target_->KeepNamesOf(d); }
  void ForgetKeptNames() override { target_->ForgetKeptNames(); }
  bool SyncFileSystems(const std::vector<std::string>& p) override {
    return target_->SyncFileSystems(p);
  }
  bool IsDirectory(const std::string& p) override { return target_->IsDirectory(p); }
  bool IsRegularFile(const std::string& p) override { return target_->IsRegularFile(p); }
  bool IsSymbolicLink(const std::string& p) override { return target_->IsSymbolicLink(p); }
  bool MakeDirectory(const std::string& p) override { return target_->MakeDirectory(p); }
  OwnDirectoryPtr OpenOwnDirectory(const std::string& p, bool make) override {
    return target_->OpenOwnDirectory(p, make);
  }
  bool CopyFile(const std::string& f, const std::string& t, Durability d) override {
    return target_->CopyFile(f, t, d);
  }
  bool MoveFile(const std::string& f, const std::string& t) override {
    return target_->MoveFile(f, t);
  }
  bool ReplaceFile(const std::string& f, const std::string& t) override {
    return target_->ReplaceFile(f, t);
  }
  bool DeleteFile(const std::string& p) override { return target_->DeleteFile(p); }
  bool RemoveEmptyDirectory(const std::string& p) override {
    return target_->RemoveEmptyDirectory(p);
  }
  std::string CurrentDirectory() override { return target_->CurrentDirectory(); }
  FilePtr Open(const std::string& p, OpenMode m, bool* exists = nullptr) override {
    return target_->Open(p, m, exists);
  }
  bool IsReadOnly(const std::string& p) override { return target_->IsReadOnly(p); }
  bool LinkFile(const std::string& f, const std::string& t) override {
    return target_->LinkFile(f, t);
  }
  bool SameFile(const std::string& a, const std::string& b) override {
    return target_->SameFile(a, b);
  }
  bool IdOf(const std::string& p, FileId& id) override { return target_->IdOf(p, id); }
  bool CanDelete(const std::string& p) override { return target_->CanDelete(p); }
  bool ModifiedSeconds(const std::string& p, int64_t& s) override {
    return target_->ModifiedSeconds(p, s);
  }
  bool ModeOf(const std::string& p, uint32_t& m) override { return target_->ModeOf(p, m); }
  std::string ForeignOwner(const std::string& d) override { return target_->ForeignOwner(d); }
  void LetEveryoneRead() override { target_->LetEveryoneRead(); }
  int CurrentPid() override { return target_->CurrentPid(); }
  bool ProcessExists(int pid) override { return target_->ProcessExists(pid); }
  FlagClaim ClaimProcessFlag(const std::string& p) override {
    return target_->ClaimProcessFlag(p);
  }
  bool ReleaseProcessFlag() override { return target_->ReleaseProcessFlag(); }
  int64_t UtcSeconds() override { return target_->UtcSeconds(); }
  LocalTime ToLocalTime(int64_t s) override { return target_->ToLocalTime(s); }
  void SleepMilliseconds(int ms) override { target_->SleepMilliseconds(ms); }

 private:
  Env* target_;
};

// The real system.
Env& DefaultEnv();

// Creates `path` for reading and writing only when no file of that name
// exists in any letter case, so that nothing already there is emptied or
// replaced. nullptr when it cannot; `exists` then tells whether a file of
// that name was the reason.
[[nodiscard]] inline FilePtr OpenNewFile(Env& env, const std::string& path, bool& exists) {
  exists = false;
  return env.Open(path, OpenMode::kCreateNew, &exists);
}
// The local date and time of the Env's clock.
inline LocalTime LocalNow(Env& env) { return env.ToLocalTime(env.UtcSeconds()); }
// Creates an empty file that must not exist yet.
[[nodiscard]] bool CreateExclusive(Env& env, const std::string& path);
// Creates the flag `path` already holding `text`: written into a side file
// that is then linked to the name, so no one ever reads the flag empty.
// False when it cannot; `exists` then tells whether the name was taken.
[[nodiscard]] bool CreateFlagHolding(Env& env, const std::string& path, std::string_view text,
                                     bool& exists);

// Whole-file helpers. Each fails with errno telling why (ENOENT: no such
// file). ReadWholeFile reads at most `limit` bytes and fails for a longer
// file (EFBIG), so that no input can take all memory; `mode` is kRead or
// kReadNoFollow.
inline constexpr size_t kNoLimit = static_cast<size_t>(-1);
[[nodiscard]] bool ReadWholeFile(Env& env, const std::string& path, std::string& bytes,
                                 size_t limit = kNoLimit, OpenMode mode = OpenMode::kRead);
// Reads `count` bytes from the file's position into `bytes`, fewer when
// the file ends first.
[[nodiscard]] bool ReadBytes(File& file, size_t count, std::string& bytes);
// As ReadWholeFile, but a file that is not there reads as empty, with
// `present` false: for files a node may be without. False, errno telling
// why, only for a file that is there and cannot be read.
[[nodiscard]] bool ReadFileIfPresent(Env& env, const std::string& path, std::string& bytes,
                                     bool& present, size_t limit = kNoLimit);
// Creates or truncates `path` and writes `bytes`; for files of our own that
// nobody else reads while they are made.
[[nodiscard]] bool WriteWholeFile(Env& env, const std::string& path, const std::string& bytes);
// Appends `bytes` to `path` (created when missing) in one write.
[[nodiscard]] bool AppendToFile(Env& env, const std::string& path, std::string_view bytes);
// The permission bits a new file gets when nothing else asks for others:
// what the process's umask leaves of read and write for everyone.
inline constexpr uint32_t kDefaultFileMode = 0666;
// Readable and writable by the owner alone: for files holding passwords.
inline constexpr uint32_t kPrivateFileMode = 0600;
// Which step of a RewriteFile failed: the side file could not be made (the
// place cannot be written at all), or what was made could not be written,
// forced to disk or put in place.
enum class RewriteStep { kNone, kCreate, kWrite };
// Replaces the contents of `path` as one step: a side file is written,
// forced to disk and renamed over `path`. On any failure the old file stays
// as it was, the side file is removed and errno tells why. The new contents
// keep the permission bits of the file they replace; a file made new gets
// `new_file_mode` (umask applied to kDefaultFileMode, never to others).
[[nodiscard]] bool RewriteFile(Env& env, const std::string& path, std::string_view bytes,
                               uint32_t new_file_mode = kDefaultFileMode,
                               RewriteStep* failed = nullptr);
// The side file of `target` for a replacement: "~" + its name in its
// directory, numbered from the second `attempt` on. The "~" keeps it out of
// the searches for "Announce.*", "*.tic" and the like.
std::string SideFileName(const std::string& target, int attempt);

}  // namespace platform
