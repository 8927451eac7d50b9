#include "processor/run.h"

#include <new>

#include "common/node_owner.h"
#include "common/text_helpers.h"
#include "processor/announce/announce.h"
#include "processor/netmail/netmail_scan.h"
#include "processor/outbound/outbound_session.h"
#include "processor/outbound/queue_scan.h"
#include "processor/outbound/unnamed_tics.h"
#include "processor/serials.h"
#include "processor/tic/inbound_done.h"
#include "processor/tic/tic_context.h"
#include "processor/tic/tic_pass.h"

namespace {

enum SwitchCode { kHelp = 1, kAnnounce = 2, kErrorStatus = 3 };

constexpr Keyword kSwitches[] = {
    {"/H", kHelp}, {"/A", kAnnounce}, {"/E", kErrorStatus}, {"", 0}};

struct RunSwitches {
  bool announce = false;
  bool error_status = false;  // /E
};

// The status to end with before anything is done (the help shown, an
// unknown argument), or std::nullopt to run.
std::optional<int> CheckArguments(const std::vector<std::string>& arguments,
                                  RunSwitches& switches) {
  for (const std::string& argument : arguments) {
    switch (LookupKeyword(kSwitches, argument, 0, false)) {
      case kHelp:
        ConsoleOut("Command line arguments:\n");
        ConsoleOut(" /H - Display this help message.\n");
        ConsoleOut(" /A - Announce.\n");
        ConsoleOut(" /E - End with status 6 when an error was logged.\n");
        return 0;
      case kAnnounce:
        switches.announce = true;
        break;
      case kErrorStatus:
        switches.error_status = true;
        break;
      default:
        ConsoleOut(Format("Unknown command line argument : %s\nTry PELIX /H.\n",
                          argument.c_str()));
        return 3;
    }
  }
  return std::nullopt;
}

// What the run did, for its last log line.
struct RunCounts {
  TicCounts tics;
  int requests_answered = 0;
};

// The passes, in their order; the first fatal condition ends the run.
RunStatus RunPasses(platform::Env& env, Configuration& config, Log& log, bool announce,
                    RunCounts& counts) {
  // One outbound session for the whole run: the robot sends files too.
  TicSending sending(env, config);
  Serials& serials = sending.serials;
  OutboundSession& outbound = sending.outbound;
  MadeTics& made = sending.made;
  TicContext& tics = sending.context;
  // A killed run's outgoing TICs go before this run makes any.
  made.EraseUnnamed(log);
  Uplinks uplinks(env);
  NetmailContext netmail{env, log, config, serials, tics, uplinks};
  RunStatus status = RunNetmailPass(netmail, counts.requests_answered);
  if (!status.ends()) {
    made.End(log);  // every TIC the robot made is named by its flow line
    InboundDone done(env);
    status = RunTicPass(tics, done, made, log, counts.tics);
  }
  if (!status.ends()) ScanQueue(env, log, outbound);
  // The outbound is left as the mailer expects it, whatever ended the run.
  RunStatus released = outbound.ReleaseAll(log);
  if (status.ends()) return status;
  if (released.ends()) return released;
  if (announce) MakeAnnounceReport(env, log, serials);
  return RunStatus::GoOn();
}

// Every run that could log ends with one line that sums it up.
void LogSummary(LogFile& log, const RunCounts& counts) {
  log.Write(kMarkTic, Format("Summary : TICs accepted %d, refused %d, left in the inbound %d; "
                             "requests answered %d; error lines %d",
                             counts.tics.accepted, counts.tics.refused, counts.tics.left,
                             counts.requests_answered, log.error_lines()));
}

}  // namespace

std::optional<int> RefuseForeignNode(platform::Env& env, const std::string& program,
                                     const std::vector<std::string>& arguments) {
  const std::string owner = env.ForeignOwner(".");
  if (owner.empty()) return std::nullopt;
  std::string command = program;
  for (const std::string& argument : arguments)
    command += argument.find_first_of(" '\"") == std::string::npos ? " " + argument
                                                                    : " '" + argument + "'";
  ConsoleOut(NotNodeOwnerText(owner, command));
  return kExitNotNodeOwner;
}

std::optional<int> ClaimRunFlag(platform::Env& env, RunLock& lock, int busy_status) {
  std::string why;
  switch (lock.Claim(&why)) {
    case BusyClaim::kBusy: {
      ConsoleOut("Pelix is busy\n");
      // A run the timer started and found busy shows in the log as well; a
      // log that cannot take the line changes nothing for a run that ends.
      const std::string log_file = ConfiguredLogFile(env);
      if (!log_file.empty()) (void)AppendLogLine(env, log_file, kMarkNothing, "Pelix is busy");
      return busy_status;
    }
    case BusyClaim::kFailed:
      ConsoleOut(Format("Fatal : Can't create %s, %s\n", kBusyFlagName, why.c_str()));
      return kExitNoBusyFlag;
    case BusyClaim::kClaimed:
      break;
  }
  return std::nullopt;
}

RunStatus CheckRunConfiguration(const RunLock& lock, const Configuration& config, Log& log) {
  if (const int pid = lock.stale_pid())
    log.Write(kMarkError, Format("Removing stale pelix.bsy of process %d", pid));
  for (const std::string& warning : config.option_warnings) log.Write(kMarkError, warning);
  if (config.main.queue_dir.empty()) {
    log.Write(kMarkError, "Queue not defined");
    return RunStatus::End(1);
  }
  return RunStatus::GoOn();
}

int RunPelix(platform::Env& env, const std::vector<std::string>& arguments) {
  // Memory running out anywhere ends the run cleanly, flags removed, so
  // that the next run is not refused as busy.
  std::set_new_handler(OutOfMemoryExit);
  ConsoleOut(Format("Pelix %s FileEcho Processor, by the Pelix developers\n", kVersion));
  if (const std::optional<int> status = RefuseForeignNode(env, "pelix", arguments)) return *status;
  // What pelix makes in the outbound, the queue and the TIC outbound is
  // the mailer's to read, whatever the umask of the one who started it.
  env.LetEveryoneRead();
  RunLock lock(env);
  if (const std::optional<int> status = ClaimRunFlag(env, lock, 0)) return *status;
  RunSwitches switches;
  RunStatus status = RunStatus::GoOn();
  int error_lines = 0;
  if (const std::optional<int> end = CheckArguments(arguments, switches)) {
    status = RunStatus::End(*end);
  } else {
    Configuration config;
    status = ReadConfiguration(env, config);
    if (!status.ends()) {
      ConfigurationInUse in_use(config);
      LogFile log(env, config.main.log_file);
      RunCounts counts;
      status = CheckRunConfiguration(lock, config, log);
      if (!status.ends()) status = RunPasses(env, config, log, switches.announce, counts);
      LogSummary(log, counts);
      error_lines = log.error_lines();
    }
  }
  const bool released = lock.Release();
  if (status.ends()) return status.exit_status();
  if (!released) return -1;
  return switches.error_status && error_lines > 0 ? kExitErrorsLogged : 0;
}
