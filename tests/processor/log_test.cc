#include "processor/log.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

TEST(LogLine, WritesTheFixedFormatAndCutsLongMessages) {
  TempNode node;
  FaultyEnv env;
  env.UseFakeClock(1704067200);  // 1 Jan 2024 00:00:00, TZ=UTC
  LogFile log(env, node.Path("pelix.log"));
  testing::internal::CaptureStdout();
  log.Write('^', "Nothing to Announce");
  log.Write('!', std::string(400, 'x'));
  log.Write('!', "Can't Open for Writing/Create pelix.fe.\n");
  std::string console = testing::internal::GetCapturedStdout();

  std::vector<std::string> lines = node.LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "^ 01 Jan 00:00:00 PELX Nothing to Announce");
  EXPECT_EQ(lines[1], "! 01 Jan 00:00:00 PELX " + std::string(kMaxLogMessage, 'x'));
  EXPECT_EQ(lines[1].size() + 1, 255u);  // with its line feed, within 256 bytes
  EXPECT_EQ(lines[3], "");               // the message's own line feed
  EXPECT_EQ(console.substr(0, 20), "Nothing to Announce\n");
  EXPECT_EQ(log.error_lines(), 2);
}

// logrotate moves the log away without telling pelix: the next line must go
// into a new file of the configured name, not after the moved one.
TEST(LogLine, WritesIntoANewFileOnceTheLogWasRotated) {
  TempNode node;
  LogFile log(platform::DefaultEnv(), node.Path("pelix.log"));
  testing::internal::CaptureStdout();
  log.Write('*', "Processing A.TIC");
  ASSERT_TRUE(platform::DefaultEnv().MoveFile(node.Path("pelix.log"), node.Path("pelix.log.1")));
  log.Write('*', "Processing B.TIC");
  testing::internal::GetCapturedStdout();

  std::vector<std::string> rotated = node.LogMessages("pelix.log.1");
  std::vector<std::string> current = node.LogMessages();
  EXPECT_EQ(rotated, std::vector<std::string>{"* Processing A.TIC"});
  EXPECT_EQ(current, std::vector<std::string>{"* Processing B.TIC"});
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
// line is in the file the moment it is logged; a full disk is said once.
TEST(LogLine, OpensTheLogOnceAndWritesEveryLineAtOnce) {
  TempNode node;
  LogOpenCounter env;
  LogFile log(env, node.Path("pelix.log"));
  testing::internal::CaptureStdout();
  for (size_t n = 1; n <= 3; ++n) {
    log.Write('*', Format("Processing %zu.TIC", n));
    EXPECT_EQ(node.LogMessages().size(), n);
  }
  EXPECT_EQ(env.log_opens, 1);
  LogFile other(env, node.Path("other.log"));
  other.Write('*', "Processing 4.TIC");
  env.Fail(FaultyEnv::Op::kWrite, 1, "other.log");
  other.Write('!', "Can't copy 5.ZIP");
  other.Write('!', "Can't copy 6.ZIP");
  const std::string console = testing::internal::GetCapturedStdout();

  EXPECT_EQ(env.log_opens, 2);
  EXPECT_EQ(node.LogMessages().back(), "* Processing 3.TIC");
  EXPECT_EQ(node.LogMessages("other.log")[0], "* Processing 4.TIC");
  const std::string warning = "Warning : Can't write Log File " + node.Path("other.log") + "\n";
  EXPECT_NE(console.find("Can't copy 6.ZIP\n"), std::string::npos);
  EXPECT_NE(console.find(warning), std::string::npos);
  EXPECT_EQ(console.find(warning), console.rfind(warning));
}

// The lines of a TIC handled while earlier ones wait come after theirs,
// each with the time it was logged.
TEST(LogLine, HeldLinesKeepTheirTimesAndComeAfterTheLinesBefore) {
  TempNode node;
  FaultyEnv env;
  env.UseFakeClock(1704067200);
  LogFile log(env, node.Path("pelix.log"));
  HeldLog held(env, log);
  testing::internal::CaptureStdout();
  held.Hold();
  held.Write('*', "Processing B.TIC");
  env.UseFakeClock(1704067205);
  log.Write('*', "Exported to 2:5020/2");
  held.Release();
  held.Write('$', "Area : PELIX.TEST");
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(node.LogLines(), (std::vector<std::string>{
                                 "* 01 Jan 00:00:05 PELX Exported to 2:5020/2",
                                 "* 01 Jan 00:00:00 PELX Processing B.TIC",
                                 "$ 01 Jan 00:00:05 PELX Area : PELIX.TEST"}));
}

TEST(Format, BuildsAnyLength) {
  EXPECT_EQ(Format("%s-%d", std::string(1000, 'a').c_str(), 7).size(), 1002u);
  EXPECT_EQ(Format("%8.8lX", 0xabcUL), "00000ABC");
}

}  // namespace
