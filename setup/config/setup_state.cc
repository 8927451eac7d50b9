#include "setup/config/setup_config.h"

#include "platform/platform.h"

SetupConfiguration& SetupState() {
  static SetupConfiguration state;
  return state;
}

void ResetSetupState(platform::Env& env) {
  SetupConfiguration& state = SetupState();
  state.config = MainConfig{};
  state.code_page = CodePage::kLatin1;
  ClearList(state.domain_list);
  ClearList(state.fileecho_list);
  ClearList(state.link_list);
  state.node_options = IniDocument();
  state.node_options_read.clear();
  if (state.busy_flag_held) ReleaseSetupBusyFlag(env);
}

void ReleaseSetupBusyFlag(platform::Env& env) {
  // A flag removed by someone else meanwhile leaves nothing to do: setup is
  // ending either way.
  (void)env.ReleaseProcessFlag();
  SetupState().busy_flag_held = false;
}
