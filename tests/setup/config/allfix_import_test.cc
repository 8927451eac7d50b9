// Reading ALLFIX's setup.fix, filearea.fix and fareas.fix: what the import
// takes, and that a damaged or cut-short file never makes it read or store
// more than the file and the fields hold.
#include "setup/config/allfix_import.h"

#include <gtest/gtest.h>

#include "tests/setup/support/allfix_files.h"

namespace {

std::vector<std::string> Tags(const std::vector<FileEchoRecord>& echoes) {
  std::vector<std::string> tags;
  for (const FileEchoRecord& e : echoes) tags.push_back(e.tag);
  return tags;
}

EditList<FileEchoRecord> EchoList(const std::vector<std::string>& tags) {
  std::vector<FileEchoRecord> echoes;
  for (const std::string& tag : tags) echoes.push_back(FileEchoRecord{tag, "old", 0, {}});
  EditList<FileEchoRecord> list;
  LoadList(list, std::move(echoes));
  return list;
}

}  // namespace

TEST(AllfixImportTest, FileNamesJoinTheTypedDirectory) {
  const struct {
    const char* directory;
    const char* name;
  } cases[] = {
      {"C:\\ALLFIX", "C:\\ALLFIX/setup.fix"},
      {"C:\\ALLFIX\\", "C:\\ALLFIX\\setup.fix"},
      {"C:/ALLFIX/", "C:/ALLFIX/setup.fix"},
      {"/opt/allfix", "/opt/allfix/setup.fix"},
      {"", "setup.fix"},
  };
  for (const auto& c : cases) EXPECT_EQ(AllfixFileName(c.directory, "setup.fix"), c.name);
}

TEST(AllfixImportTest, StoredTextNeverGoesBeyondItsCharacterBytes) {
  std::string text;
  // A length byte of 200 before 40 character bytes: the 40 are all there is.
  std::string bytes = AllfixString(std::string(40, 'd'), 40, 200) + "NEXT RECORD";
  ASSERT_TRUE(AllfixText(bytes, 0, 40, text));
  EXPECT_EQ(text, std::string(40, 'd'));

  ASSERT_TRUE(AllfixText(AllfixString("Games", 40), 0, 40, text));
  EXPECT_EQ(text, "Games");
  ASSERT_TRUE(AllfixText(AllfixString("", 40), 0, 40, text));
  EXPECT_EQ(text, "");
  // A zero inside the counted bytes ends the text, as in every text field.
  ASSERT_TRUE(AllfixText(AllfixString(std::string("AB\0CD", 5), 40), 0, 40, text));
  EXPECT_EQ(text, "AB");

  // A string whose character bytes the file cut off is not read at all.
  std::string cut = AllfixString("Games", 40).substr(0, 40);
  EXPECT_FALSE(AllfixText(cut, 0, 40, text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(AllfixText(cut, 100, 40, text));
  EXPECT_FALSE(AllfixText("", 0, 40, text));
}

TEST(AllfixImportTest, SetupFixGivesFiveDirectoriesEachEndingInASeparator) {
  MainConfig config;
  config.fileecho_dir = "files";
  config.queue_dir = "kept/queue";
  std::string bytes = SetupFix({{184, "C:\\ALLFIX\\IN\\"},
                                {428, ""},
                                {489, "C:\\ALLFIX\\TICOUT"},
                                {794, "C:\\ALLFIX\\BAD\\"},
                                {977, "/var/fido/netmail"},
                                {1038, "C:\\ALLFIX\\SECURE\\"}});
  ImportSetupFix(bytes, config);
  EXPECT_EQ(config.inbound_dir, "C:\\ALLFIX\\SECURE\\");
  // Empty in the file: the configured directory stays, with its separator.
  EXPECT_EQ(config.queue_dir, "kept/queue/");
  EXPECT_EQ(config.tic_outbound_dir, "C:\\ALLFIX\\TICOUT\\");
  EXPECT_EQ(config.bad_tic_dir, "C:\\ALLFIX\\BAD\\");
  EXPECT_EQ(config.netmail_dir, "/var/fido/netmail/");
  EXPECT_EQ(config.fileecho_dir, "files");

  MainConfig second;
  ImportSetupFix(SetupFix({{184, "in"}, {1038, ""}}), second);
  EXPECT_EQ(second.inbound_dir, "in/");
}

TEST(AllfixImportTest, CutSetupFixTakesTheDirectoriesItHoldsWhole) {
  std::string bytes = SetupFix({{184, "in"}, {428, "queue"}, {489, "ticout"}});
  // The file ends inside the TIC outbound string.
  bytes.resize(489 + 30);
  MainConfig config;
  config.tic_outbound_dir = "old/ticout/";
  ImportSetupFix(bytes, config);
  EXPECT_EQ(config.inbound_dir, "in/");
  EXPECT_EQ(config.queue_dir, "queue/");
  EXPECT_EQ(config.tic_outbound_dir, "old/ticout/");

  MainConfig nothing;
  ImportSetupFix("", nothing);
  EXPECT_EQ(nothing, MainConfig{});
}

TEST(AllfixImportTest, EveryDirectoryStaysWithinItsFieldWithSeparatorAndZero) {
  MainConfig config;
  // Filled to the last character by another tool, without a separator.
  config.netmail_dir = std::string(254, 'n');
  config.bad_tic_dir = std::string(254, 'b');
  ImportSetupFix(SetupFix({{184, std::string(60, 'i')}}), config);
  EXPECT_EQ(config.netmail_dir, std::string(253, 'n') + "/");
  EXPECT_EQ(config.bad_tic_dir, std::string(253, 'b') + "/");
  EXPECT_EQ(config.inbound_dir, std::string(60, 'i') + "/");
  for (const std::string* field : {&config.inbound_dir, &config.tic_outbound_dir,
                                   &config.queue_dir, &config.netmail_dir, &config.bad_tic_dir}) {
    EXPECT_LE(field->size(), kTextWidth - 1);
  }
}

TEST(AllfixImportTest, FileAreasBecomeBlankEchoesInFileOrder) {
  std::vector<FileEchoRecord> areas = ReadAllfixAreas(FileAreaFix({"NODELIST", "", "games"}));
  EXPECT_EQ(Tags(areas), (std::vector<std::string>{"NODELIST", "games"}));
  for (const FileEchoRecord& echo : areas) {
    EXPECT_EQ(echo.description, "");
    EXPECT_EQ(echo.passthrough, 0);
    EXPECT_TRUE(echo.links.empty());
  }
  EXPECT_TRUE(ReadAllfixAreas(FileAreaFix({})).empty());
  EXPECT_TRUE(ReadAllfixAreas("").empty());
}

TEST(AllfixImportTest, FileAreaRecordCutAfterItsTagCountsAndOneCutInsideDoesNot) {
  std::string bytes = FileAreaFix({"FIRST", "SECOND", "THIRD"});
  // The third record ends right after its tag's 80 character bytes.
  bytes.resize(512 + 2 * 230 + 61 + 81);
  EXPECT_EQ(Tags(ReadAllfixAreas(bytes)), (std::vector<std::string>{"FIRST", "SECOND", "THIRD"}));
  bytes.pop_back();
  EXPECT_EQ(Tags(ReadAllfixAreas(bytes)), (std::vector<std::string>{"FIRST", "SECOND"}));
}

TEST(AllfixImportTest, OverlongAreaTagIsCutToItsEightyBytes) {
  std::string record(230, '\x5a');
  PutAt(record, 61, AllfixString(std::string(80, 'T'), 80, 255));
  std::string bytes = std::string(512, '\0') + record;
  std::vector<FileEchoRecord> areas = ReadAllfixAreas(bytes);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0].tag, std::string(80, 'T'));
}

