#include "processor/run_lock.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "tests/support/temp_node.h"

namespace {

class BusyFlagTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(old_dir_, sizeof old_dir_), nullptr);
    ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
  }
  void TearDown() override { ASSERT_EQ(::chdir(old_dir_), 0); }

  TempNode node_;
  RunLock lock_{platform::DefaultEnv()};
  char old_dir_[4096];
};

TEST_F(BusyFlagTest, SecondClaimIsRefusedUntilTheFirstIsReleased) {
  EXPECT_EQ(lock_.Claim(), BusyClaim::kClaimed);
  EXPECT_TRUE(node_.Exists("pelix.bsy"));
  EXPECT_EQ(lock_.Claim(), BusyClaim::kBusy);
  EXPECT_TRUE(lock_.Release());
  EXPECT_FALSE(node_.Exists("pelix.bsy"));
  EXPECT_EQ(lock_.Claim(), BusyClaim::kClaimed);
  EXPECT_TRUE(lock_.Release());
}

TEST_F(BusyFlagTest, FlagDeletedMeanwhileIsReportedAtTheEnd) {
  ASSERT_EQ(lock_.Claim(), BusyClaim::kClaimed);
  std::remove("pelix.bsy");
  EXPECT_FALSE(lock_.Release());  // the run then ends with status -1
}

TEST_F(BusyFlagTest, AnotherProgramsFlagIsNeverRemoved) {
  node_.WriteFile("pelix.bsy", "");
  EXPECT_EQ(lock_.Claim(), BusyClaim::kBusy);
  EXPECT_TRUE(lock_.Release());
  EXPECT_TRUE(node_.Exists("pelix.bsy"));
}

}  // namespace
