#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "processor/hatch.h"
#include "processor/log.h"

namespace {

constexpr int kExitUsage = 3;

int Usage() {
  ConsoleOut("Usage: pelix-hatch [--replaces NAME] [--ldesc-file F] FILE AREA [DESC]\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  HatchRequest request;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "--replaces" || argument == "--ldesc-file") && i + 1 < argc) {
      (argument == "--replaces" ? request.replaces : request.ldesc_file) = argv[++i];
    } else if (argument.rfind("--", 0) == 0 && argument.size() > 2) {
      return Usage();
    } else {
      plain.push_back(argument);
    }
  }
  if (plain.size() < 2 || plain.size() > 3) return Usage();
  request.file = plain[0];
  request.area = plain[1];
  if (plain.size() == 3) {
    request.desc = plain[2];
    request.desc_given = true;
  }
  // As in pelix: an allocation that fails without reaching the new-handler
  // ends the run as any other lack of memory does.
  try {
    return HatchFile(platform::DefaultEnv(), request, std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::bad_alloc&) {
    OutOfMemoryExit();
  }
}
