// Loading the configuration in-process and the look-ups over it.
#include "processor/config_store.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/platform.h"

#include "tests/processor/loaded_node.h"
#include "tests/support/faulty_env.h"
#include "tests/support/temp_node.h"

namespace {

using ConfigStoreTest = LoadedNodeTest;

const char kEchoesAndLinks[] =
    "[echo]\ntag = Pelix.Test\nlink = 1:234/5 receive\nlink = 1:234/6 send\n"
    "[echo]\ntag = PELIX.TEST\n"
    "[link]\naddress = 1:234/5\nsysop_name = first\n"
    "[link]\naddress = 1:234/5.0\nsysop_name = second\n";

TEST_F(ConfigStoreTest, FindLinkComparesAllFourNumbersAndIgnoresDomain) {
  Load(BasicConfigText() + kEchoesAndLinks);
  for (const char* text : {"1:234/5", "1:234/5.0", "1:234/5@othernet"}) {
    LinkRecord* link = config_.FindLink(ParseAddress(text));
    ASSERT_NE(link, nullptr) << text;
    EXPECT_EQ(link->sysop_name, "first") << text;
  }
  EXPECT_EQ(config_.FindLink(ParseAddress("1:234/5.1")), nullptr);
}

TEST_F(ConfigStoreTest, FindFileEchoIgnoresCaseFirstMatchWins) {
  Load(BasicConfigText() + kEchoesAndLinks);
  FileEchoRecord* echo = config_.FindFileEcho("pelix.test");
  ASSERT_NE(echo, nullptr);
  EXPECT_EQ(echo->tag, "Pelix.Test");
  EXPECT_EQ(config_.FindFileEcho("PELIX"), nullptr);
  EchoLinkEntry* entry = FindEchoLink(*echo, ParseAddress("1:234/6.0@x"));
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->send, 1);
  EXPECT_EQ(FindEchoLink(*echo, ParseAddress("1:234/7")), nullptr);
}

// Autocreation appends, a failed area-manager request puts the lists back:
// each look-up after a change finds the first record of the lists as they
// are then, never one the index remembers.
TEST_F(ConfigStoreTest, LookupsFollowEveryChangeOfTheLists) {
  Load(BasicConfigText() + kEchoesAndLinks);
  std::vector<FileEchoRecord>& echoes = config_.fileecho_list;
  std::vector<LinkRecord>& links = config_.link_list;
  ASSERT_EQ(config_.FindFileEcho("NEW.ECHO"), nullptr);
  ASSERT_EQ(config_.FindLink(ParseAddress("1:234/7")), nullptr);
  ASSERT_EQ(config_.FindFileEcho("pelix.test"), &echoes[0]);

  echoes.push_back(FileEchoRecord{});
  echoes.back().tag = "New.Echo";
  links.push_back(LinkRecord{});
  links.back().address = "1:234/7";
  EXPECT_EQ(config_.FindFileEcho("NEW.ECHO"), &echoes[2]);
  EXPECT_EQ(config_.FindLink(ParseAddress("1:234/7")), &links[2]);

  echoes[0].tag = "RENAMED";  // the duplicate behind it is the first now
  links[0].address = "1:234/8";
  config_.ListsChanged();
  EXPECT_EQ(config_.FindFileEcho("pelix.test"), &echoes[1]);
  EXPECT_EQ(config_.FindFileEcho("renamed"), &echoes[0]);
  EXPECT_EQ(config_.FindLink(ParseAddress("1:234/5")), &links[1]);
  EXPECT_EQ(config_.FindLink(ParseAddress("1:234/8")), &links[0]);

  echoes = {};
  links = {};
  config_.ListsChanged();
  EXPECT_EQ(config_.FindFileEcho("pelix.test"), nullptr);
  EXPECT_EQ(config_.FindLink(ParseAddress("1:234/5")), nullptr);
}

TEST_F(ConfigStoreTest, SaveDropsSwitchedOffEntriesAndKeepsReceiveOnly) {
  Load(BasicConfigText() + kEchoesAndLinks);
  FileEchoRecord* echo = config_.FindFileEcho("Pelix.Test");
  ASSERT_NE(echo, nullptr);
  echo->links[1].send = 0;  // unsubscribed: both flags off
  config_.link_list[1].passive = 1;
  EXPECT_TRUE(SaveFileEchoesAndLinks(env_, log(), config_));
  ConfigText saved = node_.ReadConfig();
  ASSERT_EQ(saved.echoes.size(), 2u);
  EXPECT_EQ(saved.echoes[0].links, (std::vector<EchoLinkEntry>{{"1:234/5", 1, 0}}));
  EXPECT_EQ(saved.links[1].passive, 1);
  EXPECT_EQ(saved.config, config_.main);  // pelix.cfg untouched
}

