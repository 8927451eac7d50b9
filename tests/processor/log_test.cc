#include "processor/log.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "processor/run_state.h"
#include "tests/support/temp_node.h"

namespace {

TEST(LogLine, WritesTheFixedFormatAndCutsLongMessages) {
  TempNode node;
  ResetRunState();
  State().config.log_file = node.Path("pelix.log");
  platform::SetFixedClock(1704067200);  // 1 Jan 2024 00:00:00, TZ=UTC
  testing::internal::CaptureStdout();
  LogLine('^', "Nothing to Announce");
  LogLine('!', std::string(400, 'x'));
  LogLine('!', "Can't Open for Writing/Create pelix.fe.\n");
  std::string console = testing::internal::GetCapturedStdout();
  platform::SetFixedClock(std::nullopt);

  std::vector<std::string> lines = node.LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "^ 01 Jan 00:00:00 PELX Nothing to Announce");
  EXPECT_EQ(lines[1], "! 01 Jan 00:00:00 PELX " + std::string(kMaxLogMessage, 'x'));
  EXPECT_EQ(lines[1].size() + 1, 255u);  // with its line feed, within 256 bytes
  EXPECT_EQ(lines[3], "");               // the message's own line feed
  EXPECT_EQ(console.substr(0, 20), "Nothing to Announce\n");
  ResetRunState();
}

// logrotate moves the log away without telling pelix: the next line must go
// into a new file of the configured name, not after the moved one.
TEST(LogLine, WritesIntoANewFileOnceTheLogWasRotated) {
  TempNode node;
  ResetRunState();
  State().config.log_file = node.Path("pelix.log");
  testing::internal::CaptureStdout();
  LogLine('*', "Processing A.TIC");
  ASSERT_TRUE(platform::MoveFile(node.Path("pelix.log"), node.Path("pelix.log.1")));
  LogLine('*', "Processing B.TIC");
  testing::internal::GetCapturedStdout();

  std::vector<std::string> rotated = node.LogMessages("pelix.log.1");
  std::vector<std::string> current = node.LogMessages();
  EXPECT_EQ(rotated, std::vector<std::string>{"* Processing A.TIC"});
  EXPECT_EQ(current, std::vector<std::string>{"* Processing B.TIC"});
  ResetRunState();
}

TEST(Format, BuildsAnyLength) {
  EXPECT_EQ(Format("%s-%d", std::string(1000, 'a').c_str(), 7).size(), 1002u);
  EXPECT_EQ(Format("%8.8lX", 0xabcUL), "00000ABC");
}

}  // namespace
