#include "processor/tic/inbound_tics.h"

#include <utility>

#include "common/text_helpers.h"
#include "processor/tic/tic_reader.h"

void InboundTics::ReadAll() {
  read_ = true;
  for (const platform::DirEntry& entry : env_.FindFiles(inbound_dir_ + "*.tic")) {
    if (entry.is_directory) continue;
    TicRecord tic;
    // One that cannot be read whole names nothing a refusal must leave.
    if (ReadTic(env_, inbound_dir_ + entry.name, tic) != TicText::kRead) continue;
    tics_of_file_[ToLowerAscii(tic.file)].push_back(entry.name);
  }
}

bool InboundTics::NamedByAnother(const std::string& file, const std::string& own_tic) {
  if (!read_) ReadAll();
  const auto found = tics_of_file_.find(ToLowerAscii(file));
  if (found == tics_of_file_.end()) return false;
  std::vector<std::string>& tics = found->second;
  // Those found gone are dropped, so each costs one look in the whole pass.
  for (size_t i = 0; i < tics.size();) {
    if (tics[i] == own_tic) {
      ++i;
      continue;
    }
    if (env_.ExistsExactly(inbound_dir_ + tics[i])) return true;
    tics[i] = std::move(tics.back());
    tics.pop_back();
  }
  return false;
}
