// The netmail robot seen from outside: requests dropped into the netmail
// folder of a real node, pelix run on it, replies, log and configuration
// checked.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>

#include "common/field_codec.h"

#include "tests/support/stored_message.h"
#include "tests/support/temp_node.h"
#include "tests/support/tic_arrival.h"

namespace {

const char kTear[] = "--- Pelix 1.02 by the Pelix developers";

// The node 2:5020/100 with two AKAs, a node link and a point link.
std::string RobotNodeText(const std::string& extra_config = "") {
  return BasicConfigText() + "[config]\naka_list = 2:5020/101, 2:5020/100.7\n" + extra_config +
         "[link]\nsysop_name = John Smith\naddress = 2:345/6\nareamgr_password = Secret\n"
         "tic_password = ticpw\n"
         "[link]\nsysop_name = Point Sysop\naddress = 2:5020/200.3\nareamgr_password = pointpw\n"
         "[echo]\ntag = AREA1\ndescription = First area\nlink = 2:5020/200.3 receive\n"
         "[echo]\ntag = AREA2\ndescription = Second area\nlink = 2:345/6 receive\n"
         "[echo]\ntag = AREA3\ndescription = Third area\nlink = 2:345/6 receive send\n"
         "[echo]\ntag = VERY.LONG.ECHO.TAG\ndescription = Fourth\nlink = 2:345/6 send\n";
}

// A request from the link 2:345/6 to the node's main address.
TestMessage Request(const std::vector<std::string>& lines) {
  TestMessage m;
  m.from_name = "John Smith";
  m.to_name = "Pelix";
  m.subject = "secret";
  m.orig_net = 345;
  m.orig_node = 6;
  m.dest_net = 5020;
  m.dest_node = 100;
  m.kludges = {"INTL 2:5020/100 2:345/6", "MSGID: 2:345/6 0badcafe"};
  m.lines = lines;
  return m;
}

struct RobotRun {
  std::vector<std::string> netmail;  // names left in the folder
  std::vector<std::string> log;      // "% ..." and the other marks
};

// An echo "OFF" as pelix.fe may hold it after a hand edit: an entry with
// neither flag before the requester's receive-only entry.
std::string EchoWithSwitchedOffEntry() {
  std::string bytes;
  FieldWriter w(bytes);
  w.Text("OFF", 255);
  w.Text("", 255);
  w.I32(0);
  w.I32(2);
  w.Text("2:1/1", 255);
  w.I32(0);
  w.I32(0);
  w.Text("2:345/6", 255);
  w.I32(1);
  w.I32(0);
  return bytes;
}

RobotRun RunWith(TempNode& node, const std::string& config,
                 const std::vector<std::pair<std::string, TestMessage>>& messages,
                 const std::string& fe_tail = "") {
  node.WriteConfig(config);
  if (!fe_tail.empty()) node.WriteFile("pelix.fe", node.ReadFile("pelix.fe") + fe_tail);
  node.MakeDir("netmail");
  for (const auto& [name, message] : messages)
    node.WriteFile("netmail/" + name, BuildStoredMessage(message));
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0) << r.output;
  RobotRun run;
  run.netmail = node.List("netmail");
  for (const std::string& line : node.LogMessages())
    if (line.rfind("^ No TIC", 0) != 0) run.log.push_back(line);
  return run;
}

// The reply lines between the control lines and the tear line; fails the
// test unless the message ends with the empty line and the tear line.
std::vector<std::string> ReplyLines(const StoredMessageView& v) {
  std::vector<std::string> lines;
  for (const std::string& piece : v.pieces)
    if (piece.empty() || piece[0] != '\x01') lines.push_back(piece);
  EXPECT_GE(lines.size(), 2u);
  if (lines.size() < 2) return lines;
  EXPECT_EQ(lines[lines.size() - 2], "");
  EXPECT_EQ(lines.back(), kTear);
  lines.resize(lines.size() - 2);
  return lines;
}

std::vector<std::string> ControlLines(const StoredMessageView& v) {
  std::vector<std::string> lines;
  for (const std::string& piece : v.pieces)
    if (!piece.empty() && piece[0] == '\x01') lines.push_back(piece.substr(1));
  return lines;
}

std::string Rule() { return " " + std::string(78, '-') + "\r"; }

