// The queue pass of a real run: sent copies erased, copies still named by
// a flow file of any domain, zone or point kept.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "processor/log.h"
#include "tests/support/faulty_env.h"
#include "tests/support/in_process_run.h"
#include "tests/support/temp_node.h"

namespace {

std::vector<std::string> Erasures(const TempNode& node) {
  std::vector<std::string> erased;
  for (const std::string& m : node.LogMessages())
    if (m.rfind("( ", 0) == 0) erased.push_back(m);
  return erased;
}

std::string Config() {
  return BasicConfigText() +
         "[domain]\nname = @othernet\noutbound_dir = other\nzone_list = 99\n";
}

TEST(QueueScan, RunErasesSentCopiesAndKeepsNamedOnes) {
  TempNode node;
  node.WriteConfig(Config());
  for (const char* name : {"KEEP1.ZIP", "keep2.zip", "Keep3.Zip", "keep4.zip", "SENT.ZIP",
                           "TILDE.ZIP"})
    node.WriteFile(std::string("queue/") + name, "x");
  node.MakeDir("queue/Subdir");
  node.WriteFile("out/139c0001.clo", "QUEUE/KEEP1.ZIP\r\n^ticout/px000001.tic\r\n");
  node.WriteFile("out.001/00170004.pnt/00000005.hlo", "#queue/KEEP2.ZIP\r\n");
  node.WriteFile("other.063/00010001.flo", "^Queue\\keep3.zip\r\n~queue/TILDE.ZIP\r\n");
  node.WriteFile("other.063/00010001.pnt/00000002.ilo", "queue/keep4.zip\r\n");
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("No TIC files found\nScaning Queue.\nErasing sent passtrought "
                          "file queue/SENT.ZIP\n"),
            std::string::npos)
      << r.output;
  EXPECT_EQ(Erasures(node),
            (std::vector<std::string>{"( Erasing sent passtrought file queue/SENT.ZIP",
                                      "( Erasing sent passtrought file queue/TILDE.ZIP"}));
  EXPECT_EQ(node.List("queue"), (std::vector<std::string>{"KEEP1.ZIP", "Keep3.Zip", "Subdir",
                                                          "keep2.zip", "keep4.zip"}));
  // The log does not carry the console-only pass header.
  for (const std::string& m : node.LogMessages()) EXPECT_EQ(m.find("Scaning"), std::string::npos);

  EXPECT_EQ(node.Run().status, 0);
  EXPECT_EQ(Erasures(node).size(), 2u);
}

TEST(QueueScan, RunWithAnUnreadableFlowFileErasesNothing) {
  TempNode node;
  node.WriteConfig(Config());
  node.WriteFile("queue/HELD.ZIP", "x");
  node.WriteFile("queue/SENT.ZIP", "x");
  node.MakeDir("other.063");
  ASSERT_EQ(::symlink("held-by-mailer", node.Path("other.063/00010001.flo").c_str()), 0);
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  std::vector<std::string> log = node.LogMessages();
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "! Can't read other.063/00010001.flo, queue left alone"),
            1);
  EXPECT_TRUE(Erasures(node).empty());
  EXPECT_EQ(node.List("queue"), (std::vector<std::string>{"HELD.ZIP", "SENT.ZIP"}));
}

// A directory of the outbound that cannot be searched may hold the only
// flow file naming a queue copy or a killed run's TIC: nothing is erased.
TEST(QueueScan, OutboundDirectoryThatCannotBeListedLeavesEverything) {
  const struct {
    const char* search;
    const char* unlisted;
  } cases[] = {{"out.001/", "out.001"}, {"out.*", "."}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.search);
    TempNode node;
    node.WriteConfig(Config());
    node.WriteFile("queue/WAITING.ZIP", "x");
    node.WriteFile("ticout/px000001.tic", "made by a killed run");
    node.WriteFile("pelix.tix", "ticout/px000001.tic\n");
    node.WriteFile("out.001/00170004.flo",
                   "queue/WAITING.ZIP\r\n^" + node.dir() + "ticout/px000001.tic\r\n");
    FaultyEnv env;
    env.Fail(FaultyEnv::Op::kList, 1, c.search, -1, EACCES);
    RunResult r = RunPelixWith(env, node);
    EXPECT_EQ(r.status, 0) << r.output;
    const std::vector<std::string> log = node.LogMessages();
    for (const char* left : {"unsent TICs", "queue"})
      EXPECT_EQ(std::count(log.begin(), log.end(),
                           Format("! Can't list %s, %s left alone: Permission denied",
                                  c.unlisted, left)),
                1)
          << left;
    EXPECT_TRUE(Erasures(node).empty());
    EXPECT_EQ(node.List("queue"), std::vector<std::string>{"WAITING.ZIP"});
    EXPECT_EQ(node.List("ticout"), std::vector<std::string>{"px000001.tic"});
  }
}

}  // namespace
