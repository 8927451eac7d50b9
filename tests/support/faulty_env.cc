#include "tests/support/faulty_env.h"

#include <cerrno>

namespace {

// Passes everything to the real file but the writes and syncs the rules
// make fail.
class FaultyFile : public platform::File {
 public:
  FaultyFile(FaultyEnv& env, std::string path, platform::FilePtr file)
      : env_(env), path_(std::move(path)), file_(std::move(file)) {}

  bool Read(char* buffer, size_t size, size_t& got) override {
    return file_->Read(buffer, size, got);
  }
  bool Write(std::string_view bytes) override {
    if (env_.ShouldFail(FaultyEnv::Op::kWrite, path_)) {
      int error = errno;
      // A disk that fills up takes part of the last write.
      (void)file_->Write(bytes.substr(0, bytes.size() / 2));
      errno = error;
      return false;
    }
    return file_->Write(bytes);
  }
  bool Seek(int64_t offset) override { return file_->Seek(offset); }
  bool Size(int64_t& size) override { return file_->Size(size); }
  bool Truncate(int64_t size) override { return file_->Truncate(size); }
  bool Sync() override {
    if (env_.ShouldFail(FaultyEnv::Op::kSync, path_)) return false;
    return file_->Sync();
  }
  bool Close() override { return file_->Close(); }
  bool SetMode(uint32_t mode) override { return file_->SetMode(mode); }
  bool LockFirstByte(int wait_milliseconds) override {
    return file_->LockFirstByte(wait_milliseconds);
  }
  void UnlockFirstByte() override { file_->UnlockFirstByte(); }

 private:
  FaultyEnv& env_;
  std::string path_;
  platform::FilePtr file_;
};

}  // namespace

FaultyEnv::FaultyEnv() : EnvWrapper(&platform::DefaultEnv()), failures_(10, 0) {}

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
  const bool creates = mode == OpenMode::kAppend || mode == OpenMode::kTruncate ||
                       mode == OpenMode::kCreateNew || mode == OpenMode::kCreateExact;
  if (creates && ShouldFail(Op::kCreate, path)) {
    if (exists) *exists = false;
    return nullptr;
  }
  platform::FilePtr file = EnvWrapper::Open(path, mode, exists);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(*this, path, std::move(file));
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
  slept_ms_ += milliseconds;
  if (!clock_) return EnvWrapper::SleepMilliseconds(milliseconds);
  // Whole seconds pass once enough sleeping has added up.
  *clock_ = *clock_ + (slept_ms_ / 1000) - ((slept_ms_ - milliseconds) / 1000);
}
