// The area manager in-process: what happens when its messages cannot be
// written, and what the netmail pass leaves in memory for the TIC pass.
#include "processor/netmail/area_manager.h"
#include "processor/netmail/area_manager_replies.h"

#include <optional>

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "processor/log.h"
#include "processor/netmail/netmail_scan.h"
#include "tests/support/faulty_env.h"
#include "tests/support/stored_message.h"
#include "tests/support/temp_node.h"

namespace {

const char kLinksAndEchoes[] =
    "[link]\nsysop_name = John Smith\naddress = 2:345/6\nareamgr_password = secret\n"
    "[echo]\ntag = AREA1\nlink = 2:5020/200 receive\n"
    "[echo]\ntag = AREA2\nlink = 2:345/6 receive send\n";

TestMessage Request(const std::vector<std::string>& lines) {
  TestMessage m;
  m.orig_net = 345;
  m.orig_node = 6;
  m.dest_net = 5020;
  m.dest_node = 100;
  m.kludges = {"INTL 2:5020/100 2:345/6", "MSGID: 2:345/6 1"};
  m.lines = lines;
  return m;
}

class AreaManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(::getcwd(old_dir_, sizeof old_dir_), nullptr);
    node_.WriteConfig(BasicConfigText() + kLinksAndEchoes);
    node_.MakeDir("netmail");
    ASSERT_EQ(::chdir(node_.dir().c_str()), 0);
    ASSERT_FALSE(ReadConfiguration(env_, config_).ends());
    in_use_.emplace(config_);
    log_.emplace(env_, config_.main.log_file);
    context_.emplace(NetmailContext{env_, *log_, config_, serials_, tics_, uplinks_});
  }
  void TearDown() override {
    context_.reset();
    log_.reset();
    in_use_.reset();
    ASSERT_EQ(::chdir(old_dir_), 0);
  }
  void ProcessNetmailMessage(const std::string& path) {
    bool answered = false;
    ASSERT_FALSE(::ProcessNetmailMessage(*context_, path, answered).ends());
  }

  // Puts a request into the folder and hands it to the netmail pass.
  void Process(const TestMessage& m, const std::string& name = "1.msg") {
    node_.WriteFile("netmail/" + name, BuildStoredMessage(m));
    ProcessNetmailMessage(config_.main.netmail_dir + name);
  }

  const EchoLinkEntry* RequesterEntry(const char* tag) {
    FileEchoRecord* echo = config_.FindFileEcho(tag);
    return echo ? FindEchoLink(*echo, ParseAddress("2:345/6")) : nullptr;
  }

  // New messages in the netmail folder fail from the (n+1)-th on.
  void FailNewMessagesAfter(int n) { env_.Fail(FaultyEnv::Op::kCreate, n + 1, "netmail"); }

  FaultyEnv env_;
  TempNode node_;
  Configuration config_;
  std::optional<ConfigurationInUse> in_use_;
  std::optional<LogFile> log_;
  Serials serials_{env_};
  OutboundSession outbound_{env_, platform::ExitCleanup::OfProcess()};
  MadeTics made_{env_};
  TicExporter exporter_{env_, outbound_, made_, serials_};
  TicContext tics_{env_, config_, outbound_, exporter_};
  Uplinks uplinks_{env_};
  std::optional<NetmailContext> context_;
  char old_dir_[4096];
};

TEST_F(AreaManagerTest, ReplyThatCannotBeCreatedLeavesTheRequestForALaterRun) {
  std::string fe_before = node_.ReadFile("pelix.fe");
  FailNewMessagesAfter(0);
  Process(Request({"+AREA1", "%PAUSE"}));
  EXPECT_EQ(node_.List("netmail"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(RequesterEntry("AREA1"), nullptr);
  EXPECT_EQ(config_.FindLink(ParseAddress("2:345/6"))->passive, 0);
  EXPECT_EQ(node_.ReadFile("pelix.fe"), fe_before);
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{
                "% Processing Area Manager Request from 2:345/6",
                "! Can't create netmail message in netmail/, request from 2:345/6 left for a later run: "
                "No space left on device"}));
}

