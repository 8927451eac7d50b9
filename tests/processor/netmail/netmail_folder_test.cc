// Stored messages: numbering, the header and control lines pelix writes,
// and what it reads back from messages of other programs.
#include "processor/netmail/netmail_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <optional>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "tests/support/faulty_env.h"
#include "tests/support/stored_message.h"
#include "tests/support/temp_node.h"

namespace {

constexpr int64_t kSixDecember2026 = 1796554031;  // Sun 06 Dec 2026 10:47:11 UTC

class NetmailFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { env_.UseFakeClock(kSixDecember2026); }

  // Creates one message in netmail/ and returns its file name.
  std::string CreateIn(TempNode& node, const std::string& folder = "netmail/") {
    std::string path;
    platform::FilePtr f = CreateNetmailMessage(env_, node.Path(folder), path);
    EXPECT_NE(f, nullptr);
    if (!f) return "";
    EXPECT_TRUE(CloseNetmailMessage(*f));
    EXPECT_EQ(path.rfind(node.dir(), 0), 0u) << path;
    return path.substr(node.dir().size());
  }

  std::string WriteOne(TempNode& node, const std::string& from_name, const char* orig,
                       const std::string& to_name, const char* dest, const std::string& subject,
                       const std::string& domain) {
    node.MakeDir("netmail");
    std::string path;
    platform::FilePtr f = CreateNetmailMessage(env_, node.Path("netmail/"), path);
    if (!f) {
      ADD_FAILURE() << "no message created";
      return "";
    }
    EXPECT_TRUE(WriteNetmailHeader(env_, log_, *serials_, from_name, ParseAddress(orig), to_name,
                                   ParseAddress(dest), subject, domain, *f));
    EXPECT_TRUE(CloseNetmailMessage(*f));
    return node.ReadFile(path.substr(node.dir().size()));
  }

  NetmailText ReadBack(TempNode& node, const std::string& bytes, NetmailHeader* header = nullptr) {
    node.WriteFile("netmail/in.msg", bytes);
    platform::FilePtr f = platform::DefaultEnv().Open(node.Path("netmail/in.msg"), platform::OpenMode::kRead);
    NetmailHeader h;
    EXPECT_TRUE(ReadNetmailHeader(*f, h));
    NetmailText text = ReadNetmailText(*f);
    if (header) *header = h;
    return text;
  }

  FaultyEnv env_;
  Configuration config_;
  ConfigurationInUse in_use_{config_};
  // The serials kept in a directory of their own: each test's messages
  // are in a node made for it.
  TempNode serials_dir_;
  std::optional<Serials> serials_{std::in_place, env_, serials_dir_.Path("pelix.seq")};
  LogFile log_{env_, serials_dir_.Path("pelix.log")};
  // What a new run of pelix starts with, after none before it.
  void NewRun() {
    (void)env_.DeleteFile(serials_dir_.Path("pelix.seq"));
    serials_.emplace(env_, serials_dir_.Path("pelix.seq"));
  }
};

TEST_F(NetmailFolderTest, NumbersFollowLastreadAndTheHighestMessage) {
  struct Case {
    const char* what;
    std::vector<std::string> files;
    std::string lastread;  // empty: none
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"empty folder", {}, "", "netmail/1.msg"},
      {"lastread above the files", {"17.msg"}, std::string("\xC8\x00", 2), "netmail/201.msg"},
      {"files above lastread", {"17.msg", "3.MSG"}, std::string("\x05\x00", 2), "netmail/18.msg"},
      {"names without digits and with zeros", {"abc.msg", "0012.msg"}, "", "netmail/13.msg"},
      {"one byte of lastread", {}, "\x07", "netmail/8.msg"},
      {"lastread at the end of the number space", {"2.msg"}, "\xFF\xFF", "netmail/1.msg"},
      {"number space used up at the top", {"65535.msg", "1.msg", "2.msg"}, "", "netmail/3.msg"},
      {"number beyond 16 bits", {"70000.msg"}, "", "netmail/1.msg"},
      {"other files", {"5.txt", "9.msg.bak"}, "", "netmail/1.msg"},
  };
  for (const Case& c : cases) {
    TempNode node;
    node.MakeDir("netmail");
    for (const std::string& name : c.files) node.WriteFile("netmail/" + name, "old");
    if (!c.lastread.empty()) node.WriteFile("netmail/lastread", c.lastread);
    EXPECT_EQ(CreateIn(node), c.expected) << c.what;
    for (const std::string& name : c.files)
      EXPECT_EQ(node.ReadFile("netmail/" + name), "old") << c.what << ": " << name;
  }
}

