// What a process removes when it ends before its owner could: the
// program's own flag (pelix.bsy, claimed through Env::ClaimProcessFlag) and
// the outbound busy flags and side files it holds. An interrupt (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT) removes them in its handler, a fatal end
// through RemoveAll, so that no flag of a process that is gone holds the
// mailer or the next run away. There is one per process: a signal handler
// can reach nothing else, and all it touches is fixed storage.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <cstddef>

#include <string>

namespace platform {

// The longest path the clean-up can hold (its storage is fixed).
inline constexpr size_t kMaxCleanupPath = 4096;

class ExitCleanup {
 public:
  static ExitCleanup& OfProcess();

  // `native_path` is removed by an interrupt or RemoveAll from now on,
  // until Forget. False, with nothing armed, when every slot is taken or
  // the path is too long.
  [[nodiscard]] bool Add(const std::string& native_path);
  void Forget(const std::string& native_path);

  // Removes every file added, and the program flag while its name still
  // stands for the flag this process made: the last step of a process that
  // has to end at once.
  void RemoveAll();

  // The program flag, kept here by the Env that claims and releases it.
  // SetProgramFlag also installs the interrupt handler.
  void SetProgramFlag(const std::string& native_path, dev_t device, ino_t inode, int fd);
  bool HoldsProgramFlag() const;
  // Forgets the flag; true when its name still stood for it and was removed.
  bool ReleaseProgramFlag();

 private:
  ExitCleanup() = default;
};

}  // namespace platform

namespace platform {

// Holds the clean-up signals off for a scope, so that none can fall
// between a flag's creation and its clean-up being armed.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

}  // namespace platform
