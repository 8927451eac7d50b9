// pelixcfg's command line, run on a given Env: main hands it the real
// system, the tests a FaultyEnv, and both get what it would print.
//
//   pelixcfg [-C DIR] dump [DIR]
//   pelixcfg [-C DIR] [--force] write DESCRIPTION [DIR]
//   pelixcfg [-C DIR] list links|echoes
//   pelixcfg [-C DIR] link add|set|remove ADDRESS [KEY=VALUE...]
//   pelixcfg [-C DIR] echo add|set|remove TAG [DESCRIPTION | KEY=VALUE...]
//   pelixcfg [-C DIR] subscribe ADDRESS TAG receive|send|both
//   pelixcfg [-C DIR] unsubscribe ADDRESS TAG
//
// Every command that writes does so under pelix.bsy, as pelix does, and
// refuses before writing anything when root runs it in another user's node.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The exit statuses; a root refusal ends with kExitNotNodeOwner
// (common/node_owner.h).
enum PelixcfgStatus {
  kPelixcfgDone = 0,
  // A file that cannot be read or written, a description with an error, a
  // change that makes no sense (the message says which).
  kPelixcfgFailed = 1,
  kPelixcfgUsage = 2,
  // The files changed since the description was dumped, or a description
  // without a fingerprint would replace files already there.
  kPelixcfgChanged = 3,
  kPelixcfgNoBusyFlag = 4,  // pelix.bsy cannot be made
  kPelixcfgBusy = 5,        // another program of the node holds pelix.bsy
};

struct PelixcfgOutput {
  std::string out;  // standard output
  std::string err;  // standard error
};

int RunPelixcfg(platform::Env& env, const std::vector<std::string>& arguments,
                PelixcfgOutput& output);
