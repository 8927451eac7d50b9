// Which TIC File and Area values may become part of a path.
#include "processor/tic/safe_name.h"

#include <gtest/gtest.h>

#include "common/text_helpers.h"

namespace {

TEST(SafeName, PlainNamesPass) {
  for (const char* name : {"", "FILE.ZIP", "long file name.tar.gz", "PELIX.TEST",
                           "\x8e\xa0\xa9\xab.txt", "name~1", ".hidden"}) {
    EXPECT_EQ(UnsafeNameReason(name), nullptr) << name;
  }
}

TEST(SafeName, NamesThatCouldLeaveTheDirectoryAreRefusedWithAReason) {
  const struct {
    const char* name;
    const char* reason;
  } cases[] = {
      {"../x", "holds a path separator"},
      {"sub/x.zip", "holds a path separator"},
      {"sub\\x.zip", "holds a path separator"},
      {"/etc/passwd", "holds a path separator"},
      {"..", "holds \"..\""},
      {"x..zip", "holds \"..\""},
      {"C:X.ZIP", "holds a drive or device colon"},
      {"NUL:", "holds a drive or device colon"},
      {"A\tB", "holds a control character"},
      {"A\rB", "holds a control character"},
      {"A\x7f", "holds a control character"},
      {".", "names the directory itself"},
      {"*.*", "holds a wildcard"},
      {"FILE?.ZIP", "holds a wildcard"},
  };
  for (const auto& c : cases) {
    const char* why = UnsafeNameReason(c.name);
    ASSERT_NE(why, nullptr) << c.name;
    EXPECT_STREQ(why, c.reason) << c.name;
  }
}

TEST(SafeName, LoggableTextShowsControlCharactersAsQuestionMarks) {
  EXPECT_EQ(LoggableText("A\rB\x1b[2J"), "A?B?[2J");
  EXPECT_EQ(LoggableText("plain"), "plain");
}

}  // namespace
