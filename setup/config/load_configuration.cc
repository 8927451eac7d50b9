#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/node_options.h"
#include "common/node_owner.h"
#include "platform/platform.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"

namespace {

[[noreturn]] void RefuseStart(platform::Env& env, const std::string& text, const char* caption,
                              int status) {
  ShowMessageBox(text, caption, MessageButtons::kOk, MessageIcon::kNone);
  ReleaseSetupBusyFlag(env);
  std::exit(status);
}

[[noreturn]] void EndWithoutConverting(platform::Env& env) {
  ReleaseSetupBusyFlag(env);
  std::exit(kExitVersionRefused);
}

// False when another program holds pelix.bsy. A flag left by a setup or a
// pelix that ended without removing it is cleared; a flag that cannot be
// made at all (a read-only folder) does not keep the sysop out.
bool ClaimBusyFlag(platform::Env& env) {
  const platform::FlagClaim claim = env.ClaimProcessFlag(kSetupBusyFlag);
  if (claim.result == platform::FlagClaim::kBusy) return false;
  SetupState().busy_flag_held = claim.result == platform::FlagClaim::kClaimed;
  return true;
}

// Started by root in a node of another user, setup would leave files there
// that the node's owner (the mailer's user) could not replace: it refuses
// before anything is written, pelix.bsy included.
void RefuseForeignNode(platform::Env& env) {
  const std::string owner = env.ForeignOwner(".");
  if (owner.empty()) return;
  std::string text = NotNodeOwnerText(owner, "pelix-setup");
  // A console line; a box holds no line end.
  if (!text.empty() && text.back() == '\n') text.pop_back();
  ShowMessageBox(text, "Fatal", MessageButtons::kOk, MessageIcon::kNone);
  std::exit(kExitNotNodeOwner);
}

// Reads `file` whole; false when it is not there, as a configuration may
// lack any of its files. One that is there but cannot be read (another
// user's, an I/O error) ends the start: loaded as empty, it would be saved
// empty over the sysop's configuration.
bool ReadConfigurationFile(platform::Env& env, const char* file, std::string& bytes,
                           size_t limit = platform::kNoLimit) {
  if (platform::ReadWholeFile(env, file, bytes, limit)) return true;
  if (errno == ENOENT) return false;
  RefuseStart(env, std::string("Can't read ") + file + ", " + std::strerror(errno), "Fatal",
              kExitNotConfiguration);
}

// Nothing is written here: the converted configuration reaches the disk only
// when the sysop saves at exit, so declining then means being asked again.
void ConvertOlderVersion(platform::Env& env, MainConfig& config) {
  if (ShowMessageBox("Convert configuration files ?", "Warning", MessageButtons::kYesNo,
                     MessageIcon::kQuestion) != MessageAnswer::kYes) {
    EndWithoutConverting(env);
  }
  switch (config.version) {
    case 2:
      // Version 2 kept the links in pelix.lnk, already in the pelix.nod
      // layout; an existing pelix.nod is not replaced, and without the
      // rename the links load from pelix.nod as it is.
      (void)env.MoveFile(kOldLinksFile, kLinksFile);
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
        EndWithoutConverting(env);
      }
      break;
  }
}

void LoadMainConfig(platform::Env& env) {
  MainConfig& config = SetupState().config;
  std::string bytes;
  if (!ReadConfigurationFile(env, kMainConfigFile, bytes)) {
    config = MainConfig{};
    config.version = kConfigVersion;
    return;
  }
  if (!HasConfigSignature(bytes)) {
    RefuseStart(env, "File pelix.cfg is not a Pelix configuration file", "Fatal",
                kExitNotConfiguration);
  }
  config = ReadMainConfig(bytes);
  if (config.version != kConfigVersion) ConvertOlderVersion(env, config);
  config.version = kConfigVersion;
}

// A missing file leaves its list empty; a file that does not fit in memory
// ends the start with its own message, as does one that cannot be read.
template <typename Record, typename Reader>
void LoadRecordFile(platform::Env& env, EditList<Record>& list, const char* file, Reader read,
                    const char* no_memory_text) {
  try {
    std::string bytes;
    if (!ReadConfigurationFile(env, file, bytes)) return;
    LoadList(list, read(bytes));
  } catch (const std::bad_alloc&) {
    RefuseStart(env, no_memory_text, "Error", kExitNoMemory);
  }
}

// Kept line by line, so that the save gives back whatever setup does not
// edit.
void LoadNodeOptions(platform::Env& env) {
  SetupConfiguration& state = SetupState();
  std::string bytes;
  if (!ReadConfigurationFile(env, kNodeOptionsFile, bytes, kNodeOptionsSizeLimit)) return;
  state.node_options = IniDocument(bytes);
  state.node_options_read = bytes;
}

}  // namespace

void LoadConfiguration(platform::Env& env) {
  RefuseForeignNode(env);
  if (!ClaimBusyFlag(env)) {
    ShowMessageBox("Pelix is busy (remove pelix.bsy if no other Pelix program runs)", "Fatal",
                   MessageButtons::kOk, MessageIcon::kNone);
    std::exit(kExitBusy);
  }
  LoadMainConfig(env);
  SetupConfiguration& state = SetupState();
  LoadRecordFile(env, state.domain_list, kDomainsFile, ReadDomains,
                 "Not Enough memmory to load pelix.dmn.");
  LoadRecordFile(env, state.fileecho_list, kFileEchoesFile, ReadFileEchoes,
                 "Not Enough memmory to load pelix.fe.");
  LoadRecordFile(env, state.link_list, kLinksFile, ReadLinks,
                 "Not Enough memmory to load pelix.nod.");
  LoadNodeOptions(env);
  state.code_page = ReadCodePageChoice(env);
}