TEST_F(AreaManagerTest, ListThatCannotBeCreatedTakesTheWholeAnswerBack) {
  FailNewMessagesAfter(1);  // the reply, not the list
  Process(Request({"+AREA1", "-AREA2", "%PAUSE", "%AMPASSWORD changed", "%LIST", "%RESUME"}));
  // No half answer: the reply is gone, memory is as before, the request stays.
  EXPECT_EQ(node_.List("netmail"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(RequesterEntry("AREA1"), nullptr);
  ASSERT_NE(RequesterEntry("AREA2"), nullptr);
  EXPECT_EQ(RequesterEntry("AREA2")->send, 1);
  LinkRecord* link = config_.FindLink(ParseAddress("2:345/6"));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->passive, 0);
  EXPECT_EQ(link->areamgr_password, "secret");
  std::vector<std::string> log = node_.LogMessages();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(),
            "! Can't create netmail message in netmail/, request from 2:345/6 left for a later run: "
            "No space left on device");
  EXPECT_EQ(std::count(log.begin(), log.end(), "% Switching Active"), 0);

  // Once messages can be written again the request is answered whole.
  env_.ClearFailures();
  ProcessNetmailMessage(config_.main.netmail_dir + "1.msg");
  EXPECT_EQ(node_.List("netmail"), (std::vector<std::string>{"2.msg", "3.msg"}));
  EXPECT_EQ(ParseStoredMessage(node_.ReadFile("netmail/2.msg")).subject, "Area manager reply");
  EXPECT_EQ(ParseStoredMessage(node_.ReadFile("netmail/3.msg")).subject, "List Request");
  ASSERT_NE(RequesterEntry("AREA1"), nullptr);
  EXPECT_EQ(link->areamgr_password, "changed");
  EXPECT_EQ(node_.ReadConfig().links[0].areamgr_password, "changed");
}

TEST_F(AreaManagerTest, ConfigurationThatCannotBeSavedTakesTheWholeAnswerBack) {
  const std::string fe_before = node_.ReadFile("pelix.fe");
  const std::string nod_before = node_.ReadFile("pelix.nod");
  // pelix.fe takes its new contents, pelix.nod does not: both end as before.
  env_.Fail(FaultyEnv::Op::kReplace, 1, "pelix.nod", 1);
  Process(Request({"+AREA1", "%PAUSE"}));
  EXPECT_EQ(node_.List("netmail"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(RequesterEntry("AREA1"), nullptr);
  EXPECT_EQ(config_.FindLink(ParseAddress("2:345/6"))->passive, 0);
  EXPECT_EQ(node_.ReadFile("pelix.fe"), fe_before);
  EXPECT_EQ(node_.ReadFile("pelix.nod"), nod_before);
  std::vector<std::string> log = node_.LogMessages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "! Can't write pelix.nod, it keeps its previous contents: No space left on device");
  EXPECT_EQ(log.back(),
            "! Can't save the configuration, request from 2:345/6 left for a later run");
}

// The files of a rescan go before the answer: when the link's mailer holds
// it for the whole wait, nothing is answered, the request stays for a later
// run and the run ends.
TEST_F(AreaManagerTest, RescanThatCannotBeSentLeavesTheRequestAndEndsTheRun) {
  node_.MakeDir("files");
  node_.MakeDir("files/AREA2");
  node_.WriteFile("files/AREA2/F.ZIP", "data");
  node_.WriteFile("files/AREA2/FILES.BBS", "F.ZIP        A file\r\n");
  node_.MakeDir("out");
  node_.WriteFile("out/01590006.bsy", "");  // a mailer's flag without a process id
  env_.UseFakeClock(1600000000);
  node_.WriteFile("netmail/1.msg", BuildStoredMessage(Request({"+AREA1", "%RESCAN AREA2"})));
  bool answered = true;
  RunStatus status = ::ProcessNetmailMessage(*context_, config_.main.netmail_dir + "1.msg",
                                             answered);
  ASSERT_TRUE(status.ends());
  EXPECT_EQ(status.exit_status(), 2);
  EXPECT_FALSE(answered);
  EXPECT_EQ(node_.List("netmail"), std::vector<std::string>{"1.msg"});
  EXPECT_EQ(RequesterEntry("AREA1"), nullptr);
  EXPECT_FALSE(node_.Exists("out/01590006.flo"));
  std::vector<std::string> log = node_.LogMessages();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "! Node 2:345/6 stays busy, giving up");
  EXPECT_EQ(log.back(), "! Request from 2:345/6 left for a later run");
}

