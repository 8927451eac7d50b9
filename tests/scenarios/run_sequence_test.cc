// The run sequence seen from outside: console, exit status, log and flag.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <thread>

#include "platform/exit_cleanup.h"
#include "platform/platform.h"
#include "tests/support/faulty_env.h"
#include "tests/support/in_process_run.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

bool Contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

TEST(RunSequence, BusyFlagPresentLeavesEverythingAlone) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  node.WriteFile("pelix.bsy", "");
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "Pelix 1.02 FileEcho Processor, by the Pelix developers\nPelix is busy\n");
  EXPECT_TRUE(node.Exists("pelix.bsy"));
  // The log shows a run the timer started and found busy.
  EXPECT_EQ(node.LogMessages(), std::vector<std::string>{"^ Pelix is busy"});
}

TEST(RunSequence, BusyFlagInOtherCaseCountsToo) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  node.WriteFile("PELIX.BSY", "");
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.output, "Pelix is busy\n"));
  EXPECT_TRUE(node.Exists("PELIX.BSY"));
}

TEST(RunSequence, HelpInAnyCaseEndsWithStatusZero) {
  for (const char* arg : {"/H", "/h"}) {
    TempNode node;
    RunResult r = node.Run({arg});
    EXPECT_EQ(r.status, 0) << arg;
    EXPECT_TRUE(Contains(r.output,
                         "Command line arguments:\n /H - Display this help message.\n /A - Announce.\n"))
        << r.output;
    EXPECT_FALSE(node.Exists("pelix.bsy"));
  }
}

TEST(RunSequence, UnknownArgumentsEndWithStatusThree) {
  const std::vector<std::vector<std::string>> cases = {{"-h"}, {"A"}, {"/A", "/X"}, {"/x", "/H"}};
  for (const auto& args : cases) {
    TempNode node;
    node.WriteConfig(BasicConfigText());
    RunResult r = node.Run(args);
    EXPECT_EQ(r.status, 3) << args.back();
    EXPECT_TRUE(Contains(r.output, "Unknown command line argument : "));
    EXPECT_TRUE(Contains(r.output, "\nTry PELIX /H.\n"));
    EXPECT_FALSE(node.Exists("pelix.bsy"));
    EXPECT_FALSE(node.Exists("pelix.log"));  // nothing read before the check
  }
  TempNode node;
  RunResult r = node.Run({"/H", "/x"});
  EXPECT_EQ(r.status, 0);
}

TEST(RunSequence, ConfigurationFailuresEndWithStatusOne) {
  struct Case {
    std::string cfg;
    std::string message;
  };
  std::string good;
  {
    ConfigText c;
    std::string error;
    ASSERT_TRUE(ParseConfigText(BasicConfigText(), c, error));
    good = WriteMainConfig(c.config);
  }
  std::string v3 = good;
  v3[6] = 3;
  std::string lower = good;
  lower.replace(0, 5, "pelix");
  const Case cases[] = {
      {"", "Fatal : Can't open PELIX.CFG\n"},
      {lower, "Fatal : File pelix.cfg is not a Pelix configuration file\n"},
      {std::string("PELIXX") + good.substr(6), "Fatal : File pelix.cfg is not a Pelix configuration file\n"},
      {v3, "Fatal : Invalid configuration version ID.\n"},
      // Cut inside the log file's name: no message could say where it went.
      {good.substr(0, kMainConfigLogFileEnd - 1), "Fatal : File pelix.cfg is damaged\n"},
  };
  for (const Case& c : cases) {
    TempNode node;
    if (!c.cfg.empty()) node.WriteFile("pelix.cfg", c.cfg);
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 1) << c.message;
    EXPECT_TRUE(Contains(r.output, "Loading PELIX.CFG...\n" + c.message)) << r.output;
    EXPECT_FALSE(node.Exists("pelix.bsy"));
  }
  // A file of the configuration that is there but cannot be read (another
  // owner's after a restore, a failing disk) is never taken for an empty
  // one, which the robot would write back over the real file.
  for (const char* file : {"pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod", "pelix.ini"}) {
    TempNode node;
    node.WriteConfig(BasicConfigText() + "[link]\naddress = 2:5020/1\n[echo]\ntag = E\n");
    node.WriteFile("pelix.ini", "[pelix]\ndupe_days = 30\n");
    const std::string before = node.ReadFile(file);
    FaultyEnv env;
    env.Fail(FaultyEnv::Op::kRead, 1, file, -1, EACCES);
    RunResult r = RunPelixWith(env, node);
    EXPECT_EQ(r.status, 1) << file;
    EXPECT_TRUE(Contains(r.output, std::string("Fatal : Can't read ") + file +
                                       ", Permission denied\n"))
        << r.output;
    EXPECT_EQ(node.ReadFile(file), before);
    EXPECT_FALSE(node.Exists("pelix.bsy"));
  }
}