TEST_F(NetmailFolderTest, ReadOnlyLastreadIsNotUsed) {
  TempNode node;
  node.WriteFile("netmail/4.msg", "old");
  node.WriteFile("netmail/LASTREAD", std::string("\x64\x00", 2));
  ASSERT_EQ(::chmod(node.Path("netmail/LASTREAD").c_str(), 0444), 0);
  EXPECT_EQ(CreateIn(node), "netmail/5.msg");
}

TEST_F(NetmailFolderTest, AMessageCreatedStillOpenCountsForTheNext) {
  TempNode node;
  node.MakeDir("netmail");
  std::string first, second;
  platform::FilePtr a = CreateNetmailMessage(env_, node.Path("netmail/"), first);
  platform::FilePtr b = CreateNetmailMessage(env_, node.Path("netmail/"), second);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(first, node.Path("netmail/1.msg"));
  EXPECT_EQ(second, node.Path("netmail/2.msg"));
}

TEST_F(NetmailFolderTest, FolderIsJoinedWithOneSeparator) {
  EXPECT_EQ(JoinFolder("netmail", "1.msg"), "netmail/1.msg");
  EXPECT_EQ(JoinFolder("netmail\\", "1.msg"), "netmail\\1.msg");
  EXPECT_EQ(JoinFolder("netmail/", "1.msg"), "netmail/1.msg");
  EXPECT_EQ(JoinFolder("", "lastread"), "lastread");
  TempNode node;
  node.MakeDir("netmail");
  EXPECT_EQ(CreateIn(node, "netmail"), "netmail/1.msg");
  EXPECT_EQ(CreateIn(node, "NETMAIL\\"), "NETMAIL\\2.msg");
  EXPECT_EQ(node.List("netmail"), (std::vector<std::string>{"1.msg", "2.msg"}));
}

TEST_F(NetmailFolderTest, NoFolderNoMessage) {
  TempNode node;
  std::string path = "unchanged";
  EXPECT_EQ(CreateNetmailMessage(env_, node.Path("missing/"), path), nullptr);
  EXPECT_EQ(path, "unchanged");
}

TEST_F(NetmailFolderTest, HeaderIsFts0001ByteForByte) {
  TempNode node;
  std::string bytes = WriteOne(node, "Pelix", "2:5020/100", "John Smith", "2:345/6",
                               "Area manager reply", "");
  std::string expected(190, '\0');
  expected.replace(0, 5, "Pelix");
  expected.replace(36, 10, "John Smith");
  expected.replace(72, 18, "Area manager reply");
  expected.replace(144, 19, "06 Dec 26  10:47:11");
  expected.replace(166, 2, std::string("\x06\x00", 2));    // destNode
  expected.replace(168, 2, std::string("\x64\x00", 2));    // origNode 100
  expected.replace(172, 2, std::string("\x9C\x13", 2));    // origNet 5020
  expected.replace(174, 2, std::string("\x59\x01", 2));    // destNet 345
  expected.replace(186, 2, std::string("\x01\x01", 2));    // Private | Local
  ASSERT_GE(bytes.size(), 190u);
  EXPECT_EQ(bytes.substr(0, 190), expected);
  EXPECT_EQ(bytes.substr(190),
            "\x01INTL 2:345/6 2:5020/100\r\x01MSGID: 2:5020/100 6b153d2f\r");
}

