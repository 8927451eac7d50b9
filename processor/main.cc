#include <string>
#include <vector>

#include "processor/run.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return RunPelix(arguments);
}
