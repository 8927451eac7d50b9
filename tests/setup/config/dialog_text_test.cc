// Turning typed texts into configuration fields and back.
#include "setup/config/dialog_text.h"

#include <gtest/gtest.h>

#include "setup/config/code_page.h"

TEST(DialogTextTest, DirectoriesEndInASeparator) {
  const struct {
    const char* typed;
    const char* stored;
  } cases[] = {
      {"C:\\FIDO\\IN", "C:\\FIDO\\IN\\"},  // the path's own separator
      {"C:\\FIDO/IN", "C:\\FIDO/IN/"},
      {"C:\\FIDO\\IN\\", "C:\\FIDO\\IN\\"},
      {"C:/FIDO/IN/", "C:/FIDO/IN/"},
      {"/var/fido/in", "/var/fido/in/"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredDirectory(c.typed), c.stored) << c.typed;
}

TEST(DialogTextTest, TooLongDirectoryStillFitsItsFieldWithSeparatorAndZero) {
  std::string typed(254, 'd');
  std::string stored = StoredDirectory(typed);
  EXPECT_EQ(stored.size(), 254u);
  EXPECT_EQ(stored, std::string(253, 'd') + "/");

  std::string with_separator = std::string(253, 'd') + "\\";
  EXPECT_EQ(StoredDirectory(with_separator), with_separator);
  EXPECT_EQ(StoredDirectory(std::string(400, 'd')), std::string(253, 'd') + "/");
  EXPECT_EQ(StoredDirectory(std::string(253, 'd')), std::string(253, 'd') + "/");
  EXPECT_EQ(StoredDirectory("\\" + std::string(300, 'd')), "\\" + std::string(252, 'd') + "\\");
}

TEST(DialogTextTest, TextsKeepAtMost254Characters) {
  EXPECT_EQ(StoredText(std::string(300, 'x')), std::string(254, 'x'));
  EXPECT_EQ(StoredText("C:\\FIDO\\TIC.LOG"), "C:\\FIDO\\TIC.LOG");
  EXPECT_EQ(StoredText("C:\\FIDO\\"), "C:\\FIDO\\");
}

TEST(DialogTextTest, UtcOffsetShowsASignOnlyWhenPositive) {
  EXPECT_EQ(UtcOffsetText(3), "+3");
  EXPECT_EQ(UtcOffsetText(0), "0");
  EXPECT_EQ(UtcOffsetText(-2), "-2");
}

TEST(DialogTextTest, UtcOffsetIsReadAsADecimalFromItsFirst24Characters) {
  const struct {
    std::string typed;
    int32_t hours;
  } cases[] = {
      {"+3", 3}, {"3", 3}, {"3h", 3}, {"  -2", -2}, {"abc", 0}, {"", 0},
      {std::string(23, ' ') + "5", 5}, {std::string(24, ' ') + "5", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(UtcOffsetValue(c.typed), c.hours) << c.typed;
}

// Every byte reads as a character of its page and comes back as itself, so
// no text of a file is changed by showing and storing it.
TEST(DialogTextTest, EveryCodePageGivesEveryByteBackUnchanged) {
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  const struct {
    CodePage page;
    unsigned char byte;
    char16_t character;
  } known[] = {
      {CodePage::kLatin1, 0xE9, u'\u00E9'},  {CodePage::kCp437, 0x82, u'\u00E9'},
      {CodePage::kCp437, 0xE1, u'\u00DF'},   {CodePage::kCp850, 0xD5, u'\u0131'},
      {CodePage::kCp866, 0x80, u'\u0410'},   {CodePage::kCp866, 0xF1, u'\u0451'},
      {CodePage::kCp1251, 0xC0, u'\u0410'},  {CodePage::kCp1252, 0x80, u'\u20AC'},
  };
  for (CodePage page : CodePages()) {
    std::u16string text = DecodeText(all, page);
    std::string bytes;
    EXPECT_TRUE(EncodeText(text, page, bytes)) << CodePageName(page);
    EXPECT_EQ(bytes, all) << CodePageName(page);
    CodePage named;
    EXPECT_TRUE(CodePageFromName(CodePageName(page), named));
    EXPECT_EQ(named, page);
  }
  for (const auto& k : known) {
    EXPECT_EQ(DecodeText(std::string(1, static_cast<char>(k.byte)), k.page)[0], k.character)
        << CodePageName(k.page) << " " << int(k.byte);
  }
  std::string bytes;
  EXPECT_FALSE(EncodeText(u"\u0416x", CodePage::kCp437, bytes));
  EXPECT_EQ(bytes, "x");
  EXPECT_FALSE(EncodeText(u"\u20AC", CodePage::kLatin1, bytes));
}
