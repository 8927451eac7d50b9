// The sample node of demo/: the arrival that demo/prepare.sh drops is
// accepted and forwarded, so the demo shows what it promises.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "tests/support/temp_node.h"

namespace {

std::string SourceFile(const std::string& relative) {
  std::string here = __FILE__;  // .../tests/scenarios/demo_test.cc
  return here.substr(0, here.rfind("/tests/")) + "/" + relative;
}

TEST(Demo, PreparedArrivalIsForwardedToBothDownlinks) {
  TempNode node;
  std::ifstream in(SourceFile("demo/node.cfg.txt"));
  std::stringstream text;
  text << in.rdbuf();
  node.WriteConfig(text.str());
  RunResult prepared = RunProgram("bash", {SourceFile("demo/prepare.sh"), node.dir()}, node.dir());
  ASSERT_EQ(prepared.status, 0) << prepared.output;
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::string> log = node.LogMessages();
  auto exported = std::find(log.begin(), log.end(), "* Exported to 2:5020/2");
  ASSERT_NE(exported, log.end());
  ASSERT_NE(exported + 1, log.end());
  EXPECT_EQ(exported[1], "* Exported to 2:5020/3");
  EXPECT_EQ(node.List("out"), (std::vector<std::string>{"139c0002.clo", "139c0003.hlo"}));
  EXPECT_EQ(node.List("files/PELIX.TEST"), (std::vector<std::string>{"FILES.BBS", "PELIXDEM.TXT"}));
  EXPECT_EQ(node.List("in"), std::vector<std::string>{});
  EXPECT_FALSE(node.Exists("bad"));
}

}  // namespace