TEST_F(NetmailFolderTest, KillAnswersAddsKillSent) {
  config_.main.kill_answers = 1;
  TempNode node;
  StoredMessageView v = ParseStoredMessage(
      WriteOne(node, "Pelix", "2:5020/100", "John", "2:345/6", "s", ""));
  EXPECT_EQ(v.attribute, 0x0181);
}

TEST_F(NetmailFolderTest, LongNamesAndSubjectsAreCutToTheirFields) {
  TempNode node;
  StoredMessageView v = ParseStoredMessage(WriteOne(node, std::string(50, 'F'), "2:5020/100",
                                                    std::string(40, 'T'), "2:345/6",
                                                    std::string(100, 'S'), ""));
  EXPECT_EQ(v.from_name, std::string(35, 'F'));
  EXPECT_EQ(v.to_name, std::string(35, 'T'));
  EXPECT_EQ(v.subject, std::string(71, 'S'));
  EXPECT_EQ(v.header[35], '\0');
  EXPECT_EQ(v.header[143], '\0');
  EXPECT_EQ(v.date_time, "06 Dec 26  10:47:11");
}

TEST_F(NetmailFolderTest, PointsTravelInFmptAndTopt) {
  struct Case {
    const char* orig;
    const char* dest;
    const char* domain;
    std::string control_lines;
  };
  const std::vector<Case> cases = {
      {"2:5020/100", "2:345/6.3", "",
       "\x01INTL 2:345/6 2:5020/100\r\x01TOPT 3\r\x01MSGID: 2:5020/100 6b153d2f\r"},
      {"2:5020/100.7", "1:2/3", "@fidonet",
       "\x01INTL 1:2/3 2:5020/100\r\x01" "FMPT 7\r\x01MSGID: 2:5020/100.7@fidonet 6b153d2f\r"},
      {"2:5020/100.7", "2:5020/200.9", "@fidonet.org",
       "\x01INTL 2:5020/200 2:5020/100\r\x01" "FMPT 7\r\x01TOPT 9\r"
       "\x01MSGID: 2:5020/100.7@fidonet.org 6b153d2f\r"},
  };
  for (const Case& c : cases) {
    NewRun();
    TempNode node;
    std::string bytes = WriteOne(node, "Pelix", c.orig, "John", c.dest, "s", c.domain);
    EXPECT_EQ(bytes.substr(190), c.control_lines) << c.orig << " -> " << c.dest;
  }
}

TEST_F(NetmailFolderTest, MessagesOfOneSecondCarryDifferentSerials) {
  TempNode node;
  std::string first = WriteOne(node, "Pelix", "2:5020/100", "John", "2:345/6", "s", "");
  std::string second = WriteOne(node, "Pelix", "2:5020/100", "John", "2:345/6", "s", "");
  EXPECT_NE(first.find("MSGID: 2:5020/100 6b153d2f\r"), std::string::npos);
  EXPECT_NE(second.find("MSGID: 2:5020/100 6b153d30\r"), std::string::npos);
  uint32_t third = 0;
  ASSERT_TRUE(serials_->NextMessage(log_, third));
  EXPECT_EQ(third, static_cast<uint32_t>(kSixDecember2026) + 2);
}

TEST_F(NetmailFolderTest, CrAndCrLfLineEndsReadAlike) {
  TestMessage m;
  m.kludges = {"INTL 2:5020/100 2:345/6", "MSGID: 2:345/6@fidonet 1234abcd", "FMPT 4",
               "TOPT 2", "PID: other 1.0"};
  m.lines = {"%LIST", "", "+AREA1", "---", ""};
  for (const char* end : {"\r", "\r\n", "\n\r"}) {
    m.line_end = end;
    TempNode node;
    NetmailHeader header;
    NetmailText text = ReadBack(node, BuildStoredMessage(m), &header);
    EXPECT_EQ(header.toUserName, "Pelix");
    EXPECT_EQ(text.body_lines, (std::vector<std::string>{"%LIST", "+AREA1", "---"}));
    EXPECT_EQ(text.kludges.intl_dest, "2:5020/100");
    EXPECT_EQ(text.kludges.intl_orig, "2:345/6");
    EXPECT_EQ(text.kludges.msgid, "2:345/6@fidonet");
    EXPECT_EQ(text.kludges.fmpt, "4");
    EXPECT_EQ(text.kludges.topt, "2");
  }
}

