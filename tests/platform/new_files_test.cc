// Exclusive creation of new stored messages and the read-only mark.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/platform.h"
#include "tests/support/temp_node.h"

namespace {

TEST(NewFiles, AreCreatedForReadingAndWriting) {
  TempNode node;
  bool exists = true;
  std::FILE* f = platform::OpenNewFile(node.Path("netmail\\7.msg"), exists);
  ASSERT_EQ(f, nullptr);  // no such directory yet
  EXPECT_FALSE(exists);
  node.MakeDir("netmail");
  f = platform::OpenNewFile(node.Path("netmail\\7.msg"), exists);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(exists);
  std::fputs("abc", f);
  std::rewind(f);
  char back[4] = {};
  EXPECT_EQ(std::fread(back, 1, 3, f), 3u);
  EXPECT_STREQ(back, "abc");
  std::fclose(f);
  EXPECT_EQ(node.ReadFile("netmail/7.msg"), "abc");
}

TEST(NewFiles, NeverEmptyOrReplaceAnExistingFile) {
  TempNode node;
  node.WriteFile("netmail/7.MSG", "keep me");
  for (const char* name : {"netmail/7.MSG", "netmail/7.msg", "NETMAIL/7.Msg"}) {
    bool exists = false;
    EXPECT_EQ(platform::OpenNewFile(node.Path(name), exists), nullptr) << name;
    EXPECT_TRUE(exists) << name;
  }
  EXPECT_EQ(node.ReadFile("netmail/7.MSG"), "keep me");
  EXPECT_EQ(node.List("netmail"), std::vector<std::string>{"7.MSG"});
}

TEST(NewFiles, TestsCanMakeCreationFail) {
  TempNode node;
  platform::FailNewFilesAfter(1);
  bool exists = true;
  std::FILE* first = platform::OpenNewFile(node.Path("1.msg"), exists);
  ASSERT_NE(first, nullptr);
  std::fclose(first);
  EXPECT_EQ(platform::OpenNewFile(node.Path("2.msg"), exists), nullptr);
  EXPECT_FALSE(exists);
  EXPECT_FALSE(node.Exists("2.msg"));
  platform::FailNewFilesAfter(std::nullopt);
  std::FILE* again = platform::OpenNewFile(node.Path("2.msg"), exists);
  ASSERT_NE(again, nullptr);
  std::fclose(again);
}

TEST(ReadOnlyMark, IsSeenWhateverTheUser) {
  TempNode node;
  node.WriteFile("netmail/1.msg", "x");
  EXPECT_FALSE(platform::IsReadOnly(node.Path("netmail/1.msg")));
  ASSERT_EQ(::chmod(node.Path("netmail/1.msg").c_str(), 0444), 0);
  EXPECT_TRUE(platform::IsReadOnly(node.Path("NETMAIL\\1.MSG")));
  EXPECT_FALSE(platform::IsReadOnly(node.Path("netmail/missing.msg")));
}

}  // namespace
