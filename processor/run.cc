#include "processor/run.h"

#include <new>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/tic/bad_tic_index.h"
#include "processor/run_lock.h"
#include "processor/config_store.h"
#include "processor/tic/inbound_done.h"
#include "processor/log.h"
#include "processor/outbound/outbound.h"
#include "processor/passes.h"
#include "processor/run_state.h"
#include "processor/tic/tic_batch.h"
#include "processor/outbound/unnamed_tics.h"

namespace {

enum SwitchCode { kHelp = 1, kAnnounce = 2 };

constexpr Keyword kSwitches[] = {{"/H", kHelp}, {"/A", kAnnounce}, {"", 0}};

void CheckArguments(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    switch (LookupKeyword(kSwitches, argument, 0, false)) {
      case kHelp:
        ConsoleOut("Command line arguments:\n");
        ConsoleOut(" /H - Display this help message.\n");
        ConsoleOut(" /A - Announce.\n");
        FatalExit(0);
      case kAnnounce:
        State().announce_requested = true;
        break;
      default:
        ConsoleOut(Format("Unknown command line argument : %s\nTry PELIX /H.\n",
                          argument.c_str()));
        FatalExit(3);
    }
  }
}

// The names of the files (not directories) matching `pattern`.
std::vector<std::string> FilesMatching(const std::string& pattern) {
  const std::vector<platform::DirEntry> found = platform::FindFilesQuietly(pattern);
  std::vector<std::string> names;
  for (const platform::DirEntry& entry : found) {
    if (!entry.is_directory) names.push_back(entry.name);
  }
  return names;
}

void NetmailPass() {
  ConsoleOut("Scaning Netmail.\n");
  const std::string& dir = State().config.netmail_dir;
  std::vector<std::string> messages = FilesMatching(dir + "*.msg");
  if (messages.empty()) {
    LogLine(kMarkNothing, "No Netmail messages found");
    return;
  }
  for (const std::string& name : messages) ProcessNetmailMessage(dir + name);
}

void TicPass() {
  ConsoleOut("Scaning Inbound TIC files.\n");
  const std::string& dir = State().config.inbound_dir;
  RetryTicsWhoseFileArrived();
  // A killed run's leftovers.
  EraseUnnamedTics();
  EmptyLeftInbound();
  std::vector<std::string> tics = FilesMatching(dir + "*.tic");
  if (tics.empty()) {
    LogLine(kMarkNothing, "No TIC files found");
    return;
  }
  for (const std::string& name : tics) {
    BeginTic();
    LogLine(kMarkTic, Format("Processing %s", name.c_str()));
    ReadTic(dir + name);
    EndTic(dir + name);
  }
  FlushPendingTics();
  EndMadeTics();
  EmptyLeftInbound();
  // Before the queue pass, which would take them for a killed run's.
  ReleaseFlagSides();
}

}  // namespace

std::optional<int> ClaimRunFlag(int busy_status) {
  std::string why;
  switch (ClaimBusyFlag(&why)) {
    case BusyClaim::kBusy:
      ConsoleOut("Pelix is busy\n");
      return busy_status;
    case BusyClaim::kFailed:
      ConsoleOut(Format("Fatal : Can't create %s, %s\n", kBusyFlagName, why.c_str()));
      return kExitNoBusyFlag;
    case BusyClaim::kClaimed:
      break;
  }
  return std::nullopt;
}

void LoadRunConfiguration() {
  ReadConfiguration();
  if (const int pid = StaleBusyFlagPid())
    LogLine(kMarkError, Format("Removing stale pelix.bsy of process %d", pid));
  if (State().config.queue_dir.empty()) {
    LogLine(kMarkError, "Queue not defined");
    FatalExit(1);
  }
}

int RunPelix(const std::vector<std::string>& arguments) {
  // Memory running out anywhere ends the run cleanly, flags removed, so
  // that the next run is not refused as busy.
  std::set_new_handler(OutOfMemoryExit);
  ConsoleOut(Format("Pelix %s FileEcho Processor, by the Pelix developers\n", kVersion));
  if (const std::optional<int> status = ClaimRunFlag(0)) return *status;
  CheckArguments(arguments);
  LoadRunConfiguration();
  NetmailPass();
  TicPass();
  ScanQueue();
  if (State().announce_requested) MakeAnnounceReport();
  return ReleaseBusyFlag() ? 0 : -1;
}
