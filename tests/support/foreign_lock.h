// Another process that locks byte 0 of a file the way a JAM reader locks a
// base's ".jhr" file, and holds the lock until Release().
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

// Whether another process could take a write lock on byte 0 of `path` now.
inline bool FirstByteFreeForOthers(const std::string& path) {
  pid_t pid = ::fork();
  if (pid == 0) {
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_len = 1;
    ::_exit(fd >= 0 && ::fcntl(fd, F_SETLK, &lock) == 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
  ForeignLock(const ForeignLock&) = delete;
  ForeignLock& operator=(const ForeignLock&) = delete;

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