TEST(AreaManager, AnswersTheExampleRequestWithReplyAndList) {
  TempNode node;
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", Request({"%LIST", "+AREA1", "-AREA2"})}});
  EXPECT_EQ(run.netmail, (std::vector<std::string>{"2.msg", "3.msg"}));
  EXPECT_EQ(run.log, (std::vector<std::string>{"% Processing Area Manager Request from 2:345/6",
                                               "% Sending List Request",
                                               "% Fileecho AREA1 - added"}));

  StoredMessageView reply = ParseStoredMessage(node.ReadFile("netmail/2.msg"));
  EXPECT_EQ(reply.subject, "Area manager reply");
  EXPECT_EQ(ReplyLines(reply), (std::vector<std::string>{"List Request is send in separate message",
                                                         "Fileecho AREA1 - added",
                                                         "Fileecho AREA2 - not connected"}));

  // The list shows the subscriptions as they stood when %LIST was read.
  StoredMessageView list = ParseStoredMessage(node.ReadFile("netmail/3.msg"));
  EXPECT_EQ(list.from_name, "Pelix");
  EXPECT_EQ(list.to_name, "John Smith");
  EXPECT_EQ(list.subject, "List Request");
  EXPECT_EQ(list.attribute, 0x0101);
  size_t text_start = list.text.find("\r\rList");
  ASSERT_NE(text_start, std::string::npos);
  EXPECT_EQ(list.text.substr(text_start + 1),
            "\rList of File Echoes you can access:\r"
            "\r FileEcho Name   FileEcho Description:\r" +
                Rule() +
                " AREA1           First area\r"
                "*AREA2           Second area\r"
                "&AREA3           Third area\r"
                "+VERY.LONG.ECHO. Fourth\r" +
                Rule() +
                "\r & - You can Send to/Receive files from this fileecho\r"
                " + - You can only Receive files from this fileecho\r"
                " * - You can only Send files to this fileecho\r"
                "\r" + kTear);
}

TEST(AreaManager, HelpMessageFollowsTheReply) {
  TempNode node;
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", Request({"%HELP"})}});
  ASSERT_EQ(run.netmail, (std::vector<std::string>{"2.msg", "3.msg"}));
  StoredMessageView help = ParseStoredMessage(node.ReadFile("netmail/3.msg"));
  EXPECT_EQ(help.subject, "Help Request");
  std::vector<std::string> lines = ReplyLines(help);
  const std::vector<std::string> expected = {
      "",
      "Here is some help about how to to use Pelix Area Manager:",
      "You must create a message To Pelix (Pelix also ansvers at messages to AllFix and FileFix)",
      "In subject you must write your password to Pelix Areafix manger",
      "For Example:",
      "From    : SysOp (2:5020/1234.5)",
      "To      : Pelix(2:5020/1234)",
      "Subject : <-- your password here",
      "",
      "",
      "Statements that can occur in message body:",
      " +<AREANAME> to connect to a FileEcho",
      " -<AREANAME> to disconnect from a FileEcho",
      " %HELP To get help about Pelix Area Manager",
      " %LIST To get a list of FileEchoes you can access",
      " %PAUSE To stop receiving fileechoes",
      " %PASSIVE same as %PAUSE",
      " %RESUME To start receiving fileechoes again",
      " %ACTIVE same as %RESUME",
      " %PASSWORD <password> Change Tic password",
      " %AMPASSWORD <password> Change Area Manger password",
      " %QUERY To list the FileEchoes you are linked to",
      " %UNLINKED To list the FileEchoes you are not linked to",
      " %INFO To see your settings at this system",
      " %RESCAN <AREANAME> [<count>] To get the newest files of a FileEcho again",
      " %AVAIL To get a list of FileEchoes you can request from our uplinks"};
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(run.log, (std::vector<std::string>{"% Processing Area Manager Request from 2:345/6",
                                               "% Sending Help Request"}));
}

// A request repeating a command that lists something gets it once: 6,000
// lines of %UNLINKED must not make a reply thousands of times their size.
TEST(AreaManager, ListHelpQueryUnlinkedAndInfoAreSentOncePerRequest) {
  TempNode node;
  std::vector<std::string> lines;
  for (int i = 0; i < 200; ++i)
    for (const char* line : {"%HELP", "%LIST", "%query", "%Unlinked", "%INFO"}) lines.push_back(line);
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", Request(lines)}});
  EXPECT_EQ(run.netmail, (std::vector<std::string>{"2.msg", "3.msg", "4.msg"}));
  const std::vector<std::string> reply =
      ReplyLines(ParseStoredMessage(node.ReadFile("netmail/2.msg")));
  EXPECT_EQ(std::count(reply.begin(), reply.end(), "Help Request is send in separate message"), 1);
  EXPECT_EQ(std::count(reply.begin(), reply.end(), "List Request is send in separate message"), 1);
  EXPECT_EQ(std::count(reply.begin(), reply.end(), "FileEchoes you are linked to:"), 1);
  EXPECT_EQ(std::count(reply.begin(), reply.end(), "FileEchoes you are not linked to:"), 1);
  EXPECT_EQ(std::count(reply.begin(), reply.end(), "Your settings:"), 1);
  EXPECT_EQ(run.log, (std::vector<std::string>{"% Processing Area Manager Request from 2:345/6",
                                               "% Sending Help Request",
                                               "% Sending List Request", "% Sending Query",
                                               "% Sending Unlinked List", "% Sending Info"}));
}

// A run killed between writing its answer and deleting the request leaves
// the answer pending (under a name no mailer takes): the next run drops it
// and answers once, and gives the mailer the pending answer of a request
// that was deleted.
TEST(AreaManager, RunKilledBeforeTheRequestWentAnswersItOnce) {
  TempNode node;
  node.MakeDir("netmail");
  node.WriteFile("netmail/~1.msg.2", "the killed run's answer to 1.msg");
  node.WriteFile("netmail/~9.msg.4", "the killed run's answer to 9.msg, which it deleted");
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", Request({"+AREA1"})}});
  EXPECT_EQ(run.netmail, (std::vector<std::string>{"4.msg", "5.msg"}));
  EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/5.msg"))),
            std::vector<std::string>{"Fileecho AREA1 - added"});
  EXPECT_EQ(node.ReadFile("netmail/4.msg"), "the killed run's answer to 9.msg, which it deleted");
}

