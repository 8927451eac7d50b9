// Runs pelix's whole run sequence in a child process with a test's Env in
// place: the failures a FaultyEnv injects reach every pass, and a fatal
// stop ends only the child.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/temp_node.h"

RunResult RunPelixWith(platform::Env& env, const TempNode& node,
                       const std::vector<std::string>& arguments = {});