TEST_F(AreaManagerTest, HelpThatCannotBeCreatedKeepsEarlierRequestsAnswered) {
  Process(Request({"+AREA1"}), "1.msg");
  FailNewMessagesAfter(1);
  Process(Request({"%HELP"}), "5.msg");
  std::vector<std::string> left = node_.List("netmail");
  EXPECT_EQ(left, (std::vector<std::string>{"2.msg", "5.msg"}));
  ASSERT_NE(RequesterEntry("AREA1"), nullptr);  // the first answer stands
  EXPECT_EQ(node_.ReadConfig().echoes[0].links.size(), 2u);
}

TEST_F(AreaManagerTest, NetmailPassChangesWhatTheTicPassWillSee) {
  Process(Request({"+AREA1", "-AREA2", "%PAUSE", "%PASSWORD newtic"}));
  const EchoLinkEntry* area1 = RequesterEntry("AREA1");
  ASSERT_NE(area1, nullptr);
  EXPECT_EQ(area1->send, 1);
  EXPECT_EQ(area1->receive, 0);
  EXPECT_EQ(area1->address, "2:345/6");
  const EchoLinkEntry* area2 = RequesterEntry("AREA2");
  ASSERT_NE(area2, nullptr);
  EXPECT_EQ(area2->send, 0);
  EXPECT_EQ(area2->receive, 1);
  LinkRecord* link = config_.FindLink(ParseAddress("2:345/6"));
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->passive, 1);
  EXPECT_EQ(link->tic_password, "newtic");
  EXPECT_EQ(node_.List("netmail"), std::vector<std::string>{"2.msg"});
}

TEST_F(AreaManagerTest, RequestNotForUsHasNoEffectAtAll) {
  NetmailRequest request;
  request.header.fromUserName = "John Smith";
  request.from_text = "2:345/6";
  request.from = ParseAddress("2:345/6");
  request.to = ParseAddress("2:5020/100.1");
  request.body_lines = {"+AREA1"};
  std::vector<std::string> replies;
  RunStatus status = RunStatus::GoOn();
  EXPECT_FALSE(RunAreaManager(*context_, request, replies, status));
  EXPECT_FALSE(status.ends());
  EXPECT_TRUE(node_.List("netmail").empty());
  EXPECT_EQ(RequesterEntry("AREA1"), nullptr);
  EXPECT_FALSE(node_.Exists("pelix.log"));
}

// A long avail list goes in several messages; a tag is never cut, since a
// downlink copies it into its request, a description only to the line.
TEST(AvailList, LongListsAreSplitAndTagsKeptWhole) {
  UplinkOptions uplink;
  uplink.address = ParseAddress("2:5020/1");
  std::vector<AvailableEcho> echoes(kAvailLinesPerMessage, {"ECHO", "Files", &uplink});
  echoes.push_back({"A.TAG.LONGER.THAN.ITS.COLUMN", std::string(100, 'd'), &uplink});
  const std::vector<std::string> texts = AvailMessageTexts(echoes);
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_NE(texts[0].find("\r ECHO            2:5020/1        Files\r"), std::string::npos);
  EXPECT_EQ(texts[1].find("\r ECHO "), std::string::npos);
  const std::string line = " A.TAG.LONGER.THAN.ITS.COLUMN 2:5020/1        ";
  EXPECT_NE(texts[1].find("\r" + line + std::string(79 - line.size(), 'd') + "\r"),
            std::string::npos);
  EXPECT_TRUE(AvailMessageTexts({}).empty());
}

}  // namespace
