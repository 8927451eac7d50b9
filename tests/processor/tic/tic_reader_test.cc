// The rules by which a TIC's lines become the fields of the TicRecord.
#include "processor/tic/tic_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "tests/support/temp_node.h"

namespace {

TicRecord Parse(const std::string& text) {
  TicRecord tic;
  ReadTicLines(text, tic);
  return tic;
}

TEST(TicReader, KeywordCaseAndSpacesGiveTheSameField) {
  for (const char* line : {"Area PELIX.TEST\r\n", "AREA PELIX.TEST\n", "area    PELIX.TEST   \r\n",
                           "   aReA PELIX.TEST \r\n", "Area PELIX.TEST"}) {
    EXPECT_EQ(Parse(line).area, "PELIX.TEST") << line;
  }
}

TEST(TicReader, EveryKeywordFillsItsField) {
  TicRecord tic = Parse(
      "Area A\r\nAreadesc The echo\r\nOrigin 2:5020/1\r\nFrom 2:5020/2\r\nTo Sysop\r\n"
      "Crc 0A1B2C3D\r\nFile FILE.ZIP\r\nDesc A file\r\nReplaces OLD.ZIP\r\nMagic MAG\r\n"
      "Created by hand\r\nPw SECRET\r\nSeenby 2:5020/3\r\nPath 2:5020/1 123\r\nLdesc one\r\n"
      "Size 1234\r\n");
  EXPECT_EQ(tic.area, "A");
  EXPECT_EQ(tic.areadesc, "The echo");
  EXPECT_EQ(tic.origin, "2:5020/1");
  EXPECT_EQ(tic.from, "2:5020/2");
  EXPECT_EQ(tic.to, "Sysop");
  EXPECT_EQ(tic.crc, "0A1B2C3D");
  EXPECT_EQ(tic.file, "FILE.ZIP");
  EXPECT_EQ(tic.desc, "A file");
  EXPECT_EQ(tic.replaces, "OLD.ZIP");
  EXPECT_EQ(tic.magic, "MAG");
  EXPECT_EQ(tic.created, "by hand");
  EXPECT_EQ(tic.pw, "SECRET");
  EXPECT_EQ(tic.size, "1234");
  EXPECT_EQ(tic.seenby, std::vector<std::string>{"2:5020/3"});
  EXPECT_EQ(tic.path, std::vector<std::string>{"2:5020/1 123"});
  EXPECT_EQ(tic.ldesc, std::vector<std::string>{"one"});
}

TEST(TicReader, DescriptionKeepsInnerSpacesAndLosesTrailingOnes) {
  EXPECT_EQ(Parse("Desc  two   spaced  words   \r\n").desc, "two   spaced  words");
  // Tabs are part of the value; only spaces, CR and LF are trimmed.
  EXPECT_EQ(Parse("Desc tab\t \r\n").desc, "tab\t");
}

TEST(TicReader, LaterSingleValueReplacesEarlierOne) {
  EXPECT_EQ(Parse("Desc\r\n").desc, "");
  EXPECT_EQ(Parse("Desc first\r\nDesc\r\nDesc second\r\n").desc, "second");
  EXPECT_EQ(Parse("Area ONE\r\nArea TWO\r\n").area, "TWO");
}

TEST(TicReader, UnknownAndPartialKeywordsAreSkipped) {
  TicRecord tic = Parse("Area\tTAB\r\nAreas LONGER\r\nAr SHORT\r\n\r\n   \r\nX-Foo bar\r\n");
  EXPECT_EQ(tic.area, "");
  EXPECT_EQ(tic.areadesc, "");
}

TEST(TicReader, ListsKeepFileOrderAndDuplicates) {
  TicRecord tic = Parse("Seenby 2:5020/1\r\nSeenby 2:5020/2\r\nSeenby\r\nSeenby 2:5020/1\r\n"
                        "Ldesc first\r\nPath p1\r\nLdesc second\r\n");
  EXPECT_EQ(tic.seenby, (std::vector<std::string>{"2:5020/1", "2:5020/2", "", "2:5020/1"}));
  EXPECT_EQ(tic.ldesc, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(tic.path, std::vector<std::string>{"p1"});
}

TEST(TicReader, LongLineIsCutAndItsRestReadAsALineOfItsOwn) {
  std::string tail = "Area " + std::string(41, 'T');  // 46 characters
  std::string desc = std::string(249, 'd') + tail;      // 300 characters of value
  TicRecord tic = Parse("Desc " + desc + "\r\nFile F\r\n");
  EXPECT_EQ(tic.desc, std::string(249, 'd'));
  EXPECT_EQ(tic.area, std::string(41, 'T'));
  EXPECT_EQ(tic.file, "F");
}

TEST(TicReader, LineOfExactlyTheLimitIsReadWhole) {
  std::string desc(kMaxTicLine - 5, 'x');
  TicRecord tic = Parse("Desc " + desc + "\r\nFile F\r\n");
  EXPECT_EQ(tic.desc, desc);
  EXPECT_EQ(tic.file, "F");
}

TEST(TicReader, BareCrEndsALineAsLfDoes) {
  TicRecord tic = Parse("Desc harmless\rArea EVIL.ECHO\rPw STOLEN\r\nFile F\n");
  EXPECT_EQ(tic.desc, "harmless");
  EXPECT_EQ(tic.area, "EVIL.ECHO");
  EXPECT_EQ(tic.pw, "STOLEN");
  EXPECT_EQ(tic.file, "F");
}

TEST(TicReader, ZeroByteEndsTheLine) {
  TicRecord tic = Parse(std::string("File A.ZIP\0/../../etc/passwd\r\nArea X\r\n", 38));
  EXPECT_EQ(tic.file, "A.ZIP");
  EXPECT_EQ(tic.area, "X");
}
}  // namespace

namespace {

// Reading a TIC only reads it: the checks and their log lines come after,
// and a TIC that cannot be opened, or one too big to be real, says so.
TEST(TicReader, ReadingATicOnlyParsesIt) {
  TempNode node;
  platform::Env& env = platform::DefaultEnv();
  node.WriteFile("in/A.TIC", "Area PELIX.TEST\r\nFile A.ZIP\r\n");
  node.WriteFile("in/BIG.TIC", "File BIG.ZIP\r\n" + std::string(kMaxTicSize, 'x'));
  TicRecord tic;
  tic.desc = "from the TIC before";
  EXPECT_EQ(ReadTic(env, node.Path("in/A.TIC"), tic), TicText::kRead);
  EXPECT_EQ(tic.area, "PELIX.TEST");
  EXPECT_EQ(tic.desc, "");
  EXPECT_EQ(ReadTic(env, node.Path("in/BIG.TIC"), tic), TicText::kTooBig);
  EXPECT_EQ(tic.file, "BIG.ZIP");
  EXPECT_EQ(ReadTic(env, node.Path("in/MISSING.TIC"), tic), TicText::kUnreadable);
  EXPECT_EQ(node.List("in"), (std::vector<std::string>{"A.TIC", "BIG.TIC"}));
  EXPECT_FALSE(node.Exists("pelix.log"));
}

}  // namespace
