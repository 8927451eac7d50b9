// pelixcfg: writes a configuration from its text form, or prints the text
// form of the configuration in a directory.
//
//   pelixcfg write DESCRIPTION [DIR]
//   pelixcfg dump [DIR]
#include <cstdio>
#include <string>

#include "platform/platform.h"
#include "tools/config_text.h"

namespace {

std::string DirArgument(int argc, char** argv, int index) {
  if (argc <= index) return "";
  std::string dir = argv[index];
  if (!dir.empty() && dir.back() != '/') dir += '/';
  return dir;
}

int Usage() {
  std::fputs("usage: pelixcfg write DESCRIPTION [DIR]\n       pelixcfg dump [DIR]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  std::string error;
  ConfigText config;
  if (command == "write" && argc >= 3) {
    std::string text;
    if (!platform::ReadWholeFile(platform::DefaultEnv(), argv[2], text)) {
      std::fprintf(stderr, "pelixcfg: cannot read %s\n", argv[2]);
      return 1;
    }
    if (!ParseConfigText(text, config, error)) {
      std::fprintf(stderr, "pelixcfg: %s: %s\n", argv[2], error.c_str());
      return 1;
    }
    if (!WriteConfigFiles(config, DirArgument(argc, argv, 3))) {
      std::fputs("pelixcfg: cannot write the configuration files\n", stderr);
      return 1;
    }
    return 0;
  }
  if (command == "dump") {
    if (!ReadConfigFiles(DirArgument(argc, argv, 2), config, error)) {
      std::fprintf(stderr, "pelixcfg: %s\n", error.c_str());
      return 1;
    }
    std::fputs(FormatConfigText(config).c_str(), stdout);
    return 0;
  }
  return Usage();
}
