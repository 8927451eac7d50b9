#include "platform/exit_cleanup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace platform {
namespace {

// Fixed storage: the handler may only touch what is async-signal-safe.
// The flags of a group of TICs going to many destinations, and
// the side file of each outbound directory; a flag that finds no slot is
// not kept past its export.
constexpr int kSlots = 80;
char slot_paths[kSlots][kMaxCleanupPath];
volatile sig_atomic_t slot_armed[kSlots] = {};

char program_flag_path[kMaxCleanupPath];
volatile sig_atomic_t program_flag_armed = 0;
dev_t program_flag_device = 0;
ino_t program_flag_inode = 0;
int program_flag_fd = -1;

constexpr int kCleanedUpSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void RemoveSlots() {
  for (int i = 0; i < kSlots; ++i)
    if (slot_armed[i]) {
      slot_armed[i] = 0;
      ::unlink(slot_paths[i]);
    }
}

// The name still stands for the flag we made: a flag removed by hand and
// claimed by another process since is never taken from it.
bool NamesOurFlag() {
  struct stat st;
  return ::stat(program_flag_path, &st) == 0 && st.st_dev == program_flag_device &&
         st.st_ino == program_flag_inode;
}

extern "C" void OnInterrupt(int sig) {
  RemoveSlots();
  if (program_flag_armed && NamesOurFlag()) ::unlink(program_flag_path);
  ::signal(sig, SIG_DFL);
  ::raise(sig);
}

}  // namespace

SignalsHeld::SignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (int sig : kCleanedUpSignals) sigaddset(&held, sig);
  ::sigprocmask(SIG_BLOCK, &held, &previous_);
}

SignalsHeld::~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &previous_, nullptr); }

ExitCleanup& ExitCleanup::OfProcess() {
  static ExitCleanup cleanup;
  return cleanup;
}

// A slot is filled before it is armed, and disarmed with one store: a
// signal at any moment finds each slot whole or not armed, so neither needs
// the signals held.
bool ExitCleanup::Add(const std::string& native_path) {
  if (native_path.size() >= kMaxCleanupPath) return false;
  for (int i = 0; i < kSlots; ++i)
    if (!slot_armed[i]) {
      std::memcpy(slot_paths[i], native_path.c_str(), native_path.size() + 1);
      slot_armed[i] = 1;
      return true;
    }
  return false;
}

void ExitCleanup::Forget(const std::string& native_path) {
  for (int i = 0; i < kSlots; ++i)
    if (slot_armed[i] && native_path == slot_paths[i]) slot_armed[i] = 0;
}

void ExitCleanup::RemoveAll() {
  SignalsHeld held;
  RemoveSlots();
  (void)ReleaseProgramFlag();
}

void ExitCleanup::SetProgramFlag(const std::string& native_path, dev_t device, ino_t inode,
                                 int fd) {
  std::memcpy(program_flag_path, native_path.c_str(), native_path.size() + 1);
  program_flag_device = device;
  program_flag_inode = inode;
  program_flag_fd = fd;
  program_flag_armed = 1;
  for (int sig : kCleanedUpSignals) ::signal(sig, OnInterrupt);
}

bool ExitCleanup::HoldsProgramFlag() const { return program_flag_armed != 0; }

bool ExitCleanup::ReleaseProgramFlag() {
  if (!program_flag_armed) return true;
  SignalsHeld held;
  program_flag_armed = 0;
  bool removed = NamesOurFlag() && ::unlink(program_flag_path) == 0;
  ::close(program_flag_fd);
  program_flag_fd = -1;
  return removed;
}

}  // namespace platform
