#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // The one place an exception is caught: an allocation that fails without
  // reaching the new-handler (an array size out of range) ends the run as
  // any other lack of memory does.
  try {
    return RunPelix(platform::DefaultEnv(), arguments);
  } catch (const std::bad_alloc&) {
    OutOfMemoryExit();
  }
}