TEST(AreaManager, EachCommandRepliesAndLogs) {
  struct Case {
    std::vector<std::string> body;
    std::vector<std::string> reply;
    std::vector<std::string> log;  // after "Processing Area Manager Request"
  };
  const std::vector<Case> cases = {
      {{"%list"}, {"List Request is send in separate message"}, {"% Sending List Request"}},
      {{"% LIST  "}, {"List Request is send in separate message"}, {"% Sending List Request"}},
      {{"%Help"}, {"Help Request is send in separate message"}, {"% Sending Help Request"}},
      {{"%LISTING"}, {"Unknown metacommand : 'LISTING'"}, {}},
      {{"%"}, {"Unknown metacommand : ''"}, {}},
      {{"%PAUSE", "%PASSIVE"},
       {"System switched passive", "System already passive"},
       {"% Switching Passive", "% Switching Passive"}},
      {{"%RESUME"}, {"System already active"}, {"% Switching Active"}},
      {{"%pause", "%ACTIVE"},
       {"System switched passive", "System switched active"},
       {"% Switching Passive", "% Switching Active"}},
      {{"%PASSWORD new pw"}, {}, {"% Changing password"}},
      {{"%AMPASSWORD"}, {}, {"% Changing Area Manager password"}},
      {{"+area1"}, {"Fileecho area1 - added"}, {"% Fileecho area1 - added"}},
      {{"+AREA1   "}, {"Fileecho AREA1 - added"}, {"% Fileecho AREA1 - added"}},
      {{"+ AREA1"}, {"Unknown fileecho :  AREA1"}, {}},
      {{"+AREA2"}, {"Fileecho AREA2 - added"}, {"% Fileecho AREA2 - added"}},
      {{"+AREA3"}, {"Already connected to fileecho: AREA3"}, {}},
      {{"+NOSUCH"}, {"Unknown fileecho : NOSUCH"}, {}},
      {{"-area3"}, {"Fileecho area3 - removed"}, {"% Fileecho area3 - removed"}},
      {{"-AREA1"}, {"Fileecho AREA1 - not connected"}, {}},
      {{"-AREA2"}, {"Fileecho AREA2 - not connected"}, {}},
      {{"-NOSUCH"}, {"Unknown fileecho : NOSUCH"}, {}},
      {{"hello robot", "", " * Origin: a BBS (2:345/6)", "---", "+AREA1", "nonsense"},
       {"Unknown command : hello robot"},
       {}},
      {{"--- tear", "%LIST"}, {}, {}},
      {{"%query"},
       {"FileEchoes you are linked to:", " AREA2           you send",
        " AREA3           you receive, you send", " VERY.LONG.ECHO. you receive"},
       {"% Sending Query"}},
      {{"-AREA3", "%UNLINKED"},
       {"Fileecho AREA3 - removed", "FileEchoes you are not linked to:",
        " AREA1           First area"},
       {"% Fileecho AREA3 - removed", "% Sending Unlinked List"}},
      {{"%PAUSE", "%Info"},
       {"System switched passive", "Your settings:", " Address    : 2:345/6",
        " Flavour    : Normal", " Passive    : Yes", " Autocreate : No"},
       {"% Switching Passive", "% Sending Info"}},
  };
  for (const Case& c : cases) {
    std::string what = c.body.empty() ? "" : c.body[0];
    TempNode node;
    RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", Request(c.body)}});
    ASSERT_GE(run.netmail.size(), 1u) << what;
    EXPECT_EQ(run.netmail[0], "2.msg") << what;
    EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/2.msg"))), c.reply) << what;
    std::vector<std::string> log = {"% Processing Area Manager Request from 2:345/6"};
    log.insert(log.end(), c.log.begin(), c.log.end());
    EXPECT_EQ(run.log, log) << what;
  }
}

// The flow file's lines, without their CR LF.
std::vector<std::string> FlowLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find("\r\n", start), text.size());
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

// An echo area of four listed files, one of them gone since, and an echo
// the link may have files of but that keeps none.
const char kRescanEchoes[] =
    "[echo]\ntag = RESCAN.ME\ndescription = Rescanned files\n"
    "link = 2:345/6 receive send\nlink = 2:5020/200.3 send\n"
    "[echo]\ntag = PASS\npassthrough = 1\nlink = 2:345/6 send\n";