TEST_F(ConfigStoreTest, AppendedEchoEndsPelixFeWithOneEntry) {
  Load(BasicConfigText() + kEchoesAndLinks);
  FileEchoRecord created;
  created.tag = "NEW.ECHO";
  created.description = "Automaticaly added area";
  created.links.push_back({"1:234/5", 1, 0});
  bool added = false;
  EXPECT_FALSE(AppendFileEcho(env_, log(), created, added).ends());
  EXPECT_TRUE(added);
  ConfigText saved = node_.ReadConfig();
  ASSERT_EQ(saved.echoes.size(), 3u);
  EXPECT_EQ(saved.echoes[2], created);
}

TEST_F(ConfigStoreTest, MissingFilesGiveEmptyLists) {
  node_.WriteConfig(BasicConfigText());
  ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
  std::remove("pelix.fe");
  std::remove("pelix.nod");
  ASSERT_FALSE(ReadConfiguration(env_, config_).ends());
  EXPECT_TRUE(config_.fileecho_list.empty());
  EXPECT_TRUE(config_.link_list.empty());
  EXPECT_EQ(config_.domain_list.size(), 1u);
  EXPECT_EQ(config_.main.queue_dir, "queue/");
}

}  // namespace

namespace {

TEST_F(ConfigStoreTest, DirectoriesWithoutClosingSeparatorGetOne) {
  std::string text = BasicConfigText();
  text.replace(text.find("queue_dir = queue/"), 18, "queue_dir = queue");
  text.replace(text.find("inbound_dir = in/"), 17, "inbound_dir = in\\");
  Load(text);
  EXPECT_EQ(config_.main.queue_dir, "queue/");
  EXPECT_EQ(config_.main.inbound_dir, "in\\");
  EXPECT_EQ(config_.main.netmail_dir, "netmail/");
  EXPECT_EQ(config_.main.log_file, "pelix.log");  // a file path gets nothing
}

TEST(QueueDirectory, WithoutSeparatorNeverErasesNodeFiles) {
  TempNode node;
  std::string text = BasicConfigText();
  text.replace(text.find("queue_dir = queue/"), 18, "queue_dir = queue");
  node.WriteConfig(text);
  node.WriteFile("queue.txt", "a file of the sysop's beside the queue");
  node.WriteFile("queue/old.zip", "sent long ago");
  EXPECT_EQ(node.Run().status, 0);
  EXPECT_TRUE(node.Exists("queue.txt"));
  EXPECT_FALSE(node.Exists("queue/old.zip"));
}

}  // namespace

namespace {

TEST_F(ConfigStoreTest, RewriteThatCannotBeWrittenWholeKeepsTheOldFiles) {
  Load(BasicConfigText() + kEchoesAndLinks);
  const std::string fe = node_.ReadFile("pelix.fe");
  const std::string nod = node_.ReadFile("pelix.nod");
  env_.Fail(FaultyEnv::Op::kWrite, 1, "~pelix");  // the side files, not the log
  config_.link_list[0].passive = 1;
  FileEchoRecord created;
  created.tag = "NEW.ECHO";
  created.links.push_back({"1:234/5", 1, 0});
  EXPECT_FALSE(SaveFileEchoesAndLinks(env_, log(), config_));
  bool added = true;
  EXPECT_FALSE(AppendFileEcho(env_, log(), created, added).ends());
  EXPECT_FALSE(added);
  env_.ClearFailures();
  EXPECT_EQ(env_.failures(FaultyEnv::Op::kWrite), 2);
  EXPECT_EQ(node_.ReadFile("pelix.fe"), fe);
  EXPECT_EQ(node_.ReadFile("pelix.nod"), nod);
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{
                "! Can't write pelix.fe, it keeps its previous contents: No space left on device",
                "! Can't write pelix.fe, echo NEW.ECHO not added: No space left on device"}));
  EXPECT_TRUE(SaveFileEchoesAndLinks(env_, log(), config_));  // the disk has room again
  EXPECT_EQ(node_.ReadConfig().links[0].passive, 1);
  EXPECT_EQ(node_.List(""), (std::vector<std::string>{"netmail", "pelix.cfg", "pelix.dmn",
                                                      "pelix.fe", "pelix.log", "pelix.nod"}));
}

}  // namespace
