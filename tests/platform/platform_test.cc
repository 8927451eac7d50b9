#include "platform/platform.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

std::vector<std::string> Names(const std::vector<platform::DirEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name);
  return names;
}

TEST(DirectorySearch, MatchesWildcardsWithoutRegardToCase) {
  TempNode node;
  node.WriteFile("in/AREA1.TIC", "x");
  node.WriteFile("in/area2.tic", "x");
  node.WriteFile("in/other.txt", "x");
  node.MakeDir("in/sub.tic");
  std::vector<platform::DirEntry> found = platform::DefaultEnv().FindFiles(node.Path("in/*.tic"));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"AREA1.TIC", "area2.tic", "sub.tic"}));
  EXPECT_TRUE(found[2].is_directory);
  EXPECT_EQ(Names(platform::DefaultEnv().FindFiles(node.Path("in/area?.TIC"))),
            (std::vector<std::string>{"AREA1.TIC", "area2.tic"}));
  EXPECT_EQ(platform::DefaultEnv().FindFiles(node.Path("in/*.*")).size(), 4u);
  EXPECT_TRUE(platform::DefaultEnv().FindFiles(node.Path("missing/*.tic")).empty());
  // A directory that is not there is told from an empty one.
  EXPECT_TRUE(platform::DefaultEnv().ListFiles(node.Path("in/*.zip"), found));
  EXPECT_TRUE(found.empty());
  EXPECT_FALSE(platform::DefaultEnv().ListFiles(node.Path("missing/*.tic"), found));
  EXPECT_EQ(errno, ENOENT);
}

TEST(DirectorySearch, BackslashesAndDirectoryCaseAreFound) {
  TempNode node;
  node.WriteFile("Inbound/A.TIC", "x");
  EXPECT_EQ(platform::DefaultEnv().FindFiles(node.dir() + "inbound\\*.tic").size(), 1u);
}

// A kept directory answers from its listing what a fresh look answers:
// our own new names in another case, names another program removed.
TEST(DirectorySearch, KeptNamesAnswerAsTheDirectoryDoes) {
  TempNode node;
  node.WriteFile("queue/OLD.ZIP", "x");
  node.WriteFile("queue/GONE.ZIP", "x");
  platform::DefaultEnv().KeepNamesOf(node.Path("queue"));
  EXPECT_TRUE(platform::DefaultEnv().Exists(node.Path("queue/old.zip")));
  EXPECT_FALSE(platform::DefaultEnv().Exists(node.Path("queue/new.zip")));
  ASSERT_TRUE(platform::DefaultEnv().CopyFile(node.Path("queue/OLD.ZIP"), node.Path("queue/New.Zip"), platform::Durability::kForced));
  ASSERT_TRUE(platform::DefaultEnv().MakeDirectory(node.Path("queue/px0001")));
  EXPECT_EQ(platform::DefaultEnv().NativePath(node.Path("queue/NEW.ZIP")), node.Path("queue/New.Zip"));
  ASSERT_EQ(::unlink(node.Path("queue/GONE.ZIP").c_str()), 0);  // another program
  node.WriteFile("queue/gone.zip", "y");
  EXPECT_EQ(platform::DefaultEnv().NativePath(node.Path("queue/Gone.zip")), node.Path("queue/gone.zip"));
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile(node.Path("queue/OLD.ZIP")));
  EXPECT_FALSE(platform::DefaultEnv().Exists(node.Path("queue/old.zip")));
  const char* masks[] = {"*", "PX*", "new.*", "PX0001.*", "g?ne.zip", "a*"};
  std::vector<std::vector<platform::DirEntry>> kept;
  for (const char* mask : masks) kept.push_back(platform::DefaultEnv().FindFiles(node.Path("queue/") + mask));
  platform::DefaultEnv().ForgetKeptNames();
  for (size_t i = 0; i < std::size(masks); ++i)
    EXPECT_EQ(Names(kept[i]), Names(platform::DefaultEnv().FindFiles(node.Path("queue/") + masks[i]))) << masks[i];
  EXPECT_EQ(Names(kept[0]), (std::vector<std::string>{"New.Zip", "gone.zip", "px0001"}));
  EXPECT_TRUE(kept[0][2].is_directory);
  EXPECT_EQ(Names(kept[1]), std::vector<std::string>{"px0001"});
  EXPECT_EQ(Names(kept[3]), std::vector<std::string>{"px0001"});
}

