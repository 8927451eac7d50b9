// The advisory lock on byte 0 that JAM readers and writers share, and the
// replacing rename.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/temp_node.h"

namespace {

// A second process that locks byte 0 of `path` the way a JAM reader does
// and holds the lock until Release().
class ForeignLock {
 public:
  explicit ForeignLock(const std::string& path) {
    int ready[2];
    EXPECT_EQ(::pipe(ready), 0);
    EXPECT_EQ(::pipe(release_), 0);
    pid_ = ::fork();
    if (pid_ == 0) {
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_len = 1;
      char ok = (fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0) ? 'y' : 'n';
      (void)!::write(ready[1], &ok, 1);
      char c;
      (void)!::read(release_[0], &c, 1);
      ::_exit(0);
    }
    char ok = 'n';
    EXPECT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y') << "the other process could not lock " << path;
    ::close(ready[0]);
    ::close(ready[1]);
  }
  ~ForeignLock() { Release(); }
  void Release() {
    if (pid_ <= 0) return;
    (void)!::write(release_[1], "x", 1);
    ::waitpid(pid_, nullptr, 0);
    ::close(release_[0]);
    ::close(release_[1]);
    pid_ = 0;
  }

 private:
  pid_t pid_ = 0;
  int release_[2] = {-1, -1};
};

TEST(RecordLock, LockHeldByAnotherProgramIsWaitedForThenRefused) {
  TempNode node;
  node.WriteFile("base.jhr", "JAM");
  std::FILE* file = platform::OpenFile(node.Path("base.jhr"), "r+");
  ASSERT_NE(file, nullptr);
  ForeignLock reader(node.Path("base.jhr"));
  EXPECT_FALSE(platform::LockFirstByte(file, 300));
  reader.Release();
  EXPECT_TRUE(platform::LockFirstByte(file, 300));
  std::fclose(file);
}

TEST(RecordLock, OurLockKeepsOthersOutUntilUnlocked) {
  TempNode node;
  node.WriteFile("base.jhr", "JAM");
  std::string path = node.Path("base.jhr");
  std::FILE* file = platform::OpenFile(path, "r+");
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(platform::LockFirstByte(file, 0));
  // Ask another process whether byte 0 is free.
  auto locked_for_others = [&] {
    pid_t pid = ::fork();
    if (pid == 0) {
      int fd = ::open(path.c_str(), O_RDWR);
      struct flock lock {};
      lock.l_type = F_WRLCK;
      lock.l_whence = SEEK_SET;
      lock.l_len = 1;
      ::_exit(::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 1;
  };
  EXPECT_TRUE(locked_for_others());
  platform::UnlockFirstByte(file);
  EXPECT_FALSE(locked_for_others());
  std::fclose(file);
}

TEST(Files, ReplaceFilePutsTheNewFileInPlaceOfTheOld) {
  TempNode node;
  node.WriteFile("db/~Announce.TEST", "rest\r\n");
  node.WriteFile("db/Announce.TEST", "all\r\nrest\r\n");
  EXPECT_TRUE(platform::ReplaceFile(node.Path("db/~Announce.TEST"), node.Path("db/announce.test")));
  EXPECT_EQ(node.List("db"), (std::vector<std::string>{"Announce.TEST"}));
  EXPECT_EQ(node.ReadFile("db/Announce.TEST"), "rest\r\n");
  EXPECT_FALSE(platform::ReplaceFile(node.Path("db/missing"), node.Path("db/Announce.TEST")));
  EXPECT_EQ(node.ReadFile("db/Announce.TEST"), "rest\r\n");
}

}  // namespace
