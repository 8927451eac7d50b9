// The one seam between both programs and the operating system. Paths are
// passed as the configuration stores them: a "\" is read as a directory
// separator, and an existing file or directory whose name differs from the
// given one only in letter case is found, so that what a search finds an
// open finds too. New files and directories are created as named.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The separator the processor joins outbound and area names with.
inline constexpr char kSeparator = '/';

struct DirEntry {
  std::string name;
  bool is_directory = false;
};

// Entries of the directory part of `pattern` whose names match its last
// part, "*" and "?" compared without regard to letter case; "." and ".."
// are never listed. A pattern "NAME.*" also matches "NAME" itself, and "*.*"
// matches every name. A directory that cannot be read gives no entries.
// The result is sorted by name so that every run walks it the same way.
std::vector<DirEntry> FindFiles(const std::string& pattern);

// Stored path text -> native path ("\" becomes "/"), each existing
// component matched without regard to case when no exact match exists.
std::string NativePath(const std::string& path);

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// Creates one directory; an existing one counts as success.
bool MakeDirectory(const std::string& path);
// Copies, replacing an existing target.
bool CopyFile(const std::string& from, const std::string& to);
// Moves; fails, touching nothing, when the target exists.
bool MoveFile(const std::string& from, const std::string& to);
bool DeleteFile(const std::string& path);
// Removes a directory only when it is empty.
bool RemoveEmptyDirectory(const std::string& path);
// The working directory, absolute, without a closing "/".
std::string CurrentDirectory();
// Creates an empty file that must not exist yet; false when it exists or
// cannot be made.
bool CreateExclusive(const std::string& path);
// Creates or truncates an empty file.
bool CreateEmpty(const std::string& path);

// fopen over NativePath. Modes as for fopen; "b" is implied. A directory,
// or a FIFO opened for reading, gives nullptr.
std::FILE* OpenFile(const std::string& path, const char* mode);
// Whole-file helpers for the small binary files.
bool ReadWholeFile(const std::string& path, std::string& bytes);
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// The critical-error mode of the original platform does not exist here: a
// scope guard that does nothing keeps the call sites honest.
class CriticalErrorsOff {
 public:
  CriticalErrorsOff() {}
  ~CriticalErrorsOff() {}
  CriticalErrorsOff(const CriticalErrorsOff&) = delete;
  CriticalErrorsOff& operator=(const CriticalErrorsOff&) = delete;
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

// Seconds since 1970-01-01 00:00 UTC.
int64_t UtcSeconds();
// The local date and time of UtcSeconds().
LocalTime LocalNow();
// Tests fix the clock here; std::nullopt returns to the real one.
void SetFixedClock(std::optional<int64_t> utc_seconds);

// Gives the processor up for a moment while a destination is busy.
void YieldProcessor();

// CreateExclusive for a flag that SIGINT or SIGTERM removes before the
// process ends by that signal. The signals are held off while the flag is
// made, so no interrupt can fall between its creation and its clean-up
// being armed. One such flag at a time.
bool CreateExclusiveRemovedOnInterrupt(const std::string& path);
// The flag is no longer removed on an interrupt (it was removed, or handed
// on).
void DisarmInterruptRemoval();

// Outgoing TICs: opens a new file for writing that must not exist yet, so
// that a file already there is never overwritten; nullptr when it exists or
// cannot be made.
std::FILE* OpenExclusive(const std::string& path);

}  // namespace platform

// Advisory record locks and replacing renames, for the JAM message base and
// the announce database.
namespace platform {

// Locks byte 0 of `file` (open for writing) against other processes, the
// lock that JAM readers and writers take on a base's ".jhr" file while they
// change it. Retries in steps of a tenth of a second for about
// `wait_milliseconds` while another process holds a lock there, then gives
// up with false. A file system without record locks cannot be locked and
// counts as locked, so that it never stops the caller.
bool LockFirstByte(std::FILE* file, int wait_milliseconds);
// Releases the lock of LockFirstByte; closing the file releases it too.
void UnlockFirstByte(std::FILE* file);

// Renames `from` to `to` in one step, replacing an existing `to`: at every
// moment one of the two complete files is there under the name `to`.
bool ReplaceFile(const std::string& from, const std::string& to);

}  // namespace platform

// --- New stored messages and read-only marks -------------------------------

namespace platform {

// Creates `path` for reading and writing, only when no file of that name
// exists in any letter case, so that nothing already there is emptied or
// replaced. nullptr when it cannot; `exists` then tells whether a file of
// that name was the reason.
std::FILE* OpenNewFile(const std::string& path, bool& exists);

// True when the file exists and no one may write it: the mark a sysop sets
// on a message that no program is to change or delete.
bool IsReadOnly(const std::string& path);

// Tests make new files fail here: after `count` more successful
// OpenNewFile calls every further one fails (not as "exists");
// std::nullopt returns to normal.
void FailNewFilesAfter(std::optional<int> count);

}  // namespace platform
