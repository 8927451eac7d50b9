#include "platform/platform.h"
#include "setup/config/setup_config.h"

void SaveConfiguration() {
  platform::CriticalErrorsOff quiet;
  SetupConfiguration& state = SetupState();
  state.config.version = kConfigVersion;
  platform::WriteWholeFile(kMainConfigFile, WriteMainConfig(state.config));
  platform::WriteWholeFile(kDomainsFile, WriteDomains(ListRecords(state.domain_list)));
  // An echo without a tag could never be found again; it stays in memory
  // but not in the file.
  platform::WriteWholeFile(kFileEchoesFile,
                           WriteFileEchoes(ListRecords(state.fileecho_list), true));
  platform::WriteWholeFile(kLinksFile, WriteLinks(ListRecords(state.link_list)));
}
