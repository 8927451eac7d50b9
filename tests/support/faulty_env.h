// A platform Env for tests: fails chosen operations as a full disk or a
// read-only folder would, and runs a clock that moves only when the code
// sleeps, so a ten-minute wait takes no real time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

class FaultyEnv : public platform::EnvWrapper {
 public:
  enum class Op {
    kCreate,   // an open that creates or writes (append, truncate, new)
    kWrite,    // a write to an open file: half of it lands, then it fails
    kSync,
    kCopy,     // the copy is left cut in its side file and fails
    kMove,
    kReplace,
    kDelete,
    kMakeDirectory,
    kLink,
    kCanDelete,  // the check whether a file may be removed says no
    kClose,      // a close that reports the file's last writes lost
    kRead,       // an open for reading (unreadable: another owner's 0600)
    kList,       // a directory search (FindFiles finds nothing, ListFiles fails)
  };

  // Every open of a flow file (".?lo") for appending, and every write to
  // one, checks that our busy flag of its destination stands, holding our
  // pid: a run that would write a flow line without it stops at once
  // (abort), so the test that ran it fails.
  FaultyEnv();

  void CheckOurFlagStands(const std::string& flow_path);
  void Wrote(const std::string& path) {
    if (after_write_) after_write_(path);
  }

  // From the `nth` call on (1 = the next one) of `op` on a path containing
  // `path_part`, `count` calls fail (-1: every one) with `error` in errno.
  void Fail(Op op, int nth = 1, std::string path_part = "", int count = -1, int error = 28);
  // The next call of `op` on such a path fails, the ones after it work: a
  // disk that is full for a moment.
  void FailOnce(Op op, std::string path_part = "", int error = 28) {
    Fail(op, 1, std::move(path_part), 1, error);
  }
  void ClearFailures() { rules_.clear(); }
  // How many calls of `op` have failed so far.
  int failures(Op op) const;

  // A clock standing at `utc_seconds` that SleepMilliseconds moves on.
  void UseFakeClock(int64_t utc_seconds);
  // Called at every sleep, before the clock moves: another program acting
  // while the code waits (a mailer ending its session), without a race.
  void OnSleep(std::function<void()> hook) { on_sleep_ = std::move(hook); }
  // Called after every write that went through, with the file's path.
  void AfterWrite(std::function<void(const std::string&)> hook) { after_write_ = std::move(hook); }
  int64_t slept_milliseconds() const { return slept_ms_; }
  // Only these processes run on the machine (this one always does).
  void UseProcesses(std::set<int> live) { live_ = std::move(live); }
  // Runs as root in node directories that belong to `owner`.
  void UseForeignOwner(std::string owner) { foreign_owner_ = std::move(owner); }

  // Whether the rules make this call fail; counts it. Used by the files
  // this Env opens, too.
  bool ShouldFail(Op op, const std::string& path);

  platform::FilePtr Open(const std::string& path, platform::OpenMode mode,
                         bool* exists = nullptr) override;
  std::vector<platform::DirEntry> FindFiles(const std::string& pattern) override;
  bool ListFiles(const std::string& pattern, std::vector<platform::DirEntry>& found) override;
  bool CopyFile(const std::string& from, const std::string& to,
                platform::Durability durability) override;
  bool MoveFile(const std::string& from, const std::string& to) override;
  bool ReplaceFile(const std::string& from, const std::string& to) override;
  bool DeleteFile(const std::string& path) override;
  bool MakeDirectory(const std::string& path) override;
  // Its moves in and removals fail as kMove and kDelete rules say, with
  // the directory's path and the name as the path.
  platform::OwnDirectoryPtr OpenOwnDirectory(const std::string& path, bool make) override;
  bool LinkFile(const std::string& from, const std::string& to) override;
  bool SyncFileSystems(const std::vector<std::string>& paths) override;
  bool CanDelete(const std::string& path) override;
  bool ProcessExists(int pid) override;
  std::string ForeignOwner(const std::string& dir) override;
  // kCreate rules reach the making of a process flag too.
  platform::FlagClaim ClaimProcessFlag(const std::string& path) override;
  int64_t UtcSeconds() override;
  void SleepMilliseconds(int milliseconds) override;

 private:
  struct Rule {
    Op op;
    std::string path_part;
    int skip;   // matching calls still to pass
    int count;  // failures still to give; -1 endless
    int error;
  };
  std::vector<Rule> rules_;
  std::vector<int> failures_ = std::vector<int>(static_cast<int>(Op::kList) + 1, 0);
  std::optional<int64_t> clock_;
  std::optional<std::set<int>> live_;
  int64_t slept_ms_ = 0;
  std::function<void()> on_sleep_;
  std::function<void(const std::string&)> after_write_;
  std::string foreign_owner_;
};
