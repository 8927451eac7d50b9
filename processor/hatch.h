// Originating a file into an echo from this node: the file goes out as if it
// had arrived with a TIC from nowhere, through the same export as an
// accepted one. The original file is only read.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

struct HatchRequest {
  std::string file;        // as given: absolute or relative to the node dir
  std::string area;        // the echo's tag
  std::string desc;
  // Without a DESC the description comes from the file's FILE_ID.DIZ.
  bool desc_given = false;
  std::string replaces;    // empty: no Replaces line
  std::string ldesc_file;  // empty: no Ldesc lines
};

// Exit statuses besides those of any pelix run (1, 2, 3, 7 as there).
inline constexpr int kHatchBusy = 5;
inline constexpr int kHatchUnknownEcho = 6;
inline constexpr int kHatchUnsafeName = 8;
inline constexpr int kHatchNoFile = 9;

// Runs in the node directory under pelix.bsy; returns the exit status.
// `arguments` are the command line's, for a refusal to say how to run it.
int HatchFile(platform::Env& env, const HatchRequest& request,
              const std::vector<std::string>& arguments);