// A file area is never kept: a name a BBS adds there while a pass runs is
// found as soon as the directory shows the change, in any letter case.
TEST(DirectorySearch, NamesAnotherProgramAddsToAFileAreaAreSeenAtOnce) {
  TempNode node;
  platform::Env& env = platform::DefaultEnv();
  node.WriteFile("in/FILE.ZIP", "arrived");
  node.MakeDir("area");
  env.KeepNamesOf(node.Path("queue"));  // a pass runs
  ASSERT_TRUE(env.CopyFile(node.Path("in/FILE.ZIP"), node.Path("area/ONE.ZIP"),
                           platform::Durability::kForced));
  EXPECT_EQ(env.NativePath(node.Path("area/TWO.ZIP")), node.Path("area/TWO.ZIP"));
  node.WriteFile("area/two.zip", "the BBS's");
  // The directory's time tells of the change (set apart from our own copy's,
  // which the clock's tick may share).
  const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, node.Path("area").c_str(), later, 0), 0);
  ASSERT_TRUE(env.CopyFile(node.Path("in/FILE.ZIP"), node.Path("area/TWO.ZIP"),
                           platform::Durability::kForced));
  env.ForgetKeptNames();
  EXPECT_EQ(node.List("area"), (std::vector<std::string>{"ONE.ZIP", "two.zip"}));
  EXPECT_EQ(node.ReadFile("area/two.zip"), "arrived");
}

TEST(DirectorySearch, NameDotStarAlsoFindsTheBareName) {
  TempNode node;
  node.MakeDir("out");
  node.MakeDir("out.001");
  node.MakeDir("outer");
  EXPECT_EQ(Names(platform::DefaultEnv().FindFiles(node.Path("out.*"))),
            (std::vector<std::string>{"out", "out.001"}));
}

TEST(Files, OpenFindsAnExistingNameInAnotherCase) {
  TempNode node;
  node.WriteFile("in/FILE.ZIP", "data");
  std::string bytes;
  EXPECT_TRUE(platform::ReadWholeFile(platform::DefaultEnv(), node.Path("in/file.zip"), bytes));
  EXPECT_EQ(bytes, "data");
  EXPECT_TRUE(platform::DefaultEnv().Exists(node.Path("IN\\File.Zip")));
  // An append goes to it too, and its size follows the writes.
  platform::FilePtr file = platform::DefaultEnv().Open(node.Path("in/file.zip"), platform::OpenMode::kAppend);
  int64_t size = 0;
  ASSERT_TRUE(file && file->Size(size) && file->Write("+"));
  EXPECT_EQ(size, 4);
  EXPECT_TRUE(file->Size(size) && file->Close());
  EXPECT_EQ(size, 5);
  EXPECT_EQ(node.ReadFile("in/FILE.ZIP"), "data+");
  // A new file is created with the name as given.
  EXPECT_TRUE(platform::WriteWholeFile(platform::DefaultEnv(), node.Path("in/New.Txt"), "n"));
  EXPECT_TRUE(node.Exists("in/New.Txt"));
}

TEST(Files, MoveNeverReplacesCopyDoes) {
  TempNode node;
  node.WriteFile("a", "first");
  node.WriteFile("b", "second");
  EXPECT_FALSE(platform::DefaultEnv().MoveFile(node.Path("a"), node.Path("b")));
  EXPECT_FALSE(platform::DefaultEnv().MoveFile(node.Path("a"), node.Path("B")));  // same file on Windows
  EXPECT_EQ(node.ReadFile("b"), "second");
  EXPECT_EQ(node.ReadFile("a"), "first");
  EXPECT_TRUE(platform::DefaultEnv().MoveFile(node.Path("a"), node.Path("c")));
  EXPECT_FALSE(node.Exists("a"));
  EXPECT_EQ(node.ReadFile("c"), "first");
  EXPECT_FALSE(platform::DefaultEnv().MoveFile(node.Path("missing"), node.Path("d")));

  EXPECT_TRUE(platform::DefaultEnv().CopyFile(node.Path("c"), node.Path("b"), platform::Durability::kForced));
  EXPECT_EQ(node.ReadFile("b"), "first");
  EXPECT_FALSE(platform::DefaultEnv().CopyFile(node.Path("missing"), node.Path("e"), platform::Durability::kForced));
  EXPECT_FALSE(node.Exists("e"));

  // A sparse file (data, a hole, data, a hole to its end) and an empty one
  // are copied byte for byte, the holes kept.
  const int fd = ::open(node.Path("sparse").c_str(), O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, "head", 4, 0), 4);
  ASSERT_EQ(::pwrite(fd, "middle", 6, 3 << 20), 6);
  ASSERT_EQ(::ftruncate(fd, 8 << 20), 0);
  ASSERT_EQ(::close(fd), 0);
  node.WriteFile("empty", "");
  for (const char* name : {"sparse", "empty"}) {
    const std::string copy = std::string(name) + ".copy";
    ASSERT_TRUE(platform::DefaultEnv().CopyFile(node.Path(name), node.Path(copy),
                                                platform::Durability::kForced));
    EXPECT_EQ(node.ReadFile(copy), node.ReadFile(name)) << name;
  }
  struct stat copied;
  ASSERT_EQ(::stat(node.Path("sparse.copy").c_str(), &copied), 0);
  EXPECT_LT(copied.st_blocks * 512, 1 << 20);
}

