#include "processor/tic_name_search.h"

#include "common/text_helpers.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

// "px" and six digits: the serial printed with "%08u", cut to eight
// characters, its first two overwritten.
std::string TicName(uint32_t serial) {
  std::string name = Format("%08u", serial).substr(0, 8);
  name[0] = 'p';
  name[1] = 'x';
  return name + ".tic";
}

bool LooksLikeTicName(const std::string& folded) {
  return folded.size() == 12 && folded.compare(0, 2, "px") == 0 &&
         folded.compare(8, 4, ".tic") == 0;
}

// The names of the TIC outbound that a search can meet, folded to lower
// case, each with the letter case it has on disk.
void ListTicOutbound(const std::string& dir) {
  RunState& state = State();
  state.tic_names.clear();
  state.tic_names_dir = dir;
  state.tic_names_listed = true;
  std::vector<platform::DirEntry> entries;
  {
    platform::CriticalErrorsOff quiet;
    entries = platform::FindFiles(dir + "px*.tic");
  }
  for (const platform::DirEntry& entry : entries) {
    std::string folded = ToLowerAscii(entry.name);
    if (LooksLikeTicName(folded)) state.tic_names.emplace(std::move(folded), entry.name);
  }
}

// True when a file of the TIC outbound has `name` in some letter case.
bool NameTaken(const std::string& dir, const std::string& name) {
  auto& names = State().tic_names;
  auto listed = names.find(name);
  if (listed == names.end()) return false;
  if (platform::ExistsExactly(dir + listed->second)) return true;
  // Sent and removed by the mailer; another letter case may still be there.
  names.erase(listed);
  if (!platform::Exists(dir + name)) return false;
  names.emplace(name, name);
  return true;
}

}  // namespace

uint32_t SerialsSharingName(uint32_t serial) {
  uint32_t divisor = 1;
  for (uint64_t limit = 100000000; serial >= limit && divisor < 100; limit *= 10) divisor *= 10;
  return divisor - 1 - serial % divisor;
}

platform::FilePtr CreateNextTicFile(const std::string& dir, std::string& path) {
  RunState& state = State();
  if (!state.tic_names_listed || state.tic_names_dir != dir) {
    // A TIC outbound that is not there yet is made, as the queue and the
    // file areas are, rather than stopping every run that forwards a file.
    // A directory that cannot be made shows as the TIC that cannot be.
    if (!dir.empty()) (void)platform::MakeDirectory(dir);
    ListTicOutbound(dir);
  }
  while (true) {
    const uint32_t serial = NextSerial();
    const std::string name = TicName(serial);
    path = dir + name;
    if (!NameTaken(dir, name)) {
      bool taken = false;
      platform::FilePtr tic =
          platform::CurrentEnv().Open(path, platform::OpenMode::kCreateExact, &taken);
      if (tic) {
        state.tic_names.emplace(name, name);
        return tic;
      }
      // Not another program taking the name meanwhile: no TIC can be made.
      if (!taken) return nullptr;
      state.tic_names.emplace(name, name);
    }
    // Every following serial that gives this name would find it taken too.
    state.serial_counter += SerialsSharingName(serial);
  }
}

void ForgetTicName(const std::string& path) {
  RunState& state = State();
  const size_t cut = path.find_last_of("\\/");
  const std::string name = path.substr(cut == std::string::npos ? 0 : cut + 1);
  if (path.compare(0, path.size() - name.size(), state.tic_names_dir) == 0)
    state.tic_names.erase(ToLowerAscii(name));
}
