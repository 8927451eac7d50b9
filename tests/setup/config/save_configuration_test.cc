// Loading without questions and saving back: what reaches the four files.
#include <gtest/gtest.h>

#include "common/records.h"
#include "platform/platform.h"
#include "setup/config/setup_config.h"
#include "tests/support/faulty_env.h"
#include "tests/setup/support/setup_node.h"

namespace {

const char* const kConfigFiles[] = {"pelix.cfg", "pelix.dmn", "pelix.fe", "pelix.nod"};

MainConfig EmptyVersion4() {
  MainConfig config;
  config.version = 4;
  return config;
}

}  // namespace

TEST(SaveConfigurationTest, LoadAndSaveGiveBackTheSameBytes) {
  SetupNode node;
  ASSERT_TRUE(node.WriteConfig(FullConfigText()));
  std::vector<std::string> before;
  for (const char* file : kConfigFiles) before.push_back(node.ReadFile(file));
  ScriptedMessages messages;
  LoadConfiguration(platform::DefaultEnv());
  EXPECT_TRUE(messages.asked().empty());
  EXPECT_TRUE(node.Exists("pelix.bsy"));
  EXPECT_TRUE(SaveConfiguration(platform::DefaultEnv()));
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(node.ReadFile(kConfigFiles[i]), before[i]) << kConfigFiles[i];
  }
}

TEST(SaveConfigurationTest, EchoesWithoutTagAndEntriesWithoutAddressOrFlagStayOut) {
  SetupNode node;
  ASSERT_TRUE(node.WriteConfig(
      "[echo]\ntag = KEEP\nlink = 2:5020/1 receive\nlink = 2:5020/3 send\n"
      "[echo]\ntag = SECOND\n"));
  ScriptedMessages messages;
  LoadConfiguration(platform::DefaultEnv());
  SetupConfiguration& state = SetupState();
  EnsureFirstRecord(state.fileecho_list);
  state.fileecho_list.current->record.links.push_back({"", 1, 1});
  state.fileecho_list.current->record.links.push_back({"2:5020/4", 0, 0});
  InsertAfterCurrent(state.fileecho_list);  // a blank echo, never given a tag
  EXPECT_TRUE(SaveConfiguration(platform::DefaultEnv()));

  std::vector<FileEchoRecord> saved = ReadFileEchoes(node.ReadFile("pelix.fe"));
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].tag, "KEEP");
  ASSERT_EQ(saved[0].links.size(), 2u);
  EXPECT_EQ(saved[0].links[0].address, "2:5020/1");
  EXPECT_EQ(saved[0].links[1].address, "2:5020/3");
  EXPECT_EQ(saved[1].tag, "SECOND");
  EXPECT_EQ(node.ReadFile("pelix.fe").size(), 2 * kFileEchoHeaderSize + 2 * kEchoLinkEntrySize);
  // Memory keeps what the file leaves out, until the sysop deletes it.
  EXPECT_EQ(state.fileecho_list.count, 3u);
  EXPECT_EQ(state.fileecho_list.head->record.links.size(), 4u);
}

TEST(SaveConfigurationTest, NoConfigurationSavesVersion4AndEmptyRecordFiles) {
  SetupNode node;
  ScriptedMessages messages;
  LoadConfiguration(platform::DefaultEnv());
  EXPECT_TRUE(messages.asked().empty());
  const MainConfig& config = SetupState().config;
  EXPECT_EQ(config.version, 4);
  EXPECT_EQ(config, EmptyVersion4());
  EXPECT_EQ(SetupState().link_list.head, nullptr);
  EXPECT_TRUE(SaveConfiguration(platform::DefaultEnv()));
  std::string cfg = node.ReadFile("pelix.cfg");
  ASSERT_EQ(cfg.size(), kMainConfigSize);
  EXPECT_TRUE(HasConfigSignature(cfg));
  EXPECT_EQ(ReadMainConfig(cfg), EmptyVersion4());
  EXPECT_TRUE(node.Exists("pelix.nod"));
  EXPECT_EQ(node.ReadFile("pelix.nod"), "");
  EXPECT_EQ(node.ReadFile("pelix.dmn"), "");
  EXPECT_EQ(node.ReadFile("pelix.fe"), "");
}

