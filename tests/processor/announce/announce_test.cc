// The announce report: its layout in both targets, the size limit carried
// over to the next run, and database files kept whenever a report fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <set>
#include <sstream>

#include "platform/platform.h"
#include "processor/announce/announce.h"
#include "processor/config_store.h"
#include "tests/support/faulty_env.h"
#include "tests/support/foreign_lock.h"
#include "tests/support/temp_node.h"

namespace {

const std::string kRule =
    " ----------------------------------------------------------------------------- \r\n";
const std::string kJamTail = "\r--- Pelix 1.02\r * Origin: Pelix 1.02 (2:5020/100)\r";

std::string Block(const std::string& tag, const std::string& contents) {
  return " Area : " + tag + "\r\n" + kRule + contents + kRule;
}

// The JAM form of a report: message text ends its lines with CR alone.
std::string CrOnly(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at + 1, 1);
  return text;
}

// A JAM text with its CR line ends as the database files hold them.
std::string WithCrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\r' ? std::string("\r\n") : std::string(1, c);
  return out;
}

uint32_t U32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
  return value;
}

// " NAME.ZIP     description" lines of exactly `width` bytes with CR LF.
std::string Line(const std::string& echo, int number, size_t width = 100) {
  std::string line = " " + echo + "-" + std::to_string(number) + ".ZIP";
  line.resize(width - 2, '.');
  return line + "\r\n";
}

// The database lines inside a report: everything between a rule and the
// next rule.
std::vector<std::string> ReportLines(const std::string& report) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while ((pos = report.find(kRule, pos)) != std::string::npos) {
    pos += kRule.size();
    size_t end = report.find(kRule, pos);
    if (end == std::string::npos) break;
    std::string contents = report.substr(pos, end - pos);
    if (contents.rfind(" Area : ", 0) == 0) continue;  // a file that could not be read
    std::istringstream in(contents);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line + "\n");
    pos = end + kRule.size();
  }
  return lines;
}

class AnnounceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(old_dir_, sizeof old_dir_), nullptr);
    node_.WriteConfig(BasicConfigText());
    node_.MakeDir("announce");
    node_.MakeDir("area");
    ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
    ASSERT_FALSE(ReadConfiguration(env_, config_).ends());
    in_use_.emplace(config_);
    log_.emplace(env_, config_.main.log_file);
  }
  void TearDown() override {
    log_.reset();
    in_use_.reset();
    ASSERT_EQ(::chdir(old_dir_), 0);
  }
  void MakeAnnounceReport() { ::MakeAnnounceReport(env_, *log_, serials_); }
  void UseTextFile(const std::string& target = "newfiles.txt") {
    config_.main.announce_to = 1;
    config_.main.announce_target = target;
  }
  // The text of every message of the JAM base, in order.
  std::vector<std::string> JamTexts() const {
    std::vector<std::string> texts;
    std::string jhr = node_.ReadFile("area/newfiles.jhr");
    std::string jdt = node_.ReadFile("area/newfiles.jdt");
    std::string jdx = node_.ReadFile("area/newfiles.jdx");
    for (size_t i = 0; i + 8 <= jdx.size(); i += 8) {
      size_t at = U32(jdx, i + 4);
      texts.push_back(jdt.substr(U32(jhr, at + 60), U32(jhr, at + 64)));
    }
    return texts;
  }

  TempNode node_;
  FaultyEnv env_;
  Configuration config_;
  std::optional<ConfigurationInUse> in_use_;
  std::optional<LogFile> log_;
  Serials serials_{env_};
  char old_dir_[4096];
};

TEST_F(AnnounceTest, NothingRecordedPostsNothing) {
  node_.WriteFile("announce/Announce", "a bare name that names no echo\r\n");
  MakeAnnounceReport();
  EXPECT_EQ(node_.LogMessages(), (std::vector<std::string>{"^ Nothing to Announce"}));
  EXPECT_EQ(node_.List("area"), std::vector<std::string>{});
  EXPECT_TRUE(node_.Exists("announce/Announce"));
  UseTextFile();
  MakeAnnounceReport();
  EXPECT_FALSE(node_.Exists("newfiles.txt"));
}

TEST_F(AnnounceTest, TwoEchoesMakeOneJamMessageWithTearAndOriginLines) {
  const std::string area1 = " FILE1.ZIP    First file\r\n";
  const std::string area2 = " A_LONG_NAME_ Second\r\n THIRD.ZIP    \r\n";
  node_.WriteFile("announce/Announce.AREA1", area1);
  node_.WriteFile("announce/Announce.Area2", area2);
  MakeAnnounceReport();
  std::vector<std::string> texts = JamTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0], CrOnly("\r\n" + Block("AREA1", area1) + Block("Area2", area2) + kJamTail));
  EXPECT_EQ(texts[0].find('\n'), std::string::npos);
  EXPECT_EQ(node_.LogMessages(), (std::vector<std::string>{
                                     "* Announced 3 files of 2 echoes into area/newfiles"}));
  EXPECT_EQ(node_.List("announce"), std::vector<std::string>{});
  EXPECT_EQ(node_.List("area"), (std::vector<std::string>{"newfiles.jdt", "newfiles.jdx",
                                                          "newfiles.jhr", "newfiles.jlr"}));
}

