// The name of each outgoing TIC: "px" and the node's next TIC number in six
// digits, the first such name after the last one used that no file of the
// TIC outbound has in any letter case.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/outbound/unnamed_tics.h"
#include "processor/serials.h"

// Creates the next outgoing TIC in `dir` (the TIC outbound, with its
// closing separator), noted in `made` first; nullptr when it cannot be
// created (its number could not be written ahead, every name is taken).
// `path` is its name. `made_before`, when given, is a TIC this
// run made there a moment ago and nothing can have removed yet (no flow
// line names it): its name is known to be taken without a look.
[[nodiscard]] platform::FilePtr CreateNextTicFile(platform::Env& env, Log& log, Serials& serials,
                                                  MadeTics& made, const std::string& dir,
                                                  std::string& path,
                                                  const std::string& made_before = {});

