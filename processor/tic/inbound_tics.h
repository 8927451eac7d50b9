// Which TICs of the inbound name which file: a refused TIC leaves its file
// in the inbound while another TIC there still names it, so that a forged
// or broken TIC cannot carry off what a real one waits for. Every TIC is
// read for it once per pass, at the first question; reading every other
// TIC again for each refusal let a stranger's thousands of TICs hold the
// node for hours.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/platform.h"

class InboundTics {
 public:
  InboundTics(platform::Env& env, std::string inbound_dir)
      : env_(env), inbound_dir_(std::move(inbound_dir)) {}

  // True when a TIC of the inbound other than `own_tic` (a name there)
  // names `file`, ignoring letter case. A TIC that has left the inbound
  // since the listing no longer counts.
  bool NamedByAnother(const std::string& file, const std::string& own_tic);

 private:
  void ReadAll();

  platform::Env& env_;
  std::string inbound_dir_;
  bool read_ = false;
  // The File value, folded to lower case -> the TICs that give it.
  std::unordered_map<std::string, std::vector<std::string>> tics_of_file_;
};
