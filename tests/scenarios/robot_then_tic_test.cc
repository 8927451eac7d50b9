// A subscription made by netmail takes effect for the TICs of the same run,
// since the netmail pass runs before the TIC pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "tests/support/stored_message.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

// The text lines of a stored message after its control lines.
std::vector<std::string> BodyLines(const StoredMessageView& v) {
  std::vector<std::string> lines;
  for (const std::string& piece : v.pieces)
    if (piece.empty() || piece[0] != '\x01') lines.push_back(piece);
  return lines;
}

// A request to the robot of 2:5020/100 from the link 2:345/`node`.
TestMessage RequestFrom(uint16_t node, const std::vector<std::string>& lines) {
  TestMessage request;
  request.to_name = "Pelix";
  request.subject = "Secret";
  request.orig_net = 345;
  request.orig_node = node;
  request.dest_net = 5020;
  request.dest_node = 100;
  request.kludges = {Format("INTL 2:5020/100 2:345/%u", node), Format("MSGID: 2:345/%u 1", node)};
  request.lines = lines;
  return request;
}

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

// A downlink asks for an echo this node lacks that its uplink offers: the
// request goes on to the uplink's robot, once however many ask, and the
// downlinks get the echo's first file when it comes and creates the echo.
TEST(RobotThenTic, RequestForAnUplinksEchoIsForwardedAndLinkedWhenTheEchoComes) {
  TempNode node;
  node.WriteConfig(BasicConfigText() +
                   "[echo]\ntag = PELIX.TEST\nlink = 2:5020/1 receive send\n"
                   "[link]\naddress = 2:5020/1\ntic_password = TICPW\nfrom_address = 2:5020/101\n"
                   "allow_autocreate = 1\n"
                   "[link]\naddress = 2:345/6\nareamgr_password = Secret\n"
                   "[link]\naddress = 2:345/7\nareamgr_password = Secret\nallow_autocreate = 1\n");
  node.WriteFile("pelix.ini",
                 "[uplink 2:5020/1]\nrobot = FileFix\npassword = UPLINKPW\n"
                 "echo_list = uplink.lst\nforward_requests = yes\n");
  node.WriteFile("uplink.lst",
                 "; the echoes of 2:5020/1\r\nNEW.ECHO     New files\r\n\r\n# more\r\n"
                 "OTHER.ECHO\tOther files\r\nPELIX.TEST   Carried here\r\n");
  node.WriteFile("netmail/1.msg", BuildStoredMessage(RequestFrom(6, {"+new.echo", "+NOT.LISTED",
                                                                     "%AVAIL"})));
  node.WriteFile("netmail/2.msg",
                 BuildStoredMessage(RequestFrom(7, {"+NEW.ECHO", "+UNLISTED.ECHO"})));
  RunResult r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(node.LogMessages(),
            (std::vector<std::string>{"% Processing Area Manager Request from 2:345/6",
                                      "% Forwarding request for NEW.ECHO to 2:5020/1",
                                      "% Sending Avail List",
                                      "% Processing Area Manager Request from 2:345/7",
                                      "% Forwarding request for UNLISTED.ECHO to 2:5020/1",
                                      "^ No TIC files found"}));
  ASSERT_EQ(node.List("netmail"),
            (std::vector<std::string>{"3.msg", "4.msg", "5.msg", "6.msg", "7.msg"}));
  const std::string tear = "--- Pelix 1.02 by the Pelix developers";
  EXPECT_EQ(BodyLines(ParseStoredMessage(node.ReadFile("netmail/3.msg"))),
            (std::vector<std::string>{"Fileecho new.echo - requested from uplink",
                                      "Unknown fileecho : NOT.LISTED",
                                      "Avail List is send in separate message", "", tear}));
  const StoredMessageView forwarded = ParseStoredMessage(node.ReadFile("netmail/4.msg"));
  EXPECT_EQ(forwarded.from_name, "SysOp");
  EXPECT_EQ(forwarded.to_name, "FileFix");
  EXPECT_EQ(forwarded.subject, "UPLINKPW");
  EXPECT_EQ(forwarded.pieces[0], "\x01INTL 2:5020/1 2:5020/101");
  EXPECT_EQ(BodyLines(forwarded), (std::vector<std::string>{"+NEW.ECHO", "", tear}));
  const std::vector<std::string> avail = BodyLines(ParseStoredMessage(node.ReadFile("netmail/5.msg")));
  ASSERT_GE(avail.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(avail.begin() + 5, avail.begin() + 8),
            (std::vector<std::string>{" NEW.ECHO        2:5020/1        New files",
                                      " OTHER.ECHO      2:5020/1        Other files",
                                      " " + std::string(78, '-')}));
  // The second downlink's request for the same echo is not sent again.
  EXPECT_EQ(BodyLines(ParseStoredMessage(node.ReadFile("netmail/6.msg"))),
            (std::vector<std::string>{"Fileecho NEW.ECHO - requested from uplink",
                                      "Fileecho UNLISTED.ECHO - requested from uplink", "",
                                      tear}));
  EXPECT_EQ(BodyLines(ParseStoredMessage(node.ReadFile("netmail/7.msg")))[0], "+UNLISTED.ECHO");
  EXPECT_TRUE(std::regex_match(node.ReadFile("pelix.fwd"),
                               std::regex("NEW.ECHO 2:345/6 2:5020/1 [0-9]+\n"
                                          "NEW.ECHO 2:345/7 2:5020/1 [0-9]+\n"
                                          "UNLISTED.ECHO 2:345/7 2:5020/1 [0-9]+\n")));

  // The next run: the uplink's first TIC of the echo creates it.
  DropArrival(node, "A.TIC", "FILE.ZIP", "payload", TicLines("FILE.ZIP", "payload", "NEW.ECHO"));
  r = node.Run();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::vector<std::string> log = node.LogMessages();
  for (const char* line : {"& Autocreated filecho NEW.ECHO", "& Fileecho NEW.ECHO - added for 2:345/6",
                           "& Fileecho NEW.ECHO - added for 2:345/7", "* Exported to 2:345/6",
                           "* Exported to 2:345/7"})
    EXPECT_EQ(std::count(log.begin(), log.end(), line), 1) << line;
  const std::string queue_line = node.dir() + "queue/FILE.ZIP\r\n";
  EXPECT_EQ(node.ReadFile("out/01590006.flo").substr(0, queue_line.size()), queue_line);
  EXPECT_EQ(node.ReadFile("out/01590007.flo").substr(0, queue_line.size()), queue_line);
  ConfigText saved = node.ReadConfig();
  ASSERT_EQ(saved.echoes.size(), 2u);
  EXPECT_EQ(saved.echoes[1].tag, "NEW.ECHO");
  EXPECT_EQ(saved.echoes[1].links, (std::vector<EchoLinkEntry>{{"2:5020/1", 1, 0},
                                                               {"2:345/6", 0, 1},
                                                               {"2:345/7", 0, 1}}));
  EXPECT_TRUE(std::regex_match(node.ReadFile("pelix.fwd"),
                               std::regex("UNLISTED.ECHO 2:345/7 2:5020/1 [0-9]+\n")));
}

}  // namespace