TEST(Files, ArrivedFilesAreNeverReadThroughASymbolicLink) {
  TempNode node;
  node.WriteFile("secret", "not for the links");
  ASSERT_EQ(::symlink("secret", node.Path("link").c_str()), 0);
  using platform::OpenMode;
  const struct {
    const char* name;
    bool regular;
  } cases[] = {{"secret", true}, {"link", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = node.Path(c.name);
    EXPECT_EQ(platform::DefaultEnv().IsRegularFile(path), c.regular);
    EXPECT_EQ(platform::DefaultEnv().Open(path, OpenMode::kReadNoFollow) != nullptr, c.regular);
    EXPECT_EQ(platform::DefaultEnv().Open(path, OpenMode::kUpdateNoFollow) != nullptr, c.regular);
    EXPECT_EQ(platform::DefaultEnv().CopyFile(path, node.Path("copy"), platform::Durability::kForced), c.regular);
    // A second name for a symbolic link would be followed by the mailer.
    EXPECT_EQ(platform::DefaultEnv().LinkFile(path, node.Path(std::string("named-") + c.name)), c.regular);
    EXPECT_EQ(node.Exists(std::string("named-") + c.name), c.regular);
    // The configuration may be linked in by the sysop.
    EXPECT_NE(platform::DefaultEnv().Open(path, OpenMode::kRead), nullptr);
  }
  EXPECT_FALSE(platform::DefaultEnv().IsRegularFile(node.dir()));
}

TEST(Files, ExclusiveCreationRefusesAnExistingFlag) {
  TempNode node;
  EXPECT_TRUE(platform::CreateExclusive(platform::DefaultEnv(), node.Path("pelix.bsy")));
  EXPECT_FALSE(platform::CreateExclusive(platform::DefaultEnv(), node.Path("pelix.bsy")));
  EXPECT_FALSE(platform::CreateExclusive(platform::DefaultEnv(), node.Path("PELIX.BSY")));
  EXPECT_TRUE(platform::DefaultEnv().DeleteFile(node.Path("pelix.bsy")));
  EXPECT_FALSE(platform::DefaultEnv().DeleteFile(node.Path("pelix.bsy")));
}

TEST(Directories, CreationToleratesAnExistingDirectory) {
  TempNode node;
  EXPECT_TRUE(platform::DefaultEnv().MakeDirectory(node.Path("q/")));
  EXPECT_TRUE(platform::DefaultEnv().MakeDirectory(node.Path("q")));
  EXPECT_TRUE(platform::DefaultEnv().MakeDirectory(node.Path("Q")));  // same directory, other case
  EXPECT_FALSE(platform::DefaultEnv().MakeDirectory(node.Path("x/y/z")));
  EXPECT_FALSE(platform::DefaultEnv().DeleteFile(node.Path("q")));
  // Only an empty directory is removed.
  node.WriteFile("q/copy.zip", "x");
  EXPECT_FALSE(platform::DefaultEnv().RemoveEmptyDirectory(node.Path("Q")));
  EXPECT_FALSE(platform::DefaultEnv().RemoveEmptyDirectory(node.Path("q/copy.zip")));
  ASSERT_TRUE(platform::DefaultEnv().DeleteFile(node.Path("q/copy.zip")));
  EXPECT_TRUE(platform::DefaultEnv().RemoveEmptyDirectory(node.Path("Q")));
  EXPECT_FALSE(node.Exists("q"));
}

TEST(Clock, TestsCanFixIt) {
  FaultyEnv env;
  env.UseFakeClock(0);  // Thursday 1 January 1970, TZ=UTC in the tests
  platform::LocalTime t = platform::LocalNow(env);
  EXPECT_EQ(env.UtcSeconds(), 0);
  EXPECT_EQ(t.year, 1970);
  EXPECT_EQ(t.month, 1);
  EXPECT_EQ(t.day, 1);
  EXPECT_EQ(t.weekday, 4);
  env.UseFakeClock(1600000000);  // Sun 13 Sep 2020 12:26:40 UTC
  t = platform::LocalNow(env);
  EXPECT_EQ(t.weekday, 0);
  EXPECT_EQ(t.hour, 12);
  EXPECT_EQ(t.minute, 26);
  EXPECT_EQ(t.second, 40);
  EXPECT_GT(platform::DefaultEnv().UtcSeconds(), 1600000000);
}

}  // namespace

namespace {

TEST(Files, ExclusiveOpenNeverTouchesAnExistingFile) {
  TempNode node;
  node.WriteFile("ticout/PX000001.TIC", "old");
  bool exists = false;
  EXPECT_EQ(platform::OpenNewFile(platform::DefaultEnv(), node.Path("ticout/px000001.tic"), exists), nullptr);
  EXPECT_TRUE(exists);
  EXPECT_EQ(node.ReadFile("ticout/PX000001.TIC"), "old");
  EXPECT_EQ(platform::OpenNewFile(platform::DefaultEnv(), node.Path("missing/px000002.tic"), exists), nullptr);
  EXPECT_FALSE(exists);
  platform::FilePtr made = platform::OpenNewFile(platform::DefaultEnv(), node.Path("TicOut\\px000002.tic"), exists);
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->Write("Area X\r\n"));
  EXPECT_TRUE(made->Close());
  EXPECT_EQ(node.ReadFile("ticout/px000002.tic"), "Area X\r\n");
}

}  // namespace
