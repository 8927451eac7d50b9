// The Env that setup's configuration I/O reaches through a global, until
// setup hands its Env down from its entry as pelix does. Tests put a
// wrapper in place for a scope.
#pragma once

#include "platform/platform.h"

namespace platform {

// DefaultEnv() unless a test set another; nullptr returns to the default.
Env& CurrentEnv();
void SetEnv(Env* env);

class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(&CurrentEnv()) { SetEnv(env); }
  ~ScopedEnv() { SetEnv(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace platform