TEST_F(AnnounceTest, TextFileHoldsTheBlocksAndIsReplacedByTheNextReport) {
  UseTextFile();
  const std::string area1 = " FILE1.ZIP    First file\r\n";
  const std::string area2 = " FILE2.ZIP    Second\r\n";
  node_.WriteFile("newfiles.txt", std::string(500, 'x'));
  node_.WriteFile("announce/Announce.AREA1", area1);
  node_.WriteFile("announce/Announce.AREA2", area2);
  MakeAnnounceReport();
  EXPECT_EQ(node_.ReadFile("newfiles.txt"),
            "\r\n" + Block("AREA1", area1) + Block("AREA2", area2));
  node_.WriteFile("announce/Announce.AREA2", area1);
  MakeAnnounceReport();
  EXPECT_EQ(node_.ReadFile("newfiles.txt"), "\r\n" + Block("AREA2", area1));
  EXPECT_FALSE(node_.Exists("area/newfiles.jhr"));
}

TEST_F(AnnounceTest, UnreadableDatabaseFileKeepsItsAreaLineAndStays) {
  UseTextFile();
  ASSERT_EQ(::symlink("gone", node_.Path("announce/Announce.BROKEN").c_str()), 0);
  node_.WriteFile("announce/Announce.GOOD", " GOOD.ZIP     fine\r\n");
  MakeAnnounceReport();
  EXPECT_EQ(node_.ReadFile("newfiles.txt"), "\r\n Area : BROKEN\r\n" + kRule +
                                                Block("GOOD", " GOOD.ZIP     fine\r\n"));
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{
                "! Can't open file announce/Announce.BROKEN: No such file or directory",
                "* Announced 1 files of 1 echoes into newfiles.txt"}));
  EXPECT_EQ(node_.List("announce"), (std::vector<std::string>{"Announce.BROKEN"}));
}

TEST_F(AnnounceTest, ZeroByteInDatabaseFileLosesNoLine) {
  UseTextFile();
  node_.WriteFile("announce/Announce.A",
                  " A.ZIP        one\r\n" + std::string(1, '\0') + " B.ZIP        two\r\n");
  MakeAnnounceReport();
  EXPECT_EQ(node_.ReadFile("newfiles.txt"),
            "\r\n" + Block("A", " A.ZIP        one\r\n B.ZIP        two\r\n"));
}

TEST_F(AnnounceTest, ReportThatCannotBePostedKeepsEveryDatabaseFile) {
  struct Case {
    const char* what;
    int32_t announce_to;
    std::string target;
    const char* make_dir;  // a folder where a file of the target should be
    std::string log;
  };
  const Case cases[] = {
      {"no folder for the base", 0, "nowhere/newfiles", nullptr,
       "! Can't Create JAM Base: No such file or directory"},
      {"index not writable", 0, "area/newfiles", "area/newfiles.jdx",
       "! Can't Open JAM Base: Is a directory"},
      {"text not writable", 0, "area/newfiles", "area/newfiles.jdt",
       "! Can't Open JAM Base: Is a directory"},
      // The text file cannot even be opened, or what was opened not written.
      {"no folder for the text file", 1, "nowhere/report", nullptr,
       "! Can't open file nowhere/report: No such file or directory"},
      {"text file is a folder", 1, "report", "report", "! Can't write file report: Is a directory"},
      {"unknown target", 7, "area/newfiles", nullptr, "! Unknown Announce Target 7"},
  };
  const std::string a = " A.ZIP        one\r\n";
  const std::string b = " B.ZIP        two\r\n";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    node_.WriteFile("announce/Announce.A", a);
    node_.WriteFile("announce/Announce.B", b);
    if (c.make_dir) node_.MakeDir(c.make_dir);
    config_.main.announce_to = c.announce_to;
    config_.main.announce_target = c.target;
    std::size_t logged = node_.LogMessages().size();
    MakeAnnounceReport();
    std::vector<std::string> log = node_.LogMessages();
    ASSERT_EQ(log.size(), logged + 1);
    EXPECT_EQ(log.back(), c.log);
    EXPECT_EQ(node_.ReadFile("announce/Announce.A"), a);
    EXPECT_EQ(node_.ReadFile("announce/Announce.B"), b);
    if (c.make_dir) ::rmdir(node_.Path(c.make_dir).c_str());
  }
  // Once the base can be written, the kept files are announced.
  config_.main.announce_to = 0;
  config_.main.announce_target = "area/newfiles";
  MakeAnnounceReport();
  ASSERT_FALSE(JamTexts().empty());
  EXPECT_EQ(JamTexts().back(), CrOnly("\r\n" + Block("A", a) + Block("B", b) + kJamTail));
  EXPECT_EQ(node_.List("announce"), std::vector<std::string>{});
}