// What pelix.ini holds that cannot be read is said in the log, every run,
// and the run goes on with the defaults.
TEST(RunSequence, OptionsThatCannotBeReadAreLoggedAndTheRunGoesOn) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  node.WriteFile("pelix.ini", "[pelix]\nlate_file_days = ten\ncolour = blue\n[echo *]\nreplaces = yes\n");
  RunResult r = node.Run({"/E"});
  EXPECT_EQ(r.status, 6) << r.output;
  const std::vector<std::string> log = node.LogMessages();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0].rfind("! pelix.ini line 2: ", 0), 0u) << log[0];
  EXPECT_NE(log[0].find("late_file_days"), std::string::npos) << log[0];
  EXPECT_EQ(log[1].rfind("! pelix.ini line 3: ", 0), 0u) << log[1];
  EXPECT_NE(log[1].find("colour"), std::string::npos) << log[1];
  EXPECT_EQ(log[2], "^ No Netmail messages found");
}

TEST(RunSequence, EmptyQueueIsRefused) {
  TempNode node;
  std::string text = BasicConfigText();
  text.replace(text.find("queue_dir = queue/"), 18, "queue_dir =");
  node.WriteConfig(text);
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(node.LogMessages(), (std::vector<std::string>{"! Queue not defined"}));
  EXPECT_FALSE(node.Exists("pelix.bsy"));
}

TEST(RunSequence, LogThatCannotBeOpenedEndsWithStatusSeven) {
  TempNode node;
  std::string text = BasicConfigText();
  text.replace(text.find("log_file = pelix.log"), 20, "log_file = nodir/pelix.log");
  node.WriteConfig(text);
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 7);
  EXPECT_TRUE(Contains(r.output, "Fatal : Can't Open/Create Log File nodir/pelix.log\n"));
  EXPECT_FALSE(node.Exists("pelix.bsy"));
}

TEST(RunSequence, EmptyNodeRunsEveryPassAndLogsWhatItFound) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  RunResult r = node.Run({"/a", "/A", "/E"});
  EXPECT_EQ(r.status, 0) << r.output;  // /E: no error line, status 0
  EXPECT_TRUE(Contains(r.output, "Loading PELIX.CFG...\nLoading PELIX.DMN...\nLoading PELIX.FE...\n"
                                 "Loading PELIX.NOD...\nScaning Netmail.\nNo Netmail messages found\n"
                                 "Scaning Inbound TIC files.\nNo TIC files found\n"))
      << r.output;
  std::vector<std::string> lines = node.LogLines();
  ASSERT_GE(lines.size(), 2u);
  std::regex format(R"(\^ \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d:\d\d:\d\d PELX No Netmail messages found)");
  EXPECT_TRUE(std::regex_match(lines[0], format)) << lines[0];
  EXPECT_EQ(node.LogMessages()[1], "^ No TIC files found");
  EXPECT_EQ(lines.back().substr(23),
            "Summary : TICs accepted 0, refused 0, left in the inbound 0; requests answered 0; "
            "error lines 0");
  EXPECT_FALSE(node.Exists("pelix.bsy"));

  // Without its netmail folder the robot cannot be reached: an error, once.
  ASSERT_EQ(::rmdir(node.Path("netmail").c_str()), 0);
  ASSERT_EQ(::unlink(node.Path("pelix.log").c_str()), 0);
  r = node.Run({"/E"});
  EXPECT_EQ(r.status, 6) << r.output;
  EXPECT_EQ(node.LogMessages(), (std::vector<std::string>{"! Netmail folder netmail/ not found",
                                                          "^ No Netmail messages found",
                                                          "^ No TIC files found"}));
  EXPECT_EQ(node.Run().status, 0);  // the status changes only with /E
}

