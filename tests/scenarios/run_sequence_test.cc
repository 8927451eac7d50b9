// The run sequence seen from outside: console, exit status, log and flag.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <thread>

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
  EXPECT_FALSE(node.Exists("pelix.log"));
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
  RunResult r = node.Run({"/a", "/A"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Contains(r.output, "Loading PELIX.CFG...\nLoading PELIX.DMN...\nLoading PELIX.FE...\n"
                                 "Loading PELIX.NOD...\nScaning Netmail.\nNo Netmail messages found\n"
                                 "Scaning Inbound TIC files.\nNo TIC files found\n"))
      << r.output;
  std::vector<std::string> lines = node.LogLines();
  ASSERT_GE(lines.size(), 2u);
  std::regex format(R"(\^ \d\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) \d\d:\d\d:\d\d PELX No Netmail messages found)");
  EXPECT_TRUE(std::regex_match(lines[0], format)) << lines[0];
  EXPECT_EQ(node.LogMessages()[1], "^ No TIC files found");
  EXPECT_FALSE(node.Exists("pelix.bsy"));
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

TEST(RunSequence, InterruptRemovesTheBusyFlag) {
  TempNode node;
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive\nlink = 2:5020/2 send\n"
                   "[link]\naddress = 2:5020/1\ntic_password = TICPW\n"
                   "[link]\naddress = 2:5020/2\n");
  // The mailer holds the link, so the run waits after it claimed its flag.
  node.WriteFile("out/139c0002.bsy", "");
  DropArrival(node, "A.TIC", "A.ZIP", "a", TicLines("A.ZIP", "a"));
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::chdir(node.dir().c_str()) != 0) ::_exit(120);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::execl(PELIX_BINARY, PELIX_BINARY, static_cast<char*>(nullptr));
    ::_exit(121);
  }
  bool waiting = false;
  for (int i = 0; i < 1000 && !waiting; ++i) {
    for (const std::string& m : node.LogMessages())
      if (m == "$ From : 2:5020/1") waiting = true;
    if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(waiting);
  EXPECT_TRUE(node.Exists("pelix.bsy"));
  ::kill(child, SIGTERM);
  int raw = 0;
  ::waitpid(child, &raw, 0);
  EXPECT_TRUE(WIFSIGNALED(raw));
  EXPECT_FALSE(node.Exists("pelix.bsy"));
}

}  // namespace
