// Whole-file operations built on an Env, so that a test's injected failure
// reaches them as it reaches every other caller.
#include <cerrno>

#include "platform/platform.h"

namespace platform {

std::string SideFileName(const std::string& target, int attempt) {
  const size_t cut = target.find_last_of("\\/");
  const size_t name_at = cut == std::string::npos ? 0 : cut + 1;
  std::string side = target.substr(0, name_at) + "~" + target.substr(name_at);
  if (attempt > 0) side += "." + std::to_string(attempt);
  return side;
}

namespace {

// A new side file of `path`, under the first of its side names that is
// free; nullptr when none can be made.
FilePtr CreateSideFile(Env& env, const std::string& path, std::string& side) {
  for (int n = 0; n < 1000; ++n) {
    side = SideFileName(path, n);
    bool taken = false;
    // Side names are pelix's own, so only this letter case can be taken.
    FilePtr file = env.Open(side, OpenMode::kCreateExact, &taken);
    if (file || !taken) return file;
  }
  return nullptr;
}

}  // namespace

bool CreateExclusive(Env& env, const std::string& path) {
  FilePtr file = env.Open(path, OpenMode::kCreateNew);
  return file && file->Close();
}

bool CreateFlagHolding(Env& env, const std::string& path, std::string_view text, bool& exists) {
  exists = false;
  std::string side;
  FilePtr file = CreateSideFile(env, path, side);
  if (!file) return false;
  bool ok = file->Write(text);
  ok = file->Close() && ok;
  if (ok && !env.LinkFile(side, path)) {
    ok = false;
    exists = env.Exists(path);
  }
  // The side file is only the way in; a failure to remove it leaves a
  // "~" name that no flag search matches.
  (void)env.DeleteFile(side);
  return ok;
}

bool ReadWholeFile(Env& env, const std::string& path, std::string& bytes, size_t limit,
                   OpenMode mode) {
  bytes.clear();
  FilePtr file = env.Open(path, mode);
  if (!file) return false;
  char buffer[1 << 16];
  while (true) {
    size_t got = 0;
    if (!file->Read(buffer, sizeof buffer, got)) return false;
    if (got == 0) break;
    if (bytes.size() + got > limit) {
      errno = EFBIG;
      return false;
    }
    bytes.append(buffer, got);
  }
  return file->Close();
}

bool ReadBytes(File& file, size_t count, std::string& bytes) {
  bytes.resize(count);
  size_t have = 0;
  while (have < bytes.size()) {
    size_t got = 0;
    if (!file.Read(bytes.data() + have, bytes.size() - have, got)) return false;
    if (got == 0) break;
    have += got;
  }
  bytes.resize(have);
  return true;
}

bool ReadFileIfPresent(Env& env, const std::string& path, std::string& bytes, bool& present,
                       size_t limit) {
  present = ReadWholeFile(env, path, bytes, limit);
  if (present) return true;
  bytes.clear();
  return errno == ENOENT;
}

bool WriteWholeFile(Env& env, const std::string& path, const std::string& bytes) {
  FilePtr file = env.Open(path, OpenMode::kTruncate);
  if (!file) return false;
  bool ok = file->Write(bytes);
  return file->Close() && ok;
}

bool AppendToFile(Env& env, const std::string& path, std::string_view bytes) {
  FilePtr file = env.Open(path, OpenMode::kAppend);
  if (!file) return false;
  bool ok = file->Write(bytes);
  return file->Close() && ok;
}

bool RewriteFile(Env& env, const std::string& path, std::string_view bytes,
                 uint32_t new_file_mode, RewriteStep* failed) {
  RewriteStep unused;
  RewriteStep& step = failed ? *failed : unused;
  step = RewriteStep::kCreate;
  std::string side;
  FilePtr file = CreateSideFile(env, path, side);
  if (!file) return false;
  step = RewriteStep::kWrite;
  // Set before a byte is written: a file of passwords is never readable by
  // others, not even for a moment.
  uint32_t mode = new_file_mode;
  const bool replaces = env.ModeOf(path, mode);
  bool ok = (!replaces && new_file_mode == kDefaultFileMode) || file->SetMode(mode);
  ok = ok && file->Write(bytes);
  ok = ok && file->Sync();
  ok = file->Close() && ok;
  ok = ok && env.ReplaceFile(side, path);
  if (!ok) {
    const int error = errno;
    (void)env.DeleteFile(side);
    errno = error;
    return false;
  }
  step = RewriteStep::kNone;
  return true;
}

}  // namespace platform