TEST(RunSequence, MissingDomainsOnlyWarn) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  std::remove(node.Path("pelix.dmn").c_str());
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Contains(r.output, "Loading PELIX.DMN...\nWarning : No Domains defined\nLoading PELIX.FE...\n"));
}

TEST(RunSequence, FindsTicsAndMessagesInAnyCase) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  node.WriteFile("netmail/1.MSG", "");
  node.WriteFile("in/B.TIC", "Area X\r\n");
  node.WriteFile("in/a.tic", "Area X\r\n");
  node.MakeDir("in/dir.tic");
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> log = node.LogMessages();
  EXPECT_EQ(std::count(log.begin(), log.end(), "* Processing B.TIC"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "* Processing a.tic"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(), "* Processing dir.tic"), 0);
  EXPECT_EQ(std::count(log.begin(), log.end(), "^ No Netmail messages found"), 0);
}

TEST(RunSequence, FifosInTheFoldersAreSkippedNotWaitedFor) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  node.MakeDir("in");
  node.MakeDir("netmail");
  ASSERT_EQ(::mkfifo(node.Path("in/A.TIC").c_str(), 0666), 0);
  ASSERT_EQ(::mkfifo(node.Path("netmail/1.msg").c_str(), 0666), 0);
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0);
  std::vector<std::string> log = node.LogMessages();
  EXPECT_EQ(std::count(log.begin(), log.end(), "! Can't open this message"), 1) << r.output;
  EXPECT_EQ(std::count(log.begin(), log.end(), "! Can't open in/A.TIC"), 1) << r.output;
  EXPECT_TRUE(node.Exists("in/A.TIC"));
}

TEST(RunSequence, EachRunRemovesItsFlagSoTheNextIsNotRefused) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  EXPECT_EQ(node.Run().status, 0);
  RunResult second = node.Run();
  EXPECT_EQ(second.status, 0);
  EXPECT_FALSE(Contains(second.output, "Pelix is busy"));
}

constexpr char kOneDownlinkEcho[] =
    "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive\nlink = 2:5020/2 send\n"
    "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
    "[link]\naddress = 2:5020/2\n";

// Starts pelix in `node` without waiting for it; its output is dropped.
pid_t StartPelix(const TempNode& node, int release_fd = -1) {
  pid_t child = ::fork();
  if (child != 0) return child;
  if (release_fd >= 0) {
    char go;
    if (::read(release_fd, &go, 1) != 1) ::_exit(122);
  }
  if (::chdir(node.dir().c_str()) != 0) ::_exit(120);
  int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  struct rlimit no_core {0, 0};
  ::setrlimit(RLIMIT_CORE, &no_core);
  ::execl(PELIX_BINARY, PELIX_BINARY, static_cast<char*>(nullptr));
  ::_exit(121);
}

TEST(RunSequence, InterruptRemovesTheBusyFlagAndAKilledRunsFlagIsClearedNextTime) {
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGKILL}) {
    TempNode node;
    node.WriteConfig(BasicConfigText() + kOneDownlinkEcho);
    // The mailer holds the link, so the run waits after it claimed its flag.
    node.WriteFile("out/139c0002.bsy", "");
    DropArrival(node, "A.TIC", "A.ZIP", "a", TicLines("A.ZIP", "a"));
    pid_t child = StartPelix(node);
    ASSERT_GE(child, 0);
    bool waiting = false;
    for (int i = 0; i < 1000 && !waiting; ++i) {
      for (const std::string& m : node.LogMessages())
        if (m == "$ From : 2:5020/1") waiting = true;
      if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(waiting) << sig;
    EXPECT_TRUE(node.Exists("pelix.bsy")) << sig;
    ::kill(child, sig);
    int raw = 0;
    ::waitpid(child, &raw, 0);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == sig) << sig;
    EXPECT_EQ(node.Exists("pelix.bsy"), sig == SIGKILL) << sig;
    if (sig != SIGKILL) continue;
    // The flag a killed run left holds its id but no lock any more.
    EXPECT_EQ(node.ReadFile("pelix.bsy"), std::to_string(child) + "\n");
    std::remove(node.Path("out/139c0002.bsy").c_str());
    RunResult next = node.Run();
    EXPECT_EQ(next.status, 0);
    std::vector<std::string> log = node.LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "! Removing stale pelix.bsy of process " + std::to_string(child)),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "* Exported to 2:5020/2"), log.end());
    EXPECT_FALSE(node.Exists("pelix.bsy"));
  }
}

