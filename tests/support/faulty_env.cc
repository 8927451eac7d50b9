#include "tests/support/faulty_env.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

// "NAME.?lo": a flow file of the outbound.
bool IsFlowFile(const std::string& path) {
  const size_t n = path.size();
  return n > 4 && path[n - 4] == '.' && (path[n - 2] | 0x20) == 'l' && (path[n - 1] | 0x20) == 'o' &&
         path.find_last_of("/\\") < n - 4;
}


// Passes everything to the real file but the writes and syncs the rules
// make fail.
class FaultyFile : public platform::File {
 public:
  FaultyFile(FaultyEnv& env, std::string path, platform::FilePtr file, bool flow)
      : env_(env), path_(std::move(path)), file_(std::move(file)), flow_(flow) {}

  bool Read(char* buffer, size_t size, size_t& got) override {
    return file_->Read(buffer, size, got);
  }
  bool Write(std::string_view bytes) override {
    if (flow_) env_.CheckOurFlagStands(path_);
    if (env_.ShouldFail(FaultyEnv::Op::kWrite, path_)) {
      int error = errno;
      // A disk that fills up takes part of the last write.
      (void)file_->Write(bytes.substr(0, bytes.size() / 2));
      errno = error;
      return false;
    }
    if (!file_->Write(bytes)) return false;
    env_.Wrote(path_);
    return true;
  }
  bool Seek(int64_t offset) override { return file_->Seek(offset); }
  bool Size(int64_t& size) override { return file_->Size(size); }
  bool Truncate(int64_t size) override { return file_->Truncate(size); }
  bool Sync() override {
    if (env_.ShouldFail(FaultyEnv::Op::kSync, path_)) return false;
    return file_->Sync();
  }
  bool Close() override {
    if (env_.ShouldFail(FaultyEnv::Op::kClose, path_)) {
      int error = errno;
      (void)file_->Close();
      errno = error;
      return false;
    }
    return file_->Close();
  }
  bool SetMode(uint32_t mode) override { return file_->SetMode(mode); }
  bool LockFirstByte(int wait_milliseconds) override {
    return file_->LockFirstByte(wait_milliseconds);
  }
  void UnlockFirstByte() override { file_->UnlockFirstByte(); }

 private:
  FaultyEnv& env_;
  std::string path_;
  platform::FilePtr file_;
  bool flow_;  // a flow file opened for appending
};

class FaultyOwnDirectory : public platform::OwnDirectory {
 public:
  FaultyOwnDirectory(FaultyEnv& env, std::string path, platform::OwnDirectoryPtr dir)
      : env_(env), path_(std::move(path)), dir_(std::move(dir)) {}

  bool List(std::vector<platform::DirEntry>& entries) override { return dir_->List(entries); }
  bool Remove(const std::string& name) override {
    return !env_.ShouldFail(FaultyEnv::Op::kDelete, path_ + "/" + name) && dir_->Remove(name);
  }
  bool MoveIn(const std::string& from, const std::string& name) override {
    return !env_.ShouldFail(FaultyEnv::Op::kMove, path_ + "/" + name) && dir_->MoveIn(from, name);
  }

 private:
  FaultyEnv& env_;
  std::string path_;
  platform::OwnDirectoryPtr dir_;
};

}  // namespace

FaultyEnv::FaultyEnv() : EnvWrapper(&platform::DefaultEnv()) {}


void FaultyEnv::CheckOurFlagStands(const std::string& flow_path) {
  const std::string flag = flow_path.substr(0, flow_path.size() - 3) + "bsy";
  std::string text;
  const std::string ours = "pelix " + std::to_string(CurrentPid()) + "\n";
  if (platform::ReadWholeFile(*target(), flag, text, 256) && text == ours) return;
  std::fprintf(stderr, "FaultyEnv: %s opened for a flow line without our busy flag %s\n",
               flow_path.c_str(), flag.c_str());
  std::abort();
}

void FaultyEnv::Fail(Op op, int nth, std::string path_part, int count, int error) {
  rules_.push_back({op, std::move(path_part), nth - 1, count, error});
}

int FaultyEnv::failures(Op op) const { return failures_[static_cast<int>(op)]; }

bool FaultyEnv::ShouldFail(Op op, const std::string& path) {
  for (Rule& rule : rules_) {
    if (rule.op != op || rule.count == 0) continue;
    if (path.find(rule.path_part) == std::string::npos) continue;
    if (rule.skip > 0) {
      --rule.skip;
      continue;
    }
    if (rule.count > 0) --rule.count;
    ++failures_[static_cast<int>(op)];
    errno = rule.error;
    return true;
  }
  return false;
}

