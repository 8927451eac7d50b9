// Whole-file operations built on the current Env, so that a test's injected
// failure reaches them as it reaches every other caller.
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
FilePtr CreateSideFile(const std::string& path, std::string& side) {
  for (int n = 0; n < 1000; ++n) {
    side = SideFileName(path, n);
    bool taken = false;
    // Side names are pelix's own, so only this letter case can be taken.
    FilePtr file = CurrentEnv().Open(side, OpenMode::kCreateExact, &taken);
    if (file || !taken) return file;
  }
  return nullptr;
}

}  // namespace

bool CreateExclusive(const std::string& path) {
  FilePtr file = CurrentEnv().Open(path, OpenMode::kCreateNew);
  return file && file->Close();
}

bool CreateFlagHolding(const std::string& path, std::string_view text, bool& exists) {
  Env& env = CurrentEnv();
  exists = false;
  std::string side;
  FilePtr file = CreateSideFile(path, side);
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

bool ReadWholeFile(const std::string& path, std::string& bytes, size_t limit, OpenMode mode) {
  bytes.clear();
  FilePtr file = CurrentEnv().Open(path, mode);
  if (!file) return false;
  char buffer[1 << 16];
  while (true) {
    size_t got = 0;
    if (!file->Read(buffer, sizeof buffer, got)) return false;
    if (got == 0) break;
    if (bytes.size() + got > limit) return false;
    bytes.append(buffer, got);
  }
  return file->Close();
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  FilePtr file = CurrentEnv().Open(path, OpenMode::kTruncate);
  if (!file) return false;
  bool ok = file->Write(bytes);
  return file->Close() && ok;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  FilePtr file = CurrentEnv().Open(path, OpenMode::kAppend);
  if (!file) return false;
  bool ok = file->Write(bytes);
  return file->Close() && ok;
}

bool RewriteFile(const std::string& path, std::string_view bytes) {
  Env& env = CurrentEnv();
  std::string side;
  FilePtr file = CreateSideFile(path, side);
  if (!file) return false;
  bool ok = file->Write(bytes);
  ok = ok && file->Sync();
  ok = file->Close() && ok;
  ok = ok && env.ReplaceFile(side, path);
  if (!ok) (void)env.DeleteFile(side);
  return ok;
}

}  // namespace platform