TEST(SaveConfigurationTest, CutShortRecordFilesLoadTheirCompleteRecordsOnly) {
  SetupNode node;
  ASSERT_TRUE(node.WriteConfig(FullConfigText()));
  std::string domains = node.ReadFile("pelix.dmn");
  node.WriteFile("pelix.dmn", domains.substr(0, domains.size() - 1));
  std::string links = node.ReadFile("pelix.nod");
  node.WriteFile("pelix.nod", links + std::string(kLinkRecordSize - 1, 'x'));
  ScriptedMessages messages;
  LoadConfiguration(platform::DefaultEnv());
  std::vector<DomainRecord> loaded = ListRecords(SetupState().domain_list);
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].name, "fidonet");
  EXPECT_EQ(SetupState().domain_list.count, 1u);
  EXPECT_EQ(SetupState().link_list.count, 2u);
}

TEST(SaveConfigurationTest, FullDiskKeepsTheOldFilesAndNamesEachInAnErrorBox) {
  SetupNode node;
  ASSERT_TRUE(node.WriteConfig(FullConfigText()));
  std::vector<std::string> before;
  for (const char* file : kConfigFiles) before.push_back(node.ReadFile(file));
  ScriptedMessages messages;
  LoadConfiguration(platform::DefaultEnv());
  SetupState().config.log_file = "changed.log";
  FaultyEnv full_disk;
  // pelix.cfg goes through, the side files of the rest meet a full disk.
  for (const char* file : {"~pelix.dmn", "~pelix.fe", "~pelix.nod"})
    full_disk.Fail(FaultyEnv::Op::kWrite, 1, file);
  EXPECT_FALSE(SaveConfiguration(full_disk));
  EXPECT_NE(node.ReadFile("pelix.cfg"), before[0]);
  for (size_t i = 1; i < before.size(); ++i)
    EXPECT_EQ(node.ReadFile(kConfigFiles[i]), before[i]) << kConfigFiles[i];
  EXPECT_EQ(messages.Texts(),
            (std::vector<std::string>{
                "Error: Can't write pelix.dmn, it keeps its previous contents",
                "Error: Can't write pelix.fe, it keeps its previous contents",
                "Error: Can't write pelix.nod, it keeps its previous contents"}));
  EXPECT_EQ(node.List(), (std::vector<std::string>{"pelix.bsy", "pelix.cfg", "pelix.dmn",
                                                    "pelix.fe", "pelix.nod"}));
}

// pelix.ini: written only when something in it changed, as a file of its
// owner alone (it holds the uplinks' passwords), and kept whole when it
// cannot be written.
TEST(SaveConfigurationTest, PelixIniIsWrittenOnlyWhenChanged) {
  SetupNode node;
  ScriptedMessages messages;
  LoadConfiguration(platform::DefaultEnv());
  EXPECT_TRUE(SaveConfiguration(platform::DefaultEnv()));
  EXPECT_FALSE(node.Exists("pelix.ini"));

  SetupState().node_options.Set("pelix", "dupe_days", "5");
  EXPECT_TRUE(SaveConfiguration(platform::DefaultEnv()));
  EXPECT_EQ(node.ReadFile("pelix.ini"), "[pelix]\ndupe_days = 5\n");
  uint32_t mode = 0;
  ASSERT_TRUE(platform::DefaultEnv().ModeOf(node.dir() + "pelix.ini", mode));
  EXPECT_EQ(mode, platform::kPrivateFileMode);

  FaultyEnv full_disk;
  full_disk.Fail(FaultyEnv::Op::kWrite, 1, "pelix.ini");
  EXPECT_TRUE(SaveConfiguration(full_disk));  // unchanged: not written at all
  SetupState().node_options.Set("pelix", "dupe_days", "6");
  EXPECT_FALSE(SaveConfiguration(full_disk));
  EXPECT_EQ(node.ReadFile("pelix.ini"), "[pelix]\ndupe_days = 5\n");
  EXPECT_EQ(messages.Texts(), std::vector<std::string>{
                                  "Error: Can't write pelix.ini, it keeps its previous contents"});
  EXPECT_EQ(full_disk.failures(FaultyEnv::Op::kWrite), 1);
}