platform::FilePtr FaultyEnv::Open(const std::string& path, platform::OpenMode mode,
                                  bool* exists) {
  using platform::OpenMode;
  const bool creates = mode == OpenMode::kAppend || mode == OpenMode::kAppendOwnLink ||
                       mode == OpenMode::kTruncate ||
                       mode == OpenMode::kCreateNew || mode == OpenMode::kCreateExact;
  if (creates && ShouldFail(Op::kCreate, path)) {
    if (exists) *exists = false;
    return nullptr;
  }
  if (mode == OpenMode::kAppend && IsFlowFile(path)) CheckOurFlagStands(path);
  const bool reads = mode == OpenMode::kRead || mode == OpenMode::kReadNoFollow;
  if (reads && ShouldFail(Op::kRead, path)) return nullptr;
  platform::FilePtr file = EnvWrapper::Open(path, mode, exists);
  if (!file) return nullptr;
  const bool flow = mode == OpenMode::kAppend && IsFlowFile(path);
  return std::make_unique<FaultyFile>(*this, path, std::move(file), flow);
}

std::vector<platform::DirEntry> FaultyEnv::FindFiles(const std::string& pattern) {
  if (ShouldFail(Op::kList, pattern)) return {};
  return EnvWrapper::FindFiles(pattern);
}

bool FaultyEnv::ListFiles(const std::string& pattern, std::vector<platform::DirEntry>& found) {
  found.clear();
  if (ShouldFail(Op::kList, pattern)) return false;
  return EnvWrapper::ListFiles(pattern, found);
}

bool FaultyEnv::CopyFile(const std::string& from, const std::string& to,
                         platform::Durability durability) {
  if (ShouldFail(Op::kCopy, to)) return false;
  return EnvWrapper::CopyFile(from, to, durability);
}

bool FaultyEnv::MoveFile(const std::string& from, const std::string& to) {
  if (ShouldFail(Op::kMove, to)) return false;
  return EnvWrapper::MoveFile(from, to);
}

bool FaultyEnv::ReplaceFile(const std::string& from, const std::string& to) {
  if (ShouldFail(Op::kReplace, to)) return false;
  return EnvWrapper::ReplaceFile(from, to);
}

bool FaultyEnv::DeleteFile(const std::string& path) {
  if (ShouldFail(Op::kDelete, path)) return false;
  return EnvWrapper::DeleteFile(path);
}

bool FaultyEnv::MakeDirectory(const std::string& path) {
  if (ShouldFail(Op::kMakeDirectory, path)) return false;
  return EnvWrapper::MakeDirectory(path);
}

platform::OwnDirectoryPtr FaultyEnv::OpenOwnDirectory(const std::string& path, bool make) {
  platform::OwnDirectoryPtr dir = EnvWrapper::OpenOwnDirectory(path, make);
  if (!dir) return nullptr;
  return std::make_unique<FaultyOwnDirectory>(*this, path, std::move(dir));
}

bool FaultyEnv::SyncFileSystems(const std::vector<std::string>& paths) {
  for (const std::string& path : paths)
    if (ShouldFail(Op::kSync, path)) return false;
  return EnvWrapper::SyncFileSystems(paths);
}

bool FaultyEnv::LinkFile(const std::string& from, const std::string& to) {
  if (ShouldFail(Op::kLink, to)) return false;
  return EnvWrapper::LinkFile(from, to);
}

bool FaultyEnv::CanDelete(const std::string& path) {
  if (ShouldFail(Op::kCanDelete, path)) return false;
  return EnvWrapper::CanDelete(path);
}

bool FaultyEnv::ProcessExists(int pid) {
  if (!live_ || pid == CurrentPid()) return EnvWrapper::ProcessExists(pid);
  return live_->count(pid) > 0;
}

std::string FaultyEnv::ForeignOwner(const std::string& dir) {
  return foreign_owner_.empty() ? EnvWrapper::ForeignOwner(dir) : foreign_owner_;
}

platform::FlagClaim FaultyEnv::ClaimProcessFlag(const std::string& path) {
  if (ShouldFail(Op::kCreate, path)) {
    platform::FlagClaim claim;
    claim.error = errno;
    return claim;
  }
  return EnvWrapper::ClaimProcessFlag(path);
}

void FaultyEnv::UseFakeClock(int64_t utc_seconds) { clock_ = utc_seconds; }

int64_t FaultyEnv::UtcSeconds() { return clock_ ? *clock_ : EnvWrapper::UtcSeconds(); }

void FaultyEnv::SleepMilliseconds(int milliseconds) {
  if (on_sleep_) on_sleep_();
  slept_ms_ += milliseconds;
  if (!clock_) return EnvWrapper::SleepMilliseconds(milliseconds);
  // Whole seconds pass once enough sleeping has added up.
  *clock_ = *clock_ + (slept_ms_ / 1000) - ((slept_ms_ - milliseconds) / 1000);
}
