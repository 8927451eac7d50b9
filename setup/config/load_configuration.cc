#include <cstdlib>
#include <new>
#include <string>

#include "platform/current_env.h"
#include "platform/platform.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"

namespace {

[[noreturn]] void RefuseStart(const char* text, const char* caption, int status) {
  ShowMessageBox(text, caption, MessageButtons::kOk, MessageIcon::kNone);
  ReleaseSetupBusyFlag();
  std::exit(status);
}

[[noreturn]] void EndWithoutConverting() {
  ReleaseSetupBusyFlag();
  std::exit(kExitVersionRefused);
}

// False when another program holds pelix.bsy. A flag left by a setup or a
// pelix that ended without removing it is cleared; a flag that cannot be
// made at all (a read-only folder) does not keep the sysop out.
bool ClaimBusyFlag() {
  const platform::FlagClaim claim = platform::CurrentEnv().ClaimProcessFlag(kSetupBusyFlag);
  if (claim.result == platform::FlagClaim::kBusy) return false;
  SetupState().busy_flag_held = claim.result == platform::FlagClaim::kClaimed;
  return true;
}

// Nothing is written here: the converted configuration reaches the disk only
// when the sysop saves at exit, so declining then means being asked again.
void ConvertOlderVersion(MainConfig& config) {
  if (ShowMessageBox("Convert configuration files ?", "Warning", MessageButtons::kYesNo,
                     MessageIcon::kQuestion) != MessageAnswer::kYes) {
    EndWithoutConverting();
  }
  switch (config.version) {
    case 2:
      // Version 2 kept the links in pelix.lnk, already in the pelix.nod
      // layout; an existing pelix.nod is not replaced, and without the
      // rename the links load from pelix.nod as it is.
      (void)platform::CurrentEnv().MoveFile(kOldLinksFile, kLinksFile);
      config.announce_to = 0;
      [[fallthrough]];
    case 3:
      config.files_bbs_counter = 0;
      config.aka_list.clear();
      break;
    default:
      if (ShowMessageBox("Incorect configuration version ID. Continue ?", "Warning",
                         MessageButtons::kYesNo,
                         MessageIcon::kExclamation) != MessageAnswer::kYes) {
        EndWithoutConverting();
      }
      break;
  }
}

void LoadMainConfig() {
  MainConfig& config = SetupState().config;
  std::string bytes;
  if (!platform::ReadWholeFile(platform::CurrentEnv(), kMainConfigFile, bytes)) {
    config = MainConfig{};
    config.version = kConfigVersion;
    return;
  }
  if (!HasConfigSignature(bytes)) {
    RefuseStart("File pelix.cfg is not a Pelix configuration file", "Fatal",
                kExitNotConfiguration);
  }
  config = ReadMainConfig(bytes);
  if (config.version != kConfigVersion) ConvertOlderVersion(config);
  config.version = kConfigVersion;
}

// A missing file leaves its list empty; a file that does not fit in memory
// ends the start with its own message.
template <typename Record, typename Reader>
void LoadRecordFile(EditList<Record>& list, const char* file, Reader read,
                    const char* no_memory_text) {
  try {
    std::string bytes;
    if (!platform::ReadWholeFile(platform::CurrentEnv(), file, bytes)) return;
    LoadList(list, read(bytes));
  } catch (const std::bad_alloc&) {
    RefuseStart(no_memory_text, "Error", kExitNoMemory);
  }
}

}  // namespace

void LoadConfiguration() {
  if (!ClaimBusyFlag()) {
    ShowMessageBox("Pelix is busy (remove pelix.bsy if no other Pelix program runs)", "Fatal",
                   MessageButtons::kOk, MessageIcon::kNone);
    std::exit(kExitBusy);
  }
  LoadMainConfig();
  SetupConfiguration& state = SetupState();
  LoadRecordFile(state.domain_list, kDomainsFile, ReadDomains,
                 "Not Enough memmory to load pelix.dmn.");
  LoadRecordFile(state.fileecho_list, kFileEchoesFile, ReadFileEchoes,
                 "Not Enough memmory to load pelix.fe.");
  LoadRecordFile(state.link_list, kLinksFile, ReadLinks,
                 "Not Enough memmory to load pelix.nod.");
  state.code_page = ReadCodePageChoice();
}
