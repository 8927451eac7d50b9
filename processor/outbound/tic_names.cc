#include "processor/outbound/tic_names.h"

#include <cerrno>

platform::FilePtr CreateNextTicFile(platform::Env& env, Log& log, Serials& serials, MadeTics& made,
                                   const std::string& dir, std::string& path,
                                   const std::string& made_before) {
  // Every name once at the most: all taken, no TIC can be made.
  for (uint32_t tries = 0; tries < kTicNumbers; ++tries) {
    uint32_t number = 0;
    if (!serials.NextTicNumber(log, number)) return nullptr;
    path = dir + Format("px%06u.tic", number);
    if (path == made_before || !env.NameFree(path)) continue;
    // Free in every letter case a moment ago: made in this one only if it
    // is still free in it, with no second look for the others.
    // Noted first: a run killed at any moment after leaves it noted.
    made.Note(log, path);
    bool taken = false;
    platform::FilePtr tic = env.Open(path, platform::OpenMode::kCreateExact, &taken);
    if (tic) return tic;
    // A TIC outbound that is not there yet is made, as the queue and the
    // file areas are, rather than stopping every run that forwards a file.
    if (!taken && !dir.empty() && !env.IsDirectory(dir)) {
      const int error = errno;  // the reason to give if the directory cannot be made
      if (env.MakeDirectory(dir))
        tic = platform::OpenNewFile(env, path, taken);
      else
        errno = error;
    }
    if (tic) return tic;
    // Not another program taking the name meanwhile: no TIC can be made.
    if (!taken) return nullptr;
  }
  errno = ENOSPC;
  return nullptr;
}