// Only a flag that a live process holds, or one without a process id (made
// by hand or by other software), keeps a run out.
TEST(RunSequence, BusyFlagIsJudgedByItsLockAndItsProcessId) {
  pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  enum Holder { kNobody, kLiveProcess };
  struct Case {
    std::string contents;
    Holder holder;
    bool busy;
  } cases[] = {
      {std::to_string(ended) + "\n", kNobody, false},        // its process has ended
      {std::to_string(::getpid()) + "\n", kNobody, false},   // a live process, but no lock
      {"", kNobody, true},
      {"held by setup", kNobody, true},
      {"", kLiveProcess, true},
  };
  for (const Case& c : cases) {
    TempNode node;
    node.WriteConfig(BasicConfigText());
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    pid_t holder = -1;
    if (c.holder == kLiveProcess) {
      holder = ::fork();
      if (holder == 0) {
        bool claimed = platform::DefaultEnv().ClaimProcessFlag(node.Path("pelix.bsy")).result ==
                       platform::FlagClaim::kClaimed;
        char byte = claimed ? 'y' : 'n', wait;
        (void)!::write(ready[1], &byte, 1);
        (void)!::read(done[0], &wait, 1);
        ::_exit(0);
      }
      char byte = 0;
      ASSERT_EQ(::read(ready[0], &byte, 1), 1);
      ASSERT_EQ(byte, 'y');
    } else {
      node.WriteFile("pelix.bsy", c.contents);
    }
    RunResult r = node.Run();
    EXPECT_EQ(r.status, 0) << c.contents;
    EXPECT_EQ(Contains(r.output, "Pelix is busy"), c.busy) << c.contents;
    EXPECT_EQ(node.Exists("pelix.bsy"), c.busy) << c.contents;
    std::vector<std::string> log = node.LogMessages();
    const std::string stale = "! Removing stale pelix.bsy of process " + c.contents.substr(0, c.contents.size() - 1);
    EXPECT_EQ(std::find(log.begin(), log.end(), stale) != log.end(), !c.busy) << c.contents;
    if (holder > 0) {
      (void)!::write(done[1], "x", 1);
      ::waitpid(holder, nullptr, 0);
    }
    for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
  }
}

// Started by root in a node that belongs to the mailer's user, pelix would
// leave files binkd cannot open: it refuses before it writes anything.
TEST(RunSequence, RootInAnotherUsersNodeIsRefusedBeforeAnythingIsWritten) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  DropArrival(node, "A.TIC", "A.ZIP", "a", TicLines("A.ZIP", "a"));
  const std::vector<std::string> before = node.List("");
  FaultyEnv env;
  env.UseForeignOwner("ftn");
  RunResult r = RunPelixWith(env, node, {"/A"});
  EXPECT_EQ(r.status, 10);
  EXPECT_TRUE(Contains(r.output, "This node directory belongs to ftn; run as that user: "
                                 "sudo -u ftn pelix /A\n"))
      << r.output;
  EXPECT_EQ(node.List(""), before);
  EXPECT_EQ(node.List("in"), (std::vector<std::string>{"A.TIC", "A.ZIP"}));
}

TEST(RunSequence, BusyFlagThatCannotBeMadeIsReportedNotTakenForBusy) {
  for (int error : {EACCES, ENOSPC, EROFS}) {
    TempNode node;
    node.WriteConfig(BasicConfigText());
    DropArrival(node, "A.TIC", "A.ZIP", "a", TicLines("A.ZIP", "a"));
    FaultyEnv env;
    env.Fail(FaultyEnv::Op::kCreate, 1, "pelix.bsy", -1, error);
    RunResult r = RunPelixWith(env, node);
    EXPECT_EQ(r.status, 4);
    EXPECT_TRUE(Contains(r.output, std::string("Fatal : Can't create pelix.bsy, ") +
                                       std::strerror(error) + "\n"))
        << r.output;
    EXPECT_FALSE(Contains(r.output, "busy"));
    EXPECT_TRUE(node.Exists("in/A.TIC"));
    EXPECT_FALSE(node.Exists("pelix.bsy"));
  }
}