void MakeRescanArea(const TempNode& node) {
  node.MakeDir("files");
  node.MakeDir("files/RESCAN.ME");
  for (const char* name : {"A.ZIP", "B.ZIP", "D.ZIP", "E.TIC"})
    node.WriteFile(std::string("files/RESCAN.ME/") + name, std::string("contents of ") + name);
  // Names a BBS user may have written into the listing are never sent: one
  // outside the area, one a receiver would take for a TIC.
  node.WriteFile("files/RESCAN.ME/FILES.BBS",
                 "A.ZIP        First file\r\n"
                 "             going on\r\n"
                 "; a comment\r\n"
                 "B.ZIP        Second file\r\n"
                 "C.ZIP        Gone since\r\n"
                 "D.ZIP        [03] Fourth file\r\n"
                 "../../pelix.nod Passwords\r\n"
                 "E.TIC        Not a TIC\r\n");
}

TEST(AreaManager, RescanSendsTheNewestListedFilesToTheAskingLinkAlone) {
  struct Case {
    std::string body;
    std::string ini;
    std::string rescanning;  // the tag of the log line, when the link may have files
    std::string reply;
    std::vector<std::string> sent;  // the queue copies its flow file names, in order
  };
  const std::vector<Case> cases = {
      {"%RESCAN RESCAN.ME 2", "", "RESCAN.ME", "Fileecho RESCAN.ME - rescanned 2 files",
       {"B.ZIP", "D.ZIP"}},
      {"%rescan rescan.me", "", "rescan.me", "Fileecho rescan.me - rescanned 3 files",
       {"A.ZIP", "B.ZIP", "D.ZIP"}},
      {"%RESCAN RESCAN.ME 5", "[pelix]\nrescan_limit = 1\n", "RESCAN.ME",
       "Fileecho RESCAN.ME - rescanned 1 files", {"D.ZIP"}},
      {"%RESCAN RESCAN.ME 0", "[pelix]\nrescan_limit = 2\n", "RESCAN.ME",
       "Fileecho RESCAN.ME - rescanned 2 files", {"B.ZIP", "D.ZIP"}},
      {"%RESCAN PASS", "", "", "Fileecho PASS - nothing to rescan", {}},
      {"%RESCAN AREA2", "", "", "Fileecho AREA2 - nothing to rescan", {}},  // send off
      {"%RESCAN AREA1", "", "", "Fileecho AREA1 - nothing to rescan", {}},  // no entry
      {"%RESCAN AREA3 4", "", "AREA3", "Fileecho AREA3 - nothing to rescan", {}},  // no files
      {"%RESCAN NOSUCH", "", "", "Unknown fileecho : NOSUCH", {}},
  };
  for (const Case& c : cases) {
    TempNode node;
    MakeRescanArea(node);
    if (!c.ini.empty()) node.WriteFile("pelix.ini", c.ini);
    RobotRun run = RunWith(node, RobotNodeText(kRescanEchoes), {{"1.msg", Request({c.body})}});
    ASSERT_EQ(run.netmail, std::vector<std::string>{"2.msg"}) << c.body;
    EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/2.msg"))),
              std::vector<std::string>{c.reply})
        << c.body;
    std::vector<std::string> flow;
    if (!c.sent.empty()) {
      EXPECT_EQ(node.List("out"), std::vector<std::string>{"01590006.flo"}) << c.body;
      flow = FlowLines(node.ReadFile("out/01590006.flo"));
    } else {
      EXPECT_FALSE(node.Exists("out/01590006.flo")) << c.body;
    }
    ASSERT_EQ(flow.size(), 2 * c.sent.size()) << c.body;
    for (size_t i = 0; i < c.sent.size(); ++i) {
      EXPECT_EQ(flow[2 * i], node.dir() + "queue/" + c.sent[i]) << c.body;
      EXPECT_EQ(node.ReadFile("queue/" + c.sent[i]), "contents of " + c.sent[i]) << c.body;
    }
    // The area's files stay as they were.
    EXPECT_EQ(node.List("files/RESCAN.ME").size(), 5u) << c.body;
    std::vector<std::string> log = {"% Processing Area Manager Request from 2:345/6"};
    if (!c.rescanning.empty()) log.push_back("% Rescanning " + c.rescanning + " for 2:345/6");
    for (size_t i = 0; i < c.sent.size(); ++i) log.push_back("* Exported to 2:345/6");
    EXPECT_EQ(run.log, log) << c.body;
  }

  // The TIC of a rescanned file is made as for a hatched one, its Desc from
  // the listing, its Seenby lines the link's and ours.
  TempNode node;
  MakeRescanArea(node);
  RunWith(node, RobotNodeText(kRescanEchoes), {{"1.msg", Request({"%RESCAN RESCAN.ME 1"})}});
  const std::vector<std::string> flow = FlowLines(node.ReadFile("out/01590006.flo"));
  ASSERT_EQ(flow.size(), 2u);
  EXPECT_FALSE(node.Exists("pelix.tix"));  // every TIC made is named by its flow line
  const std::string tic = node.ReadFile(flow[1].substr(1 + node.dir().size()));
  EXPECT_TRUE(std::regex_match(
      tic, std::regex("Area RESCAN\\.ME\r\n"
                      "Areadesc Rescanned files\r\n"
                      "Origin 2:5020/100\r\n"
                      "From 2:5020/100\r\n"
                      "File D\\.ZIP\r\n"
                      "Desc Fourth file\r\n"
                      "Crc " + CrcText("contents of D.ZIP") + "\r\n"
                      "Created by Pelix 1\\.02\r\n"
                      "Path 2:5020/100 [0-9]+ [A-Z][a-z]{2} [A-Z][a-z]{2} [0-9]{1,2} "
                      "[0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4} UTC\\+0300\r\n"
                      "Seenby 2:345/6\r\n"
                      "Seenby 2:5020/100\r\n"
                      "Pw ticpw\r\n")))
      << tic;
}

