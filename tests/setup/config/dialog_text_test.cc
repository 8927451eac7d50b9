// Turning typed texts into configuration fields and back.
#include "setup/config/dialog_text.h"

#include <gtest/gtest.h>

TEST(DialogTextTest, DirectoriesEndInASeparator) {
  const struct {
    const char* typed;
    const char* stored;
  } cases[] = {
      {"C:\\FIDO\\IN", "C:\\FIDO\\IN/"},
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
