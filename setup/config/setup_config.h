// setup's whole configuration in memory: MainConfig and the three record
// lists, loaded once at start and written back at most once, at exit.
#pragma once

#include "common/ini_document.h"
#include "common/records.h"
#include "setup/config/code_page.h"
#include "setup/config/edit_list.h"

namespace platform {
class Env;
}

inline constexpr char kSetupBusyFlag[] = "pelix.bsy";
inline constexpr char kMainConfigFile[] = "pelix.cfg";
inline constexpr char kDomainsFile[] = "pelix.dmn";
inline constexpr char kFileEchoesFile[] = "pelix.fe";
inline constexpr char kLinksFile[] = "pelix.nod";
// Where a version 2 configuration kept its links, in the layout of pelix.nod.
inline constexpr char kOldLinksFile[] = "pelix.lnk";

// Exit codes of a start-up that cannot go on.
inline constexpr int kExitBusy = 0;
inline constexpr int kExitNotConfiguration = 1;
inline constexpr int kExitNoMemory = 2;
inline constexpr int kExitVersionRefused = 4;

struct SetupConfiguration {
  MainConfig config;
  // How the bytes of every text field are shown and typed.
  CodePage code_page = CodePage::kLatin1;
  EditList<DomainRecord> domain_list;
  EditList<FileEchoRecord> fileecho_list;
  EditList<LinkRecord> link_list;
  // pelix.ini with the sysop's changes, and its text as read: the save
  // writes it only when the two differ.
  IniDocument node_options;
  std::string node_options_read;
  // pelix.bsy was made by this run and not yet given back. A start that
  // dies gives it back; a flag that a running pelix holds is never touched.
  bool busy_flag_held = false;
};

SetupConfiguration& SetupState();
// Empties everything again (tests load several configurations in turn),
// giving back a pelix.bsy still held.
void ResetSetupState(platform::Env& env);

// Claims pelix.bsy and reads the four files of the working directory and
// pelix.ini,
// bringing an older version up to 4 when the sysop agrees. Returns only with
// the configuration in memory; otherwise ends the process with kExitBusy,
// kExitNotConfiguration (also for a file that is there but cannot be read),
// kExitNoMemory, kExitVersionRefused, or kExitNotNodeOwner when root starts
// it in another user's node.
void LoadConfiguration(platform::Env& env);

// Writes all four files in full, each through a side file so that it takes
// its new contents whole or keeps its old ones, and pelix.ini when it was
// changed. A file that cannot be written is named in an "Error" box; false
// then.
[[nodiscard]] bool SaveConfiguration(platform::Env& env);

// Removes pelix.bsy; setup does it at exit whether or not it saved.
void ReleaseSetupBusyFlag(platform::Env& env);