TEST(AreaManager, ChangesReachPelixFeAndPelixNod) {
  TempNode node;
  node.WriteConfig(RobotNodeText());
  ASSERT_EQ(::chmod(node.Path("pelix.nod").c_str(), 0640), 0);
  RunWith(node, RobotNodeText(),
          {{"1.msg", Request({"+AREA1", "-AREA3", "-VERY.LONG.ECHO.TAG", "%PAUSE",
                              "%PASSWORD new tic pw  ",
                              "%AMPASSWORD a password far longer than its field"})}},
          EchoWithSwitchedOffEntry());
  ConfigText saved = node.ReadConfig();
  ASSERT_EQ(saved.echoes.size(), 5u);
  EXPECT_EQ(saved.echoes[0].links, (std::vector<EchoLinkEntry>{{"2:5020/200.3", 1, 0},
                                                               {"2:345/6", 0, 1}}));
  EXPECT_EQ(saved.echoes[2].links, (std::vector<EchoLinkEntry>{{"2:345/6", 1, 0}}));
  // An entry with neither flag is dropped, and so is one that was stored so.
  EXPECT_TRUE(saved.echoes[3].links.empty());
  EXPECT_EQ(saved.echoes[3].tag, "VERY.LONG.ECHO.TAG");
  EXPECT_EQ(saved.echoes[4].links, (std::vector<EchoLinkEntry>{{"2:345/6", 1, 0}}));
  ASSERT_EQ(saved.links.size(), 2u);
  EXPECT_EQ(saved.links[0].passive, 1);
  EXPECT_EQ(saved.links[0].tic_password, "new tic pw");
  EXPECT_EQ(saved.links[0].areamgr_password, "a password far long");  // 19 characters kept
  EXPECT_EQ(saved.links[1].passive, 0);
  EXPECT_EQ(saved.config.aka_list, "2:5020/101, 2:5020/100.7");
  // pelix.nod holds the passwords: the rewrite keeps the rights the sysop
  // gave it (pelixcfg and the editor make it for its owner alone).
  struct stat st {};
  ASSERT_EQ(::stat(node.Path("pelix.nod").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(AreaManager, UnknownSystemsAndWrongPasswordsGetAnErrorReply) {
  struct Case {
    const char* what;
    TestMessage request;
    std::string reply;
    std::string log;
  };
  TestMessage point = Request({"+AREA1"});
  point.kludges.push_back("FMPT 1");
  TestMessage wrong = Request({"+AREA1"});
  wrong.subject = "guess";
  TestMessage empty = Request({"+AREA1"});
  empty.subject = "";
  const std::vector<Case> cases = {
      {"point of a link", point, "Error : Your system is unknown", "% Unknown system 2:345/6.1"},
      {"wrong password", wrong, "Error : Password Mismatch", "% Password Mismatch for 2:345/6"},
      {"no password", empty, "Error : Password Mismatch", "% Password Mismatch for 2:345/6"},
  };
  for (const Case& c : cases) {
    TempNode node;
    RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", c.request}}, EchoWithSwitchedOffEntry());
    EXPECT_EQ(run.netmail, std::vector<std::string>{"2.msg"}) << c.what;
    StoredMessageView reply = ParseStoredMessage(node.ReadFile("netmail/2.msg"));
    EXPECT_EQ(ReplyLines(reply), std::vector<std::string>{c.reply}) << c.what;
    ASSERT_EQ(run.log.size(), 2u) << c.what;
    EXPECT_EQ(run.log[1], c.log) << c.what;
    ConfigText saved = node.ReadConfig();
    EXPECT_EQ(saved.echoes[0].links.size(), 1u) << c.what;  // nothing subscribed
    // Not rewritten: a stranger's request changes nothing, not even how the
    // files are laid out (the switched-off entry is still there).
    EXPECT_EQ(saved.echoes[4].links,
              (std::vector<EchoLinkEntry>{{"2:1/1", 0, 0}, {"2:345/6", 1, 0}}))
        << c.what;
  }
}

TEST(AreaManager, PasswordIsCheckedOncePerRequestAndLaterRequestsSeeTheChange) {
  TempNode node;
  RobotRun run = RunWith(node, RobotNodeText(),
                         {{"1.msg", Request({"%AMPASSWORD changed", "+AREA1"})},
                          {"2.msg", Request({"+AREA2"})}});
  EXPECT_EQ(run.netmail, (std::vector<std::string>{"3.msg", "4.msg"}));
  EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/3.msg"))),
            std::vector<std::string>{"Fileecho AREA1 - added"});
  EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/4.msg"))),
            std::vector<std::string>{"Error : Password Mismatch"});
}

// Both commands alone empty their password: the TIC password is gone and
// from then on only a request with an empty subject is let in.
TEST(AreaManager, PasswordCommandsWithoutArgumentEmptyThePasswords) {
  TempNode node;
  TestMessage guess = Request({"%RESUME"});
  TestMessage empty = Request({"%RESUME"});
  empty.subject = "";
  RobotRun run = RunWith(node, RobotNodeText(),
                         {{"1.msg", Request({"%PASSWORD", "%AMPASSWORD   "})},
                          {"2.msg", guess},
                          {"3.msg", empty}});
  EXPECT_EQ(run.netmail, (std::vector<std::string>{"4.msg", "5.msg", "6.msg"}));
  EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/5.msg"))),
            std::vector<std::string>{"Error : Password Mismatch"});
  EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("netmail/6.msg"))),
            std::vector<std::string>{"System already active"});
  ConfigText saved = node.ReadConfig();
  EXPECT_EQ(saved.links[0].tic_password, "");
  EXPECT_EQ(saved.links[0].areamgr_password, "");
}