// Asks for more memory than any machine has when the link's flow file is
// opened, that is while the run holds the link's busy flag.
class MemoryRunsOutEnv : public FaultyEnv {
 public:
  platform::FilePtr Open(const std::string& path, platform::OpenMode mode,
                         bool* exists = nullptr) override {
    if (std::string_view(path).ends_with("139c0002.flo")) {
      // The flag the export holds now (armed here too, so the test does not
      // depend on where the export arms it).
      (void)platform::ExitCleanup::OfProcess().Add("out/139c0002.bsy");
      void* volatile taken = ::operator new(size_t{1} << 62);
      ::operator delete(taken);
    }
    return FaultyEnv::Open(path, mode, exists);
  }
};

TEST(RunSequence, RunningOutOfMemoryEndsWithStatusTwoAndRemovesEveryFlag) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer ends a failed allocation itself";
#endif
  TempNode node;
  node.WriteConfig(BasicConfigText() + kOneDownlinkEcho);
  DropArrival(node, "A.TIC", "A.ZIP", "a", TicLines("A.ZIP", "a"));
  MemoryRunsOutEnv env;
  RunResult r = RunPelixWith(env, node);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(Contains(r.output, "Fatal : Not Enough memmory.\n")) << r.output;
  EXPECT_FALSE(node.Exists("pelix.bsy"));
  EXPECT_TRUE(node.Exists("out"));
  for (const std::string& name : node.List("out"))  // the link's flag is gone too
    EXPECT_EQ(name.find(".bsy"), std::string::npos) << name;
  EXPECT_TRUE(node.Exists("in/A.TIC"));
}

// Two runs started together, again and again, in one node with a TIC
// waiting each time: at most one of them holds pelix.bsy at any moment (a
// run's log lines never fall between another run's first line and its TIC
// pass), and every TIC is handled exactly once.
TEST(RunSequence, TwoRunsStartedTogetherNeverBothWork) {
  TempNode node;
  node.WriteConfig(BasicConfigText() + kOneDownlinkEcho);
  constexpr int kRounds = 200;
  int busy_runs = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::string file = Format("F%05d.ZIP", round);
    DropArrival(node, Format("F%05d.TIC", round), file, file, TicLines(file, file));
    int release[2];
    ASSERT_EQ(::pipe(release), 0);
    pid_t runs[2] = {StartPelix(node, release[0]), StartPelix(node, release[0])};
    ASSERT_EQ(::write(release[1], "go", 2), 2);  // both start at once
    ::close(release[0]);
    ::close(release[1]);
    for (pid_t run : runs) {
      int raw = 0;
      ASSERT_EQ(::waitpid(run, &raw, 0), run);
      ASSERT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << round;
    }
    // The mailer sends what the round forwarded, one queue line and one
    // TIC, and deletes the TIC ("^").
    const std::string flow = node.ReadFile("out/139c0002.flo");
    EXPECT_EQ(std::count(flow.begin(), flow.end(), '\n'), 2) << round;
    EXPECT_NE(flow.find(file), std::string::npos) << round;
    std::remove(node.Path("out/139c0002.flo").c_str());
    for (const std::string& tic : node.List("ticout")) std::remove(node.Path("ticout/" + tic).c_str());
  }
  // Every run that got past the flag begins with the netmail pass and goes
  // on with its TIC pass; a second run inside would show its netmail line
  // in between.
  int runs_that_worked = 0;
  int processed = 0;
  bool expect_tic_pass = false;
  std::map<std::string, int> handled;
  for (const std::string& m : node.LogMessages()) {
    if (m == "^ No Netmail messages found") {
      EXPECT_FALSE(expect_tic_pass) << "two runs at once";
      expect_tic_pass = true;
      ++runs_that_worked;
    } else if (m == "^ No TIC files found" || m.rfind("* Processing ", 0) == 0) {
      expect_tic_pass = false;
      if (m[0] == '*') ++handled[m], ++processed;
    }
  }
  busy_runs = 2 * kRounds - runs_that_worked;
  EXPECT_EQ(processed, kRounds);
  EXPECT_EQ(handled.size(), static_cast<size_t>(kRounds));
  EXPECT_TRUE(node.List("in").empty());
  EXPECT_FALSE(node.Exists("bad"));
  EXPECT_EQ(node.List("files/PELIX.TEST").size(), kRounds + 1u);  // and FILES.BBS
  EXPECT_FALSE(node.Exists("pelix.bsy"));
  std::printf("[ figures  ] %d rounds: %d runs worked, %d found pelix.bsy held\n", kRounds,
              runs_that_worked, busy_runs);
}

}  // namespace
