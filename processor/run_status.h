// How a step that may end the run ended: the run goes on, or it ends with
// the exit status of a fatal condition, already logged. Handed up to the
// run sequence, which ends the run; nothing below it leaves the process.
#pragma once

class [[nodiscard]] RunStatus {
 public:
  static RunStatus GoOn() { return RunStatus(); }
  static RunStatus End(int exit_status) {
    RunStatus status;
    status.ends_ = true;
    status.exit_status_ = exit_status;
    return status;
  }

  bool ends() const { return ends_; }
  int exit_status() const { return exit_status_; }

 private:
  bool ends_ = false;
  int exit_status_ = 0;
};
