// Announcing with /A through the real program.
#include <gtest/gtest.h>

#include "tests/support/temp_node.h"

namespace {

TEST(AnnounceRun, SwitchAPostsTheRecordedFilesIntoTheJamBase) {
  TempNode node;
  node.WriteConfig(BasicConfigText());
  node.MakeDir("area");
  node.WriteFile("announce/Announce.PELIX.TEST", " PELIX.ZIP    The new release\r\n");

  RunResult plain = node.Run();
  EXPECT_EQ(plain.status, 0) << plain.output;
  EXPECT_EQ(plain.output.find("Making Announce."), std::string::npos);
  EXPECT_TRUE(node.Exists("announce/Announce.PELIX.TEST"));

  RunResult r = node.Run({"/A"});
  EXPECT_EQ(r.status, 0) << r.output;
  // The announcement comes last, after the passes that may add to it.
  size_t tics = r.output.find("No TIC files found\n");
  size_t announce = r.output.find("Making Announce.\n");
  ASSERT_NE(announce, std::string::npos) << r.output;
  EXPECT_LT(tics, announce);
  EXPECT_TRUE(node.List("announce").empty());
  std::string text = node.ReadFile("area/newfiles.jdt");
  EXPECT_EQ(text.rfind("\r Area : PELIX.TEST\r", 0), 0u) << text;
  EXPECT_NE(text.find(" PELIX.ZIP    The new release\r -"), std::string::npos);
  EXPECT_EQ(node.ReadFile("area/newfiles.jdx").size(), 8u);
  EXPECT_TRUE(node.Exists("area/newfiles.jlr"));
  EXPECT_FALSE(node.Exists("pelix.bsy"));

  RunResult again = node.Run({"/A"});
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(node.LogMessages().back(), "^ Nothing to Announce");
  EXPECT_EQ(node.ReadFile("area/newfiles.jdx").size(), 8u);
}

}  // namespace
