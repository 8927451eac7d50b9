// The advisory lock on byte 0 that JAM readers and writers share, and the
// replacing rename.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/foreign_lock.h"
#include "tests/support/temp_node.h"

namespace {

TEST(RecordLock, LockHeldByAnotherProgramIsWaitedForThenRefused) {
  TempNode node;
  node.WriteFile("base.jhr", "JAM");
  platform::FilePtr file = platform::DefaultEnv().Open(node.Path("base.jhr"), platform::OpenMode::kUpdate);
  ASSERT_NE(file, nullptr);
  ForeignLock reader(node.Path("base.jhr"));
  EXPECT_FALSE(file->LockFirstByte(300));
  reader.Release();
  EXPECT_TRUE(file->LockFirstByte(300));
}

TEST(Files, ReplaceFilePutsTheNewFileInPlaceOfTheOld) {
  TempNode node;
  node.WriteFile("db/~Announce.TEST", "rest\r\n");
  node.WriteFile("db/Announce.TEST", "all\r\nrest\r\n");
  EXPECT_TRUE(platform::DefaultEnv().ReplaceFile(node.Path("db/~Announce.TEST"), node.Path("db/announce.test")));
  EXPECT_EQ(node.List("db"), (std::vector<std::string>{"Announce.TEST"}));
  EXPECT_EQ(node.ReadFile("db/Announce.TEST"), "rest\r\n");
  EXPECT_FALSE(platform::DefaultEnv().ReplaceFile(node.Path("db/missing"), node.Path("db/Announce.TEST")));
  EXPECT_EQ(node.ReadFile("db/Announce.TEST"), "rest\r\n");
}

}  // namespace