TEST(AreaManager, OnlyMessagesToTheRobotNamesAreRequests) {
  struct Case {
    const char* to;
    bool request;
  };
  const std::vector<Case> cases = {{"ALLFIX", true},        {"AllFix", true},  {"Pelix", true},
                                   {"FILEFIX", true},       {"fileFix", true}, {"AllFix robot", false},
                                   {"John Smith", false},   {"Pelix ", false}, {"", false}};
  for (const Case& c : cases) {
    TempNode node;
    TestMessage m = Request({"+AREA1"});
    m.to_name = c.to;
    std::string bytes = BuildStoredMessage(m);
    RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", m}});
    if (c.request) {
      EXPECT_EQ(run.netmail, std::vector<std::string>{"2.msg"}) << c.to;
    } else {
      EXPECT_EQ(run.netmail, std::vector<std::string>{"1.msg"}) << c.to;
      EXPECT_EQ(node.ReadFile("netmail/1.msg"), bytes) << c.to;
      EXPECT_TRUE(run.log.empty()) << c.to << ": " << run.log[0];
    }
  }
}

TEST(AreaManager, RequesterAddressComesFromIntlFmptAndMsgid) {
  struct Case {
    const char* what;
    std::vector<std::string> kludges;
    std::vector<std::string> log;
    std::vector<std::string> reply_control;  // without MSGID
  };
  const std::vector<Case> cases = {
      {"MSGID zone with header net and node",
       {"MSGID: 2:999/9@fidonet 12345678"},
       {"% Processing Area Manager Request from 2:345/6"},
       {"INTL 2:345/6 2:5020/100"}},
      {"INTL origin with FMPT",
       {"INTL 2:5020/100 2:5020/200", "FMPT 3", "MSGID: 2:5020/200.3 12345678"},
       {"% Processing Area Manager Request from 2:5020/200.3"},
       {"INTL 2:5020/200 2:5020/100", "TOPT 3"}},
      {"INTL without MSGID",
       {"INTL 2:5020/100 2:345/6"},
       {"^ No MSGID Kludge", "% Processing Area Manager Request from 2:345/6"},
       {"INTL 2:345/6 2:5020/100"}},
      {"INTL beats the MSGID zone",
       {"INTL 2:5020/100 2:345/6", "MSGID: 5:1/1 12345678"},
       {"% Processing Area Manager Request from 2:345/6"},
       {"INTL 2:345/6 2:5020/100"}},
  };
  for (const Case& c : cases) {
    TempNode node;
    TestMessage m = Request({"%RESUME"});
    m.kludges = c.kludges;
    if (std::string(c.what) == "INTL origin with FMPT") m.subject = "POINTPW";
    RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", m}});
    EXPECT_EQ(run.log.size(), c.log.size() + 1) << c.what;
    run.log.resize(c.log.size());
    EXPECT_EQ(run.log, c.log) << c.what;
    ASSERT_EQ(run.netmail, std::vector<std::string>{"2.msg"}) << c.what;
    StoredMessageView reply = ParseStoredMessage(node.ReadFile("netmail/2.msg"));
    EXPECT_EQ(ReplyLines(reply), std::vector<std::string>{"System already active"}) << c.what;
    std::vector<std::string> control = ControlLines(reply);
    ASSERT_FALSE(control.empty());
    EXPECT_EQ(control.back().rfind("MSGID: 2:5020/100 ", 0), 0u) << control.back();
    control.pop_back();
    EXPECT_EQ(control, c.reply_control) << c.what;
  }
}

TEST(AreaManager, WithoutIntlAndMsgidTheZoneIsZeroAndTheMessageIsNotOurs) {
  TempNode node;
  TestMessage m = Request({"%LIST"});
  m.kludges.clear();
  std::string bytes = BuildStoredMessage(m);
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", m}});
  EXPECT_EQ(run.log, std::vector<std::string>{"^ No MSGID Kludge"});
  EXPECT_EQ(run.netmail, std::vector<std::string>{"1.msg"});
  EXPECT_EQ(node.ReadFile("netmail/1.msg"), bytes);
}

