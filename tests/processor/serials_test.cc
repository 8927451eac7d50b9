// The numbers a node hands out go on from run to run.
#include "processor/serials.h"

#include <gtest/gtest.h>

#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

// Message serials are the time, or one past the last one when that is
// later: two messages of one second differ, and so do those of two runs in
// one second, and of a run after one that was killed.
TEST(Serials, MessagesOfOneSecondDifferAcrossRunsAndKills) {
  TempNode node;
  FaultyEnv env;
  env.UseFakeClock(1000);
  LogFile log(env, node.Path("pelix.log"));
  uint32_t serial = 0;
  {
    Serials run(env, node.Path("pelix.seq"));
    for (uint32_t expected : {1000u, 1001u, 1002u}) {
      ASSERT_TRUE(run.NextMessage(log, serial));
      EXPECT_EQ(serial, expected);
    }
  }
  Serials next_run(env, node.Path("pelix.seq"));  // the same second, or after a kill
  ASSERT_TRUE(next_run.NextMessage(log, serial));
  EXPECT_GT(serial, 1002u);
  env.UseFakeClock(5000);
  ASSERT_TRUE(next_run.NextMessage(log, serial));
  EXPECT_EQ(serial, 5000u);
  EXPECT_FALSE(node.Exists("pelix.log"));
}

// TIC numbers start where the time's digits put them, go on after the last
// one of the run before, and wrap after 999999; numbers a killed run wrote
// ahead are passed over, never handed out twice.
TEST(Serials, TicNumbersGoOnFromRunToRunAndWrap) {
  TempNode node;
  FaultyEnv env;
  env.UseFakeClock(1799999998);  // the digits 999999
  LogFile log(env, node.Path("pelix.log"));
  uint32_t number = 0;
  Serials first(env, node.Path("pelix.seq"));
  for (uint32_t expected : {999999u, 0u, 1u}) {
    ASSERT_TRUE(first.NextTicNumber(log, number));
    EXPECT_EQ(number, expected);
  }
  Serials second(env, node.Path("pelix.seq"));
  ASSERT_TRUE(second.NextTicNumber(log, number));
  EXPECT_GT(number, 1u);
  EXPECT_LT(number, 10000u);
  // A file that is there but cannot be read gives no number at all.
  env.Fail(FaultyEnv::Op::kRead, 1, "pelix.seq", 1, 13);
  Serials unreadable(env, node.Path("pelix.seq"));
  EXPECT_FALSE(unreadable.NextTicNumber(log, number));
  EXPECT_EQ(node.LogMessages(),
            std::vector<std::string>{"! Can't read " + node.Path("pelix.seq") +
                                     ": Permission denied"});
}

}  // namespace