TEST_F(NetmailFolderTest, ControlKeywordsCompareWithCaseAndTheLastWins) {
  TestMessage m;
  m.kludges = {"intl 1:1/1 1:1/2", "MSGID 2:2/2 1", "FMPT 1", "FMPT   5", "INTL"};
  m.lines = {"body"};
  TempNode node;
  NetmailText text = ReadBack(node, BuildStoredMessage(m));
  EXPECT_EQ(text.kludges.intl_dest, "");
  EXPECT_EQ(text.kludges.intl_orig, "");
  EXPECT_EQ(text.kludges.msgid, "");
  EXPECT_EQ(text.kludges.fmpt, "5");
  EXPECT_EQ(text.body_lines, std::vector<std::string>{"body"});
}

TEST_F(NetmailFolderTest, AnUnfinishedLastLineIsNotSeen) {
  TestMessage m;
  m.lines = {"first"};
  std::string bytes = BuildStoredMessage(m);
  TempNode node;
  EXPECT_EQ(ReadBack(node, bytes + "second").body_lines, std::vector<std::string>{"first"});
  EXPECT_EQ(ReadBack(node, bytes + "second" + std::string(1, '\0') + "third\r").body_lines,
            std::vector<std::string>{"first"});
}

TEST_F(NetmailFolderTest, OverlongLinesAreCutNeverOverflow) {
  TestMessage m;
  m.lines = {std::string(300, 'a'), std::string(5000, 'b'), "+AREA"};
  m.kludges = {"MSGID: " + std::string(400, '9') + " 1"};
  TempNode node;
  NetmailText text = ReadBack(node, BuildStoredMessage(m));
  // A line past the 4096-character buffer is read as two.
  EXPECT_EQ(text.body_lines, (std::vector<std::string>{std::string(254, 'a'), std::string(254, 'b'),
                                                        std::string(254, 'b'), "+AREA"}));
  EXPECT_EQ(text.kludges.msgid, std::string(255, '9'));
}

TEST_F(NetmailFolderTest, OnlyTheFirst64KiBOfTheTextAreRead) {
  TestMessage m;
  m.lines.assign(100000, "+AREA");  // 600,000 bytes of text
  TempNode node;
  NetmailText text = ReadBack(node, BuildStoredMessage(m));
  const size_t kludge_bytes = BuildStoredMessage(m).size() - kNetmailHeaderSize - 6 * 100000;
  EXPECT_EQ(text.body_lines.size(), (kMaxNetmailText - kludge_bytes) / 6);
  EXPECT_EQ(text.body_lines.back(), "+AREA");
}

TEST_F(NetmailFolderTest, AFileShorterThanAHeaderIsNoMessage) {
  TempNode node;
  node.WriteFile("netmail/short.msg", std::string(189, 'x'));
  platform::FilePtr f = platform::DefaultEnv().Open(node.Path("netmail/short.msg"), platform::OpenMode::kRead);
  ASSERT_NE(f, nullptr);
  NetmailHeader header;
  EXPECT_FALSE(ReadNetmailHeader(*f, header));
}

TEST_F(NetmailFolderTest, HeaderFieldsWithoutTheirZeroAreCut) {
  std::string bytes(190, 'N');
  NetmailHeader h = DecodeNetmailHeader(bytes);
  EXPECT_EQ(h.fromUserName, std::string(35, 'N'));
  EXPECT_EQ(h.subject, std::string(71, 'N'));
  EXPECT_EQ(EncodeNetmailHeader(h).size(), 190u);
}

}  // namespace