TEST(AllfixImportTest, DescriptionsGoToTheFirstEchoWithTheTagIgnoringCase) {
  EditList<FileEchoRecord> echoes = EchoList({"NODELIST", "GAMES", "nodelist", "OTHER"});
  ImportAreaDescriptions(FAreasFix({{"NodeList", "Weekly nodelist"},
                                    {"UNKNOWN", "Nobody has it"},
                                    {"GAMES", ""},
                                    {"", "Without a tag"},
                                    {"OTHER", std::string(40, 'o')}}),
                         echoes);
  std::vector<FileEchoRecord> after = ListRecords(echoes);
  EXPECT_EQ(after[0].description, "Weekly nodelist");
  EXPECT_EQ(after[1].description, "old");
  EXPECT_EQ(after[2].description, "old");
  EXPECT_EQ(after[3].description, std::string(40, 'o'));
  EXPECT_EQ(after.size(), 4u);
}

TEST(AllfixImportTest, CutFAreasEndsTheReadingWithoutTakingAHalfDescription) {
  EditList<FileEchoRecord> echoes = EchoList({"FIRST", "SECOND"});
  std::string bytes = FAreasFix({{"FIRST", "One"}, {"SECOND", "Two"}});
  // The second record ends inside its description.
  bytes.resize(2535 + 54 + 10);
  ImportAreaDescriptions(bytes, echoes);
  std::vector<FileEchoRecord> after = ListRecords(echoes);
  EXPECT_EQ(after[0].description, "One");
  EXPECT_EQ(after[1].description, "old");
  // A description whose length byte claims more than its 40 bytes.
  std::string record(2535, '\x5a');
  PutAt(record, 0, AllfixString("FIRST", 53));
  PutAt(record, 54, AllfixString(std::string(40, 'x'), 40, 90));
  ImportAreaDescriptions(record, echoes);
  EXPECT_EQ(ListRecords(echoes)[0].description, std::string(40, 'x'));
}
