#include "processor/log.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "processor/run_state.h"
#include "tests/support/faulty_env.h"
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

// Counts the opens of log files.
class LogOpenCounter : public FaultyEnv {
 public:
  platform::FilePtr Open(const std::string& path, platform::OpenMode mode,
                         bool* exists = nullptr) override {
    if (path.find(".log") != std::string::npos) ++log_opens;
    return FaultyEnv::Open(path, mode, exists);
  }
  int log_opens = 0;
};

// A hub logs thousands of lines a run: the log is opened once, yet each
// line is in the file the moment it is logged; another name in the
// configuration gets the next line, and a full disk is said once.
TEST(LogLine, OpensTheLogOnceAndWritesEveryLineAtOnce) {
  TempNode node;
  ResetRunState();
  LogOpenCounter env;
  platform::ScopedEnv scoped(&env);
  State().config.log_file = node.Path("pelix.log");
  testing::internal::CaptureStdout();
  for (size_t n = 1; n <= 3; ++n) {
    LogLine('*', Format("Processing %zu.TIC", n));
    EXPECT_EQ(node.LogMessages().size(), n);
  }
  EXPECT_EQ(env.log_opens, 1);
  State().config.log_file = node.Path("other.log");
  LogLine('*', "Processing 4.TIC");
  env.Fail(FaultyEnv::Op::kWrite, 1, "other.log");
  LogLine('!', "Can't copy 5.ZIP");
  LogLine('!', "Can't copy 6.ZIP");
  const std::string console = testing::internal::GetCapturedStdout();

  EXPECT_EQ(env.log_opens, 2);
  EXPECT_EQ(node.LogMessages().back(), "* Processing 3.TIC");
  EXPECT_EQ(node.LogMessages("other.log")[0], "* Processing 4.TIC");
  const std::string warning = "Warning : Can't write Log File " + node.Path("other.log") + "\n";
  EXPECT_NE(console.find("Can't copy 6.ZIP\n"), std::string::npos);
  EXPECT_NE(console.find(warning), std::string::npos);
  EXPECT_EQ(console.find(warning), console.rfind(warning));
  ResetRunState();
}

TEST(Format, BuildsAnyLength) {
  EXPECT_EQ(Format("%s-%d", std::string(1000, 'a').c_str(), 7).size(), 1002u);
  EXPECT_EQ(Format("%8.8lX", 0xabcUL), "00000ABC");
}

}  // namespace