TEST(AreaManager, RequestsToOtherAddressesAreLeftAlone) {
  TempNode node;
  TestMessage m = Request({"+AREA1"});
  m.kludges = {"INTL 2:5020/999 2:345/6", "MSGID: 2:345/6 1"};
  TestMessage point_of_ours = Request({"+AREA1"});
  point_of_ours.kludges.push_back("TOPT 8");
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", m}, {"2.msg", point_of_ours}});
  EXPECT_EQ(run.netmail, (std::vector<std::string>{"1.msg", "2.msg"}));
  EXPECT_EQ(node.ReadFile("netmail/1.msg"), BuildStoredMessage(m));
  EXPECT_EQ(node.ReadFile("netmail/2.msg"), BuildStoredMessage(point_of_ours));
  EXPECT_TRUE(run.log.empty());
  EXPECT_TRUE(node.ReadConfig().echoes[0].links.size() == 1);
}

TEST(AreaManager, RequestsToAnAkaAreAnsweredFromThatAka) {
  struct Case {
    std::vector<std::string> kludges;
    std::vector<std::string> control;  // serial left out
  };
  const std::vector<Case> cases = {
      {{"INTL 2:5020/101 2:345/6", "MSGID: 2:345/6 1"},
       {"INTL 2:345/6 2:5020/101", "MSGID: 2:5020/101@fidonet"}},
      {{"INTL 2:5020/100 2:345/6", "TOPT 7", "MSGID: 2:345/6 1"},
       {"INTL 2:345/6 2:5020/100", "FMPT 7", "MSGID: 2:5020/100.7@fidonet"}},
  };
  for (const Case& c : cases) {
    TempNode node;
    TestMessage m = Request({"%RESUME"});
    m.kludges = c.kludges;
    std::string config = RobotNodeText();
    config.replace(config.find("main_address = 2:5020/100\n"), 26,
                   "main_address = 2:5020/100@fidonet\n");
    RobotRun run = RunWith(node, config, {{"1.msg", m}});
    ASSERT_EQ(run.netmail, std::vector<std::string>{"2.msg"});
    StoredMessageView reply = ParseStoredMessage(node.ReadFile("netmail/2.msg"));
    std::vector<std::string> control = ControlLines(reply);
    ASSERT_FALSE(control.empty());
    EXPECT_TRUE(std::regex_match(control.back(), std::regex(".* [0-9a-f]{8}"))) << control.back();
    control.back().resize(control.back().size() - 9);
    EXPECT_EQ(control, c.control);
    EXPECT_EQ(reply.orig_net, 5020);
    EXPECT_EQ(reply.orig_node, c.kludges[0] == "INTL 2:5020/101 2:345/6" ? 101 : 100);
  }
}

