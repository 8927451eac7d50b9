#include "common/ini_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ini_text_form.h"

namespace {

// A sysop's file as an editor on Windows leaves it: a byte order mark, CR LF
// line ends, comments, a section nobody knows, a key written twice, and no
// line end after the last line.
const char kSysopsFile[] =
    "\xEF\xBB\xBF; pelix.ini of 2:5020/100\r\n"
    "[pelix]\r\n"
    "dupe_days=3\r\n"
    "# wait two weeks\r\n"
    "\r\n"
    "[Uplink  2:5020/1]\r\n"
    "robot = FileFix\r\n"
    "password = se;cr#et\r\n"
    "robot = AllFix\r\n"
    "; the echo list comes weekly\r\n"
    "\r\n"
    "[colours]\r\n"
    "what is this\r\n"
    "background = blue";

}  // namespace

TEST(IniDocumentTest, ChangesOnlyWhatIsSetAndKeepsEveryOtherByte) {
  IniDocument document(kSysopsFile);
  EXPECT_EQ(document.Text(), kSysopsFile);

  document.Set("pelix", "DUPE_DAYS", " 7 ");
  document.Set("pelix", "rescan_limit", "50\n");
  document.Set("uplink 2:5020/1", "robot", "FileFix");
  document.Set("echo NODELIST", "replaces", "yes");
  EXPECT_TRUE(document.Remove("UPLINK 2:5020/1", "password"));
  EXPECT_FALSE(document.Remove("pelix", "late_file_days"));
  EXPECT_EQ(document.Text(),
            "\xEF\xBB\xBF; pelix.ini of 2:5020/100\r\n"
            "[pelix]\r\n"
            "dupe_days=7\r\n"
            "rescan_limit = 50\r\n"
            "# wait two weeks\r\n"
            "\r\n"
            "[Uplink  2:5020/1]\r\n"
            "robot = FileFix\r\n"
            "robot = FileFix\r\n"
            "; the echo list comes weekly\r\n"
            "\r\n"
            "[colours]\r\n"
            "what is this\r\n"
            "background = blue\r\n"
            "\r\n"
            "[echo NODELIST]\r\n"
            "replaces = yes\r\n");
  // What was written reads back the same.
  EXPECT_EQ(IniDocument(document.Text()).Text(), document.Text());
}

TEST(IniDocumentTest, LastWrittenValueCountsAndNamesCompareLooselyButValuesExactly) {
  IniDocument document(kSysopsFile);
  std::string value;
  ASSERT_TRUE(document.Get("uplink 2:5020/1", "Robot", value));
  EXPECT_EQ(value, "AllFix");
  ASSERT_TRUE(document.Get("UPLINK 2:5020/1", "password", value));
  EXPECT_EQ(value, "se;cr#et");
  ASSERT_TRUE(document.Get("pelix", "dupe_days", value));
  EXPECT_EQ(value, "3");
  EXPECT_FALSE(document.Get("pelix", "wait", value));
  EXPECT_FALSE(document.Get("uplink 2:5020/1.0", "robot", value));

  std::vector<IniLine::Kind> kinds;
  for (const IniLine& line : document.Lines()) kinds.push_back(line.kind);
  using K = IniLine::Kind;
  EXPECT_EQ(kinds, (std::vector<K>{K::kComment, K::kSection, K::kKey, K::kComment, K::kBlank,
                                   K::kSection, K::kKey, K::kKey, K::kKey, K::kComment, K::kBlank,
                                   K::kSection, K::kOther, K::kKey}));
  EXPECT_EQ(document.SectionNames(),
            (std::vector<std::string>{"pelix", "Uplink  2:5020/1", "colours"}));
  EXPECT_EQ(SectionKeyword(" echo  FILES "), "echo");
  EXPECT_EQ(SectionArgument(" echo  FILES "), "FILES");
  EXPECT_EQ(SectionArgument("pelix"), "");
}

TEST(IniDocumentTest, SectionsAreRenamedAndRemovedWithTheirLines) {
  IniDocument document("\xEF\xBB\xBF[echo OLD]\nreplaces = yes\n[echo other]\nreplaces = no\n"
                       "  [echo old]\n; second part\n");
  document.RenameSection("echo old", "echo NEW");
  std::string value;
  EXPECT_TRUE(document.Get("echo new", "replaces", value));
  EXPECT_FALSE(document.HasSection("echo OLD"));
  EXPECT_EQ(document.Text(), "\xEF\xBB\xBF[echo NEW]\nreplaces = yes\n[echo other]\nreplaces = no\n"
                             "  [echo NEW]\n; second part\n");
  document.RemoveSection("ECHO NEW");
  EXPECT_EQ(document.Text(), "[echo other]\nreplaces = no\n");
  // A new key goes under the section's last header.
  document.Set("echo other", "robot", "x");
  EXPECT_EQ(document.Text(), "[echo other]\nreplaces = no\nrobot = x\n");
  IniDocument empty("");
  empty.Set("pelix", "dupe_days", "1");
  EXPECT_EQ(empty.Text(), "[pelix]\ndupe_days = 1\n");
}

TEST(IniTextFormTest, EveryFileComesBackByteForByte) {
  const char kControlBytes[] = "tab\there \"quoted\" back\\slash\x01\x7f\0end\n";
  const std::string files[] = {
      "",
      kSysopsFile,
      "[pelix]\ndupe_days = 1\n",
      "\n\n",
      std::string(kControlBytes, sizeof kControlBytes - 1),
      "\x8f\xe0\xa8\xa2\xa5\xe2 (CP866)\rlone CR\n\\c\n",
  };
  for (const std::string& file : files) {
    std::string back;
    for (const std::string& quoted : QuotedIniLines(file))
      ASSERT_TRUE(AppendQuotedIniLine(quoted, back)) << quoted;
    EXPECT_EQ(back, file);
  }
  EXPECT_EQ(QuotedIniLines("[pelix]\r\nlast"),
            (std::vector<std::string>{"\"[pelix]\\r\"", "\"last\\c\""}));
  for (const char* broken : {"", "\"", "no quotes", "\"a\"b\"", "\"\\q\"", "\"\\x4\"",
                             "\"\\c more\"", "\"ends in \\\""}) {
    std::string file = "kept";
    EXPECT_FALSE(AppendQuotedIniLine(broken, file)) << broken;
    EXPECT_EQ(file, "kept");
  }
}
