#include "common/node_options.h"
#include "platform/platform.h"
#include "setup/config/message_box.h"
#include "setup/config/setup_config.h"

namespace {

// Each file takes its new contents whole or keeps its old ones; the sysop
// is told which one could not be written (a full disk, a read-only folder).
bool Rewrite(platform::Env& env, const char* name, const std::string& bytes,
             uint32_t new_file_mode = platform::kDefaultFileMode) {
  if (platform::RewriteFile(env, name, bytes, new_file_mode)) return true;
  ShowMessageBox(std::string("Can't write ") + name + ", it keeps its previous contents",
                 "Error", MessageButtons::kOk, MessageIcon::kStop);
  return false;
}

}  // namespace

bool SaveConfiguration(platform::Env& env) {
  SetupConfiguration& state = SetupState();
  state.config.version = kConfigVersion;
  bool saved = Rewrite(env, kMainConfigFile, WriteMainConfig(state.config));
  saved = Rewrite(env, kDomainsFile, WriteDomains(ListRecords(state.domain_list))) && saved;
  // An echo without a tag could never be found again; it stays in memory
  // but not in the file.
  saved = Rewrite(env, kFileEchoesFile, WriteFileEchoes(ListRecords(state.fileecho_list), true)) &&
          saved;
  // The links' passwords are the node's secrets.
  saved = Rewrite(env, kLinksFile, WriteLinks(ListRecords(state.link_list)), platform::kPrivateFileMode) &&
          saved;
  // A file only looked at is left as it is; a new one holds the uplinks'
  // passwords.
  const std::string options = state.node_options.Text();
  if (options != state.node_options_read) {
    if (Rewrite(env, kNodeOptionsFile, options, platform::kPrivateFileMode)) {
      state.node_options_read = options;
    } else {
      saved = false;
    }
  }
  return saved;
}