TEST(AreaManager, ReplyIsAStoredMessageByteForByte) {
  for (int kill_answers : {0, 1}) {
    TempNode node;
    std::string extra = kill_answers ? "kill_answers = 1\n" : "";
    RobotRun run = RunWith(node, RobotNodeText(extra), {{"1.msg", Request({"%RESUME"})}});
    ASSERT_EQ(run.netmail, std::vector<std::string>{"2.msg"});
    std::string bytes = node.ReadFile("netmail/2.msg");
    StoredMessageView v = ParseStoredMessage(bytes);
    ASSERT_TRUE(v.whole_header);
    EXPECT_EQ(v.from_name, "Pelix");
    EXPECT_EQ(v.to_name, "John Smith");
    EXPECT_EQ(v.subject, "Area manager reply");
    EXPECT_TRUE(std::regex_match(
        v.date_time, std::regex("[0-3][0-9] (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                "[0-9]{2}  [0-2][0-9]:[0-5][0-9]:[0-5][0-9]")))
        << v.date_time;
    EXPECT_EQ(v.header[163], '\0');
    EXPECT_EQ(v.orig_net, 5020);
    EXPECT_EQ(v.orig_node, 100);
    EXPECT_EQ(v.dest_net, 345);
    EXPECT_EQ(v.dest_node, 6);
    EXPECT_EQ(v.attribute, kill_answers ? 0x0181 : 0x0101);
    EXPECT_EQ(v.times_read + v.cost + v.reply_to + v.next_reply, 0);
    // Nothing of the header but the values is set.
    for (size_t i : {5u, 35u, 46u, 71u, 90u, 143u, 176u, 183u}) EXPECT_EQ(v.header[i], '\0') << i;
    EXPECT_EQ(v.text.find('\n'), std::string::npos);
    EXPECT_EQ(v.text.find('\0'), std::string::npos);
    std::vector<std::string> control = ControlLines(v);
    ASSERT_EQ(control.size(), 2u);
    EXPECT_EQ(control[0], "INTL 2:345/6 2:5020/100");
    EXPECT_TRUE(std::regex_match(control[1], std::regex("MSGID: 2:5020/100 [0-9a-f]{8}")))
        << control[1];
    // Control lines first, CR line ends, the tear line last without a CR.
    EXPECT_EQ(v.text.substr(v.text.size() - std::string(kTear).size() - 23),
              "System already active\r\r" + std::string(kTear));
  }
}

TEST(AreaManager, NewMessagesAreNumberedAfterLastreadAndTheHighestMessage) {
  struct Case {
    std::vector<std::string> others;
    std::string lastread;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {{}, std::string("\x28\x00", 2), {"41.msg", "42.msg", "43.msg"}},
      {{"abc.msg", "0012.msg"}, "", {"13.msg", "14.msg", "15.msg"}},
  };
  for (const Case& c : cases) {
    TempNode node;
    node.MakeDir("netmail");
    for (const std::string& name : c.others) node.WriteFile("netmail/" + name, "not mine");
    if (!c.lastread.empty()) node.WriteFile("netmail/lastread", c.lastread);
    RobotRun run = RunWith(node, RobotNodeText(), {{"5.msg", Request({"%LIST", "%HELP"})}});
    std::vector<std::string> expected = c.others;
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    if (!c.lastread.empty()) expected.push_back("lastread");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(run.netmail, expected);
    EXPECT_EQ(ParseStoredMessage(node.ReadFile("netmail/" + c.expected[0])).subject,
              "Area manager reply");
    EXPECT_EQ(ParseStoredMessage(node.ReadFile("netmail/" + c.expected[1])).subject, "List Request");
    EXPECT_EQ(ParseStoredMessage(node.ReadFile("netmail/" + c.expected[2])).subject, "Help Request");
    // Three messages, three different serials.
    std::set<std::string> msgids;
    for (const std::string& name : c.expected)
      msgids.insert(ControlLines(ParseStoredMessage(node.ReadFile("netmail/" + name))).back());
    EXPECT_EQ(msgids.size(), 3u);
    EXPECT_EQ(node.ReadFile("netmail/abc.msg"), c.others.empty() ? "" : "not mine");
  }
}

TEST(AreaManager, EmptyNetmailFolderMeansTheWorkingDirectory) {
  TempNode node;
  std::string config = RobotNodeText();
  config.replace(config.find("netmail_dir = netmail/"), 22, "netmail_dir =");
  node.WriteConfig(config);
  node.WriteFile("7.msg", BuildStoredMessage(Request({"%RESUME"})));
  EXPECT_EQ(node.Run().status, 0);
  EXPECT_FALSE(node.Exists("7.msg"));
  EXPECT_EQ(ReplyLines(ParseStoredMessage(node.ReadFile("8.msg"))),
            std::vector<std::string>{"System already active"});
}

TEST(AreaManager, ReadOnlyAndTruncatedMessagesAreLeftUntouched) {
  TempNode node;
  node.WriteConfig(RobotNodeText());
  std::string request = BuildStoredMessage(Request({"+AREA1"}));
  node.WriteFile("netmail/1.msg", request);
  ASSERT_EQ(::chmod(node.Path("netmail/1.msg").c_str(), 0444), 0);
  node.WriteFile("netmail/2.msg", request.substr(0, 189));
  // A link to a file elsewhere is not read: its lines would come back in
  // the reply.
  node.WriteFile("elsewhere.msg", request);
  ASSERT_EQ(::symlink("../elsewhere.msg", node.Path("netmail/3.msg").c_str()), 0);
  RunResult r = node.Run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(node.List("netmail"), (std::vector<std::string>{"1.msg", "2.msg", "3.msg"}));
  EXPECT_EQ(node.ReadFile("netmail/1.msg"), request);
  EXPECT_EQ(node.ReadFile("netmail/2.msg"), request.substr(0, 189));
  std::vector<std::string> log = node.LogMessages();
  ASSERT_EQ(log.size(), 3u);  // and "No TIC files found"
  EXPECT_EQ(log[0], "! Can't open this message");
  EXPECT_EQ(log[1], "! Can't open this message");
}

TEST(AreaManager, OverlongFieldsAndLinesAreCut) {
  TempNode node;
  TestMessage m = Request({"+" + std::string(299, 'X'), "%PAUSE"});
  m.from_name = std::string(36, 'N');  // no room for its zero
  m.kludges.push_back("FMPT " + std::string(300, '1'));
  RobotRun run = RunWith(node, RobotNodeText(), {{"1.msg", m}});
  ASSERT_EQ(run.netmail, std::vector<std::string>{"2.msg"});
  StoredMessageView reply = ParseStoredMessage(node.ReadFile("netmail/2.msg"));
  EXPECT_EQ(reply.to_name, std::string(35, 'N'));
  // The point made of 254 characters of address text is not a link.
  EXPECT_EQ(ReplyLines(reply), std::vector<std::string>{"Error : Your system is unknown"});
  ASSERT_EQ(run.log.size(), 2u);
  EXPECT_EQ(run.log[1].size(), 2 + 231u);  // cut to what a log line holds

  TempNode second;
  m.kludges.pop_back();
  run = RunWith(second, RobotNodeText(), {{"1.msg", m}});
  reply = ParseStoredMessage(second.ReadFile("netmail/2.msg"));
  EXPECT_EQ(ReplyLines(reply), (std::vector<std::string>{"Unknown fileecho : " + std::string(253, 'X'),
                                                         "System switched passive"}));
}

}  // namespace
