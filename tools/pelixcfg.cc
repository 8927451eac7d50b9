// pelixcfg: writes a node's configuration from its text form, shows it, and
// changes links, echoes and subscriptions in place (tools/pelixcfg_command.h).
#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tools/pelixcfg_command.h"

int main(int argc, char** argv) {
  PelixcfgOutput output;
  const int status =
      RunPelixcfg(platform::DefaultEnv(), std::vector<std::string>(argv + 1, argv + argc), output);
  std::fwrite(output.out.data(), 1, output.out.size(), stdout);
  std::fwrite(output.err.data(), 1, output.err.size(), stderr);
  return status;
}
