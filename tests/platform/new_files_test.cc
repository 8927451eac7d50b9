// Exclusive creation of new stored messages and the read-only mark.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/platform.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

TEST(NewFiles, AreCreatedForReadingAndWriting) {
  TempNode node;
  bool exists = true;
  platform::FilePtr f = platform::OpenNewFile(platform::DefaultEnv(), node.Path("netmail\\7.msg"), exists);
  ASSERT_EQ(f, nullptr);  // no such directory yet
  EXPECT_FALSE(exists);
  node.MakeDir("netmail");
  f = platform::OpenNewFile(platform::DefaultEnv(), node.Path("netmail\\7.msg"), exists);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(exists);
  ASSERT_TRUE(f->Write("abc"));
  ASSERT_TRUE(f->Seek(0));
  char back[4] = {};
  size_t got = 0;
  ASSERT_TRUE(f->Read(back, 3, got));
  EXPECT_EQ(got, 3u);
  EXPECT_STREQ(back, "abc");
  EXPECT_TRUE(f->Close());
  EXPECT_EQ(node.ReadFile("netmail/7.msg"), "abc");
}

TEST(NewFiles, NeverEmptyOrReplaceAnExistingFile) {
  TempNode node;
  node.WriteFile("netmail/7.MSG", "keep me");
  for (const char* name : {"netmail/7.MSG", "netmail/7.msg", "NETMAIL/7.Msg"}) {
    bool exists = false;
    EXPECT_EQ(platform::OpenNewFile(platform::DefaultEnv(), node.Path(name), exists), nullptr) << name;
    EXPECT_TRUE(exists) << name;
  }
  EXPECT_EQ(node.ReadFile("netmail/7.MSG"), "keep me");
  EXPECT_EQ(node.List("netmail"), std::vector<std::string>{"7.MSG"});
}

// A rewrite that fails at any step (a full disk while writing or syncing,
// a failing rename) leaves the old file whole and no side file behind.
TEST(RewriteFile, KeepsTheOldContentsWhenAnyStepFails) {
  TempNode node;
  const std::string path = node.Path("pelix.fe");
  for (FaultyEnv::Op op : {FaultyEnv::Op::kCreate, FaultyEnv::Op::kWrite, FaultyEnv::Op::kSync,
                           FaultyEnv::Op::kReplace}) {
    node.WriteFile("pelix.fe", "old contents");
    FaultyEnv env;
    env.Fail(op);
    EXPECT_FALSE(platform::RewriteFile(env, path, "new contents"));
    EXPECT_EQ(env.failures(op), 1);
    EXPECT_EQ(node.ReadFile("pelix.fe"), "old contents");
    EXPECT_EQ(node.List(""), std::vector<std::string>{"pelix.fe"});
  }
  EXPECT_TRUE(platform::RewriteFile(platform::DefaultEnv(), path, "new contents"));
  EXPECT_EQ(node.ReadFile("pelix.fe"), "new contents");
  EXPECT_EQ(node.List(""), std::vector<std::string>{"pelix.fe"});
}

// A file of passwords is made readable by its owner alone, and a rewrite
// keeps whatever mode the sysop gave the file it replaces.
TEST(RewriteFile, MakesPrivateFilesPrivateAndKeepsAReplacedFilesMode) {
  TempNode node;
  platform::Env& env = platform::DefaultEnv();
  auto mode_of = [&](const char* name) {
    struct stat st {};
    EXPECT_EQ(::stat(node.Path(name).c_str(), &st), 0) << name;
    return st.st_mode & 07777;
  };
  ASSERT_TRUE(platform::RewriteFile(env, node.Path("pelix.nod"), "x", platform::kPrivateFileMode));
  EXPECT_EQ(mode_of("pelix.nod"), 0600u);
  ASSERT_EQ(::chmod(node.Path("pelix.nod").c_str(), 0640), 0);
  ASSERT_TRUE(platform::RewriteFile(env, node.Path("pelix.nod"), "y", platform::kPrivateFileMode));
  EXPECT_EQ(mode_of("pelix.nod"), 0640u);
  node.WriteFile("pelix.fe", "old");
  ASSERT_EQ(::chmod(node.Path("pelix.fe").c_str(), 0604), 0);
  ASSERT_TRUE(platform::RewriteFile(env, node.Path("pelix.fe"), "new"));
  EXPECT_EQ(mode_of("pelix.fe"), 0604u);
}

TEST(ReadOnlyMark, IsSeenWhateverTheUser) {
  TempNode node;
  node.WriteFile("netmail/1.msg", "x");
  EXPECT_FALSE(platform::DefaultEnv().IsReadOnly(node.Path("netmail/1.msg")));
  ASSERT_EQ(::chmod(node.Path("netmail/1.msg").c_str(), 0444), 0);
  EXPECT_TRUE(platform::DefaultEnv().IsReadOnly(node.Path("NETMAIL\\1.MSG")));
  EXPECT_FALSE(platform::DefaultEnv().IsReadOnly(node.Path("netmail/missing.msg")));
}

}  // namespace
