#include "processor/outbound/tic_names.h"

namespace {

// "px" and six digits: the serial printed with "%08u", cut to eight
// characters, its first two overwritten.
std::string TicName(uint32_t serial) {
  std::string name = Format("%08u", serial).substr(0, 8);
  name[0] = 'p';
  name[1] = 'x';
  return name + ".tic";
}

}  // namespace

uint32_t SerialsSharingName(uint32_t serial) {
  uint32_t divisor = 1;
  for (uint64_t limit = 100000000; serial >= limit && divisor < 100; limit *= 10) divisor *= 10;
  return divisor - 1 - serial % divisor;
}

platform::FilePtr CreateNextTicFile(platform::Env& env, Log& log, Serials& serials, MadeTics& made,
                                   const std::string& dir, std::string& path,
                                   const std::string& made_before) {
  while (true) {
    const uint32_t serial = serials.Next();
    path = dir + TicName(serial);
    if (path != made_before && env.NameFree(path)) {
      // Free in every letter case a moment ago: made in this one only if it
      // is still free in it, with no second look for the others.
      // Noted first: a run killed at any moment after leaves it noted.
      made.Note(log, path);
      bool taken = false;
      platform::FilePtr tic = env.Open(path, platform::OpenMode::kCreateExact, &taken);
      if (tic) return tic;
      // A TIC outbound that is not there yet is made, as the queue and the
      // file areas are, rather than stopping every run that forwards a file.
      if (!taken && !dir.empty() && !env.IsDirectory(dir) && env.MakeDirectory(dir))
        tic = platform::OpenNewFile(env, path, taken);
      if (tic) return tic;
      // Not another program taking the name meanwhile: no TIC can be made.
      if (!taken) return nullptr;
    }
    // Every following serial that gives this name would find it taken too.
    serials.Skip(SerialsSharingName(serial));
  }
}
