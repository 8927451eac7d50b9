#include "common/text_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> AllTokens(const std::string& text, char sep) {
  std::vector<std::string> tokens;
  size_t pos = 0;
  for (int guard = 0; guard < 100; ++guard) {
    std::string token = NextToken(text, pos, sep);
    if (token.empty()) break;
    tokens.push_back(token);
  }
  return tokens;
}

TEST(NextToken, RunsOfSeparatorsCountAsOne) {
  std::string text = ",,1,,22,";
  size_t pos = 0;
  EXPECT_EQ(NextToken(text, pos, ','), "1");
  EXPECT_EQ(NextToken(text, pos, ','), "22");
  EXPECT_EQ(pos, text.size());
  EXPECT_EQ(NextToken(text, pos, ','), "");
  EXPECT_EQ(AllTokens("a b  c", ' '), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(NextToken, EmptyTextOrPositionPastEndGivesNothing) {
  size_t pos = 0;
  EXPECT_EQ(NextToken("", pos, ','), "");
  EXPECT_EQ(pos, 0u);
  pos = 10;
  EXPECT_EQ(NextToken("abc", pos, ','), "");
  EXPECT_EQ(pos, 10u);
}

TEST(NextToken, LongTokenIsCutNotOverflowed) {
  std::string text(1000, 'x');
  size_t pos = 0;
  EXPECT_EQ(NextToken(text, pos, ',').size(), kMaxTokenLength);
  EXPECT_EQ(pos, text.size());
}

TEST(LookupKeyword, MatchesWholeWordsWithOrWithoutCase) {
  const Keyword table[] = {{"/H", 1}, {"/A", 2}, {"Area", 3}, {"", 0}};
  EXPECT_EQ(LookupKeyword(table, "/a", 0, false), 2);
  EXPECT_EQ(LookupKeyword(table, "/h", 0, false), 1);
  EXPECT_EQ(LookupKeyword(table, "/a", -1, true), -1);
  EXPECT_EQ(LookupKeyword(table, "AREA", 0, false), 3);
  EXPECT_EQ(LookupKeyword(table, "Areadesc", 9, false), 9);
  EXPECT_EQ(LookupKeyword(table, "", 9, false), 9);  // the end pair never matches
}

TEST(DecimalValue, ReadsLikeTheCLibrary) {
  EXPECT_EQ(DecimalValue("  +42abc"), 42);
  EXPECT_EQ(DecimalValue("-5"), -5);
  EXPECT_EQ(DecimalValue("x1"), 0);
  EXPECT_EQ(DecimalValue(""), 0);
  EXPECT_EQ(static_cast<uint16_t>(DecimalValue("70000")), 4464);
  // A huge number must not overflow into undefined behaviour.
  EXPECT_EQ(static_cast<uint16_t>(DecimalValue("99999999999999999999999999")),
            static_cast<uint16_t>(DecimalValue("99999999999999999999999999")));
}

TEST(DateTexts, NamesAndTwoDigitYears) {
  EXPECT_STREQ(MonthName(1), "Jan");
  EXPECT_STREQ(MonthName(12), "Dec");
  EXPECT_STREQ(MonthName(0), "");
  EXPECT_STREQ(MonthName(13), "");
  EXPECT_STREQ(WeekdayName(0), "Sun");
  EXPECT_STREQ(WeekdayName(6), "Sat");
  EXPECT_STREQ(WeekdayName(7), "");
  EXPECT_STREQ(WeekdayName(-1), "");
  EXPECT_EQ(TwoDigitYear(1999), 99u);
  EXPECT_EQ(TwoDigitYear(2005), 5u);
  EXPECT_EQ(TwoDigitYear(2026), 26u);
}

TEST(CaseHelpers, CompareAndConvertAsciiOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Pelix.Test", "PELIX.TEST"));
  EXPECT_FALSE(EqualsIgnoreCase("abc", "abcd"));
  EXPECT_EQ(ToUpperAscii("abc\xe4"), "ABC\xe4");
  EXPECT_EQ(ToLowerAscii("ABC"), "abc");
}

}  // namespace
