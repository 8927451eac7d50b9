// A subscription made by netmail takes effect for the TICs of the same run,
// since the netmail pass runs before the TIC pass.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/stored_message.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

TEST(RobotThenTic, LinkSubscribedByNetmailGetsTheFileOfTheSameRun) {
  TempNode node;
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive send\n"
                   "[link]\nsysop_name = Uplink\naddress = 2:5020/1\ntic_password = TICPW\n"
                   "[link]\nsysop_name = John Smith\naddress = 2:345/6\nareamgr_password = Secret\n");
  node.MakeDir("ticout");
  TestMessage request;
  request.from_name = "John Smith";
  request.to_name = "Pelix";
  request.subject = "Secret";
  request.orig_net = 345;
  request.orig_node = 6;
  request.dest_net = 5020;
  request.dest_node = 100;
  request.kludges = {"INTL 2:5020/100 2:345/6", "MSGID: 2:345/6 0badcafe"};
  request.lines = {"+PELIX.TEST"};
  node.WriteFile("netmail/1.msg", BuildStoredMessage(request));
  DropArrival(node, "A.TIC", "FILE.ZIP", "payload", TicLines("FILE.ZIP", "payload"));

  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  std::vector<std::string> log = node.LogMessages();
  auto at = [&log](const std::string& line) {
    return std::find(log.begin(), log.end(), line) - log.begin();
  };
  ASSERT_LT(at("% Processing Area Manager Request from 2:345/6"), static_cast<long>(log.size()));
  ASSERT_LT(at("* Exported to 2:345/6"), static_cast<long>(log.size())) << r.output;
  EXPECT_LT(at("% Processing Area Manager Request from 2:345/6"), at("* Processing A.TIC"));
  const std::string first_line = node.dir() + "queue/FILE.ZIP\r\n";
  EXPECT_EQ(node.ReadFile("out/01590006.flo").substr(0, first_line.size()), first_line);
  EXPECT_TRUE(node.Exists("queue/FILE.ZIP"));  // named by the new link's flow file
  ConfigText saved = node.ReadConfig();
  ASSERT_EQ(saved.echoes.size(), 1u);
  EXPECT_EQ(saved.echoes[0].links.size(), 2u);
  EXPECT_EQ(node.LogLines().back().substr(23),
            "Summary : TICs accepted 1, refused 0, left in the inbound 0; requests answered 1; "
            "error lines 0");
}

}  // namespace