TEST_F(AnnounceTest, BaseLockedByReaderKeepsTheDatabaseFiles) {
  node_.WriteFile("announce/Announce.A", " A.ZIP        one\r\n");
  MakeAnnounceReport();
  node_.WriteFile("announce/Announce.B", " B.ZIP        two\r\n");
  std::string jhr = node_.ReadFile("area/newfiles.jhr");
  {
    ForeignLock reader(node_.Path("area/newfiles.jhr"));
    MakeAnnounceReport();
  }
  EXPECT_EQ(node_.LogMessages().back(), "! JAM Base area/newfiles is locked");
  EXPECT_EQ(node_.ReadFile("area/newfiles.jhr"), jhr);
  EXPECT_EQ(node_.List("announce"), (std::vector<std::string>{"Announce.B"}));
}

TEST_F(AnnounceTest, ReportPastSixtyFourThousandLeavesTheRestForTheNextRun) {
  UseTextFile();
  std::vector<std::string> recorded;
  for (int i = 1; i <= 300; ++i) {
    char tag[8];
    std::snprintf(tag, sizeof tag, "E%03d", i);
    recorded.push_back(Line(tag, i));
    node_.WriteFile(std::string("announce/Announce.") + tag, recorded.back());
  }
  MakeAnnounceReport();
  std::string first = node_.ReadFile("newfiles.txt");
  // Each block is 14 + 81 + 100 + 81 bytes: the 232nd brings the report
  // past 64000 characters and is the last one taken.
  EXPECT_EQ(kRule.size(), 81u);
  EXPECT_EQ(first.size(), 2u + 232u * 276u);
  EXPECT_NE(first.find(" Area : E232\r\n"), std::string::npos);
  EXPECT_EQ(first.find(" Area : E233\r\n"), std::string::npos);
  EXPECT_EQ(node_.List("announce").size(), 68u);
  EXPECT_EQ(node_.List("announce").front(), "Announce.E233");
  MakeAnnounceReport();
  std::string second = node_.ReadFile("newfiles.txt");
  EXPECT_EQ(second.size(), 2u + 68u * 276u);
  EXPECT_TRUE(node_.List("announce").empty());
  std::vector<std::string> announced = ReportLines(first);
  for (const std::string& line : ReportLines(second)) announced.push_back(line);
  EXPECT_EQ(announced, recorded);
}

TEST_F(AnnounceTest, DatabaseFileLargerThanAReportIsSplitAtLineEnds) {
  std::string small = Line("A", 0);
  std::string big;
  std::vector<std::string> recorded{small};
  for (int i = 1; i <= 1500; ++i) {
    recorded.push_back(Line("BIG", i, 90 + i % 20));
    big += recorded.back();
  }
  node_.WriteFile("announce/Announce.A", small);
  node_.WriteFile("announce/Announce.BIG", big);
  std::vector<std::string> announced;
  int runs = 0;
  while (!node_.List("announce").empty() && runs < 10) {
    MakeAnnounceReport();
    ++runs;
  }
  std::vector<std::string> texts = JamTexts();
  ASSERT_EQ(texts.size(), 3u);
  for (const std::string& text : texts) {
    EXPECT_LE(text.size(), 65534u);
    EXPECT_EQ(text.substr(text.size() - kJamTail.size()), kJamTail);
    for (const std::string& line : ReportLines(WithCrLf(text))) announced.push_back(line);
  }
  EXPECT_EQ(announced, recorded);
  EXPECT_EQ(node_.List("announce"), std::vector<std::string>{});
  // Each report says what it took.
  const std::vector<std::string> log = node_.LogMessages();
  EXPECT_EQ(log.size(), texts.size());
  for (const std::string& line : log) EXPECT_EQ(line.rfind("* Announced ", 0), 0u) << line;
}

TEST_F(AnnounceTest, LineLongerThanAReportIsStillAnnouncedWhole) {
  UseTextFile();
  std::string huge(70000, 'x');
  node_.WriteFile("announce/Announce.HUGE", huge + "\r\n");
  MakeAnnounceReport();
  std::string first = node_.ReadFile("newfiles.txt");
  EXPECT_LE(first.size(), 65534u);
  ASSERT_TRUE(node_.Exists("announce/Announce.HUGE"));
  MakeAnnounceReport();
  std::string second = node_.ReadFile("newfiles.txt");
  std::string head = "\r\n Area : HUGE\r\n" + kRule;
  ASSERT_EQ(first.rfind(head, 0), 0u);
  ASSERT_EQ(second.rfind(head, 0), 0u);
  std::string joined = first.substr(head.size(), first.size() - head.size() - kRule.size()) +
                       second.substr(head.size(), second.size() - head.size() - kRule.size());
  EXPECT_EQ(joined, huge + "\r\n");
  EXPECT_TRUE(node_.List("announce").empty());
}

}  // namespace
