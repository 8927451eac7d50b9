// FILES.BBS and announce database lines, and where placed files land.
#include "processor/tic/file_area.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "processor/config_store.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

// A short name fills 12 columns; a long one is written whole (cut, it would
// name a file that is not there), then one space and the description.
TEST(FileAreaLines, NameIsPaddedToTwelveCharactersOrWrittenWhole) {
  const struct {
    const char* file;
    const char* desc;
    bool counter;
    const char* line;
  } cases[] = {
      {"FILE.ZIP", "A file", false, "FILE.ZIP     A file\r\n"},
      {"EXACTLY8.ZIP", "Twelve", false, "EXACTLY8.ZIP Twelve\r\n"},
      {"nodelist_2026-12-08_weekly.tar.gz", "Whole", false,
       "nodelist_2026-12-08_weekly.tar.gz Whole\r\n"},
      {"FILE.ZIP", "", false, "FILE.ZIP     \r\n"},
      {"FILE.ZIP", "Counted", true, "FILE.ZIP     [00] Counted\r\n"},
      {"a_long_file_name.tar", "Whole", true, "a_long_file_name.tar [00] Whole\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FilesBbsLine(c.file, c.desc, c.counter), c.line) << c.file;
  }
  EXPECT_EQ(AnnounceRecordLine("FILE.ZIP", "A file"), " FILE.ZIP     A file\r\n");
  EXPECT_EQ(AnnounceRecordLine("a_long_file_name.tar", ""), " a_long_file_name.tar \r\n");
}

class FileAreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(old_dir_, sizeof old_dir_), nullptr);
    ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
    MainConfig& config = config_.main;
    config.inbound_dir = "in/";
    config.fileecho_dir = "files/";
    config.announce_db_dir = "announce/";
    config.log_file = "pelix.log";
  }
  void TearDown() override {
    ASSERT_EQ(::chdir(old_dir_), 0);
  }
  void Arrive(const std::string& area, const std::string& file, const std::string& desc) {
    node_.WriteFile("in/" + file, "contents of " + file);
    job_.emplace(env_, log_, "in/A.TIC");
    job_->tic.area = area;
    job_->echo_tag = area;
    job_->tic.file = file;
    job_->inbound_file = "in/" + file;
    job_->tic.desc = desc;
  }
  // The file copied into its area and listed there, as an accepted TIC has it.
  bool PlaceFileInArea() {
    if (!CopyFileIntoArea(env_, *job_, platform::Durability::kForced)) return false;
    return !ListFileInArea(env_, *job_).ends();
  }

  TempNode node_;
  FaultyEnv env_;
  Configuration config_;
  ConfigurationInUse in_use_{config_};
  LogFile log_{env_, "pelix.log"};
  std::optional<TicJob> job_;
  char old_dir_[4096];
};

TEST_F(FileAreaTest, FileIsCopiedIntoItsEchoDirectoryAndListed) {
  Arrive("PELIX.TEST", "FILE.ZIP", "First file");
  PlaceFileInArea();
  Arrive("PELIX.TEST", "OTHER.ZIP", "Second file");
  PlaceFileInArea();
  EXPECT_EQ(node_.ReadFile("files/PELIX.TEST/FILE.ZIP"), "contents of FILE.ZIP");
  EXPECT_EQ(node_.ReadFile("files/PELIX.TEST/FILES.BBS"),
            "FILE.ZIP     First file\r\nOTHER.ZIP    Second file\r\n");
  EXPECT_TRUE(node_.Exists("in/FILE.ZIP"));  // the inbound copy is deleted by the caller
}

TEST_F(FileAreaTest, SameNameOverwritesTheFileAndAddsASecondLine) {
  Arrive("PELIX.TEST", "FILE.ZIP", "Old");
  PlaceFileInArea();
  node_.WriteFile("in/FILE.ZIP", "new contents");
  job_->tic.desc = "New";
  PlaceFileInArea();
  EXPECT_EQ(node_.ReadFile("files/PELIX.TEST/FILE.ZIP"), "new contents");
  EXPECT_EQ(node_.ReadFile("files/PELIX.TEST/FILES.BBS"),
            "FILE.ZIP     Old\r\nFILE.ZIP     New\r\n");
}

TEST_F(FileAreaTest, CounterSettingInsertsTheDownloadCounter) {
  config_.main.files_bbs_counter = 1;
  Arrive("PELIX.TEST", "FILE.ZIP", "Counted");
  PlaceFileInArea();
  EXPECT_EQ(node_.ReadFile("files/PELIX.TEST/FILES.BBS"), "FILE.ZIP     [00] Counted\r\n");
}

TEST_F(FileAreaTest, AnnounceFileIsNamedAfterTheEchoTag) {
  Arrive("Pelix.Test", "FILE.ZIP", "One");
  AddAnnounceRecord(env_, *job_);
  Arrive("Pelix.Test", "TWO.ZIP", "");
  AddAnnounceRecord(env_, *job_);
  EXPECT_EQ(node_.List("announce"), std::vector<std::string>{"Announce.Pelix.Test"});
  EXPECT_EQ(node_.ReadFile("announce/Announce.Pelix.Test"),
            " FILE.ZIP     One\r\n TWO.ZIP      \r\n");
  EXPECT_FALSE(node_.Exists("pelix.log"));
}

TEST_F(FileAreaTest, AnnounceDatabaseThatCannotBeOpenedIsLoggedAndSkipped) {
  node_.WriteFile("announce", "a file where the directory should be");
  Arrive("PELIX.TEST", "FILE.ZIP", "One");
  AddAnnounceRecord(env_, *job_);
  EXPECT_EQ(node_.LogMessages(), std::vector<std::string>{"^ Can't Create Announce Database: Not a directory"});
}

TEST_F(FileAreaTest, FailedCopyIsLoggedAndNotListed) {
  node_.MakeDir("files/PELIX.TEST/FILE.ZIP");
  Arrive("PELIX.TEST", "FILE.ZIP", "One");
  EXPECT_FALSE(PlaceFileInArea());
  EXPECT_FALSE(node_.Exists("files/PELIX.TEST/FILES.BBS"));
  EXPECT_EQ(node_.LogMessages(), std::vector<std::string>{
                                     "! Can't copy files/PELIX.TEST/FILE.ZIP, left in the inbound: "
                                     "Is a directory"});
  Arrive("PELIX.TEST", "OTHER.ZIP", "Two");
  EXPECT_TRUE(PlaceFileInArea());
}

TEST_F(FileAreaTest, FilesBbsThatCannotBeOpenedStopsTheRunWithStatusTwo) {
  node_.MakeDir("files/PELIX.TEST/FILES.BBS");
  Arrive("PELIX.TEST", "FILE.ZIP", "One");
  ASSERT_TRUE(CopyFileIntoArea(env_, *job_, platform::Durability::kForced));
  const RunStatus listed = ListFileInArea(env_, *job_);
  EXPECT_TRUE(listed.ends());
  EXPECT_EQ(listed.exit_status(), 2);
  EXPECT_EQ(node_.LogMessages(), std::vector<std::string>{"! Can't Create FILES.BBS: Is a directory"});
}

}  // namespace
