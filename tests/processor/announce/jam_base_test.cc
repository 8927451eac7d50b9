// The JAM base writer, checked byte by byte against the JAM layout.
#include "processor/announce/jam_base.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>

#include "platform/platform.h"
#include "processor/config_store.h"
#include "tests/support/faulty_env.h"
#include "tests/support/foreign_lock.h"
#include "tests/support/temp_node.h"

namespace {

constexpr int64_t kMarch15 = 1710506096;  // 2024-03-15 12:34:56 UTC

uint32_t U32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i)
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(at + i))) << (8 * i);
  return value;
}

uint16_t U16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes.at(at)) |
                               static_cast<unsigned char>(bytes.at(at + 1)) << 8);
}

struct Subfield {
  uint16_t lo_id;
  uint16_t hi_id;
  std::string data;
  bool operator==(const Subfield&) const = default;
};

// The subfields of the message header at `at`, read by their own lengths.
std::vector<Subfield> Subfields(const std::string& jhr, size_t at) {
  std::vector<Subfield> fields;
  size_t pos = at + kJamMessageHeaderSize;
  size_t end = pos + U32(jhr, at + 8);
  while (pos < end) {
    uint32_t length = U32(jhr, pos + 4);
    fields.push_back({U16(jhr, pos), U16(jhr, pos + 2), jhr.substr(pos + 8, length)});
    pos += 8 + length;
  }
  EXPECT_EQ(pos, end);
  return fields;
}

class JamBaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    config_.main.main_address = "2:5020/100";
    env_.UseFakeClock(kMarch15);
  }
  bool Post(const std::string& text, const std::string& address = "2:5020/100") {
    JamBaseHeader header;
    platform::FilePtr jhr = OpenJamBase(env_, log_, base_, header);
    if (!jhr) return false;
    bool appended = AppendJamMessage(env_, log_, *serials_, base_, *jhr, header, text, address,
                                     "Pelix", "All", "New Files");
    return CloseJamBase(log_, *jhr, header) && appended;
  }

  TempNode node_;
  FaultyEnv env_;
  Configuration config_;
  ConfigurationInUse in_use_{config_};
  LogFile log_{env_, node_.Path("pelix.log")};
  std::optional<Serials> serials_{std::in_place, env_, node_.Path("pelix.seq")};
  // What a new run of pelix starts with.
  void NewRun() { serials_.emplace(env_, node_.Path("pelix.seq")); }
  uint32_t NextSerial() {
    uint32_t serial = 0;
    EXPECT_TRUE(serials_->NextMessage(log_, serial));
    return serial;
  }
  std::string base_ = node_.Path("newfiles");
};

TEST(JamTime, CountsLocalDaysWithTheLeapYearRule) {
  struct Case {
    platform::LocalTime t;
    uint32_t expected;
  };
  const Case cases[] = {
      {{1970, 1, 1, 0, 0, 0}, 0},
      {{1972, 2, 29, 23, 59, 59}, 68255999},
      {{1972, 3, 1, 0, 0, 0}, 68256000},
      {{2000, 3, 1, 0, 0, 0}, 951868800},
      {{2024, 2, 29, 12, 0, 0}, 1709208000},
      {{2024, 3, 15, 12, 34, 56}, 1710506096},
      {{2099, 12, 31, 23, 59, 59}, 4102444799u},
  };
  for (const Case& c : cases)
    EXPECT_EQ(JamTime(c.t), c.expected) << c.t.year << "-" << c.t.month << "-" << c.t.day;
}

TEST_F(JamBaseTest, DatesAreLocalTimeWithoutZoneCorrection) {
  const char* old = std::getenv("TZ");
  std::string saved = old ? old : "";
  ::setenv("TZ", "UTC-3", 1);  // three hours east of UTC
  ::tzset();
  bool posted = Post("text\r");
  if (old) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
  ::tzset();
  ASSERT_TRUE(posted);
  std::string jhr = node_.ReadFile("newfiles.jhr");
  EXPECT_EQ(U32(jhr, 4), kMarch15 + 3 * 3600);
  EXPECT_EQ(U32(jhr, 1024 + 36), kMarch15 + 3 * 3600);
}

TEST_F(JamBaseTest, NewBaseHoldsBaseHeaderOneMessageAndItsIndex) {
  const std::string text = " Area : TEST\r\n\r--- Pelix 1.02\r";
  ASSERT_TRUE(Post(text));
  std::string jhr = node_.ReadFile("newfiles.jhr");
  ASSERT_GE(jhr.size(), 1024u + 76u);
  // Base header.
  EXPECT_EQ(jhr.substr(0, 4), std::string("JAM\0", 4));
  EXPECT_EQ(U32(jhr, 4), kMarch15);     // DateCreated
  EXPECT_EQ(U32(jhr, 8), 0u);           // ModCounter
  EXPECT_EQ(U32(jhr, 12), 1u);          // ActiveMsgs
  EXPECT_EQ(U32(jhr, 16), 0xFFFFFFFFu); // PasswordCRC
  EXPECT_EQ(U32(jhr, 20), 1u);          // BaseMsgNum
  EXPECT_EQ(jhr.substr(24, 1000), std::string(1000, '\0'));
  // Message header.
  const size_t at = 1024;
  EXPECT_EQ(jhr.substr(at, 4), std::string("JAM\0", 4));
  EXPECT_EQ(U16(jhr, at + 4), 1);  // Revision
  EXPECT_EQ(U16(jhr, at + 6), 0);  // ReservedWord
  const uint32_t expected_fields[][2] = {
      {12, 0},           {16, 0xFFFFFFFF}, {20, 0xFFFFFFFF}, {24, 0},   {28, 0},
      {32, 0},           {36, kMarch15},   {40, kMarch15},   {44, 0},   {48, 1},
      {52, 0x01000001},  {56, 0},          {60, 0},          {64, 30},  {68, 0xFFFFFFFF},
      {72, 0},
  };
  for (const auto& f : expected_fields)
    EXPECT_EQ(U32(jhr, at + f[0]), f[1]) << "message header offset " << f[0];
  EXPECT_EQ(text.size(), 30u);
  std::vector<Subfield> fields = Subfields(jhr, at);
  EXPECT_EQ(fields, (std::vector<Subfield>{{0, 0, "2:5020/100"},
                                           {2, 0, "Pelix"},
                                           {3, 0, "All"},
                                           {6, 0, "New Files"},
                                           {4, 0, "2:5020/100 65f44070"}}));
  uint32_t subfield_len = U32(jhr, at + 8);
  EXPECT_EQ(subfield_len, 5 * 8 + 10 + 5 + 3 + 9 + 19);
  EXPECT_EQ(jhr.size(), 1024 + 76 + subfield_len);
  // Index and text.
  std::string jdx = node_.ReadFile("newfiles.jdx");
  ASSERT_EQ(jdx.size(), 8u);
  EXPECT_EQ(U32(jdx, 0), 0xFFFFFFFFu);  // UserCRC
  EXPECT_EQ(U32(jdx, 4), 1024u);        // HdrOffset
  EXPECT_EQ(node_.ReadFile("newfiles.jdt"), text);
  // Readers need the last-read file; a new base gets an empty one.
  EXPECT_TRUE(node_.Exists("newfiles.jlr"));
  EXPECT_EQ(node_.ReadFile("newfiles.jlr"), "");
  EXPECT_EQ(NextSerial(), kMarch15 + 1);  // one serial taken
}

TEST_F(JamBaseTest, SecondRunAppendsMessageTwoAndCountsTheOpening) {
  const std::string first = "first text\r";
  const std::string second = "second, longer text\r";
  ASSERT_TRUE(Post(first));
  size_t first_end = node_.ReadFile("newfiles.jhr").size();
  // A reader has used the base meanwhile; its last-read data stays as is.
  node_.WriteFile("newfiles.jlr", std::string(16, '\x07'));
  NewRun();
  env_.UseFakeClock(kMarch15 + 60);
  ASSERT_TRUE(Post(second));

  std::string jhr = node_.ReadFile("newfiles.jhr");
  EXPECT_EQ(U32(jhr, 4), kMarch15);  // DateCreated kept
  EXPECT_EQ(U32(jhr, 8), 1u);        // ModCounter
  EXPECT_EQ(U32(jhr, 12), 2u);       // ActiveMsgs
  EXPECT_EQ(U32(jhr, 20), 1u);       // BaseMsgNum
  const size_t at = first_end;
  EXPECT_EQ(U32(jhr, at + 36), kMarch15 + 60);
  EXPECT_EQ(U32(jhr, at + 48), 2u);              // MessageNumber
  EXPECT_EQ(U32(jhr, at + 60), first.size());    // TxtOffset
  EXPECT_EQ(U32(jhr, at + 64), second.size());   // TxtLen
  EXPECT_EQ(Subfields(jhr, at).back().data, "2:5020/100 65f440ac");
  EXPECT_EQ(jhr.size(), at + 76 + U32(jhr, at + 8));
  std::string jdx = node_.ReadFile("newfiles.jdx");
  ASSERT_EQ(jdx.size(), 16u);
  EXPECT_EQ(U32(jdx, 4), 1024u);
  EXPECT_EQ(U32(jdx, 12), at);
  EXPECT_EQ(node_.ReadFile("newfiles.jdt"), first + second);
  EXPECT_EQ(node_.ReadFile("newfiles.jlr"), std::string(16, '\x07'));
}

TEST_F(JamBaseTest, AddressWithDomainGoesWholeIntoSenderAndMsgid) {
  for (int i = 0; i < 3; ++i) NextSerial();
  ASSERT_TRUE(Post("text\r", "2:5020/100.7@fidonet"));
  std::string jhr = node_.ReadFile("newfiles.jhr");
  std::vector<Subfield> fields = Subfields(jhr, 1024);
  ASSERT_EQ(fields.size(), 5u);
  EXPECT_EQ(fields[0].data, "2:5020/100.7@fidonet");
  EXPECT_EQ(fields[4].data, "2:5020/100.7@fidonet 65f44073");
  EXPECT_EQ(U32(jhr, 1024 + 8), 5 * 8 + 20 + 5 + 3 + 9 + 29);
  EXPECT_EQ(NextSerial(), kMarch15 + 4);
}

TEST_F(JamBaseTest, BaseIsLockedWhileItIsWritten) {
  JamBaseHeader header;
  platform::FilePtr jhr = OpenJamBase(env_, log_, base_, header);
  ASSERT_NE(jhr, nullptr);
  EXPECT_FALSE(FirstByteFreeForOthers(base_ + ".jhr"));
  ASSERT_TRUE(AppendJamMessage(env_, log_, *serials_, base_, *jhr, header, "t", "2:5020/100",
                               "Pelix", "All", "S"));
  EXPECT_FALSE(FirstByteFreeForOthers(base_ + ".jhr"));
  ASSERT_TRUE(CloseJamBase(log_, *jhr, header));
  EXPECT_TRUE(FirstByteFreeForOthers(base_ + ".jhr"));
}

TEST_F(JamBaseTest, MissingFolderGivesCantCreateAndNoFiles) {
  JamBaseHeader header;
  EXPECT_EQ(OpenJamBase(env_, log_, node_.Path("nowhere/newfiles"), header), nullptr);
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{"! Can't Create JAM Base: No such file or directory"}));
  EXPECT_FALSE(node_.Exists("nowhere"));
}

TEST_F(JamBaseTest, IndexThatCannotBeOpenedAppendsNothing) {
  node_.MakeDir("newfiles.jdx");  // a folder where the index should be
  JamBaseHeader header;
  platform::FilePtr jhr = OpenJamBase(env_, log_, base_, header);
  ASSERT_NE(jhr, nullptr);
  EXPECT_FALSE(AppendJamMessage(env_, log_, *serials_, base_, *jhr, header, "text", "2:5020/100",
                                "Pelix", "All", "New Files"));
  EXPECT_TRUE(CloseJamBase(log_, *jhr, header));
  EXPECT_EQ(node_.LogMessages(),
            (std::vector<std::string>{"! Can't Open JAM Base: Is a directory"}));
  std::string jhr_bytes = node_.ReadFile("newfiles.jhr");
  EXPECT_EQ(jhr_bytes.size(), 1024u);
  EXPECT_EQ(U32(jhr_bytes, 12), 0u);  // ActiveMsgs
}

TEST_F(JamBaseTest, FullDiskLeavesNoPartOfAMessageBehind) {
  ASSERT_TRUE(Post("first\r"));
  const std::string files[] = {"newfiles.jhr", "newfiles.jdt", "newfiles.jdx"};
  for (const char* full : {".jdt", ".jdx"}) {
    SCOPED_TRACE(full);
    std::vector<size_t> sizes;
    for (const std::string& f : files) sizes.push_back(node_.ReadFile(f).size());
    env_.Fail(FaultyEnv::Op::kWrite, 1, full, 1);
    EXPECT_FALSE(Post("second, cut by a full disk\r"));
    EXPECT_EQ(node_.ReadFile("newfiles.jhr").size(), sizes[0]);
    // Text that no header names may stay behind a failed index write, as
    // that of a deleted message does; a cut text never does.
    if (std::string(full) == ".jdt") {
      EXPECT_EQ(node_.ReadFile("newfiles.jdt").size(), sizes[1]);
    }
    EXPECT_EQ(node_.ReadFile("newfiles.jdx").size(), sizes[2]);
    EXPECT_EQ(node_.LogMessages().back(), "! Can't Write JAM Base: No space left on device");
  }
  ASSERT_TRUE(Post("second\r"));
  const std::string jhr = node_.ReadFile("newfiles.jhr");
  const std::string jdx = node_.ReadFile("newfiles.jdx");
  ASSERT_EQ(jdx.size(), 16u);
  const size_t at = U32(jdx, 12);
  EXPECT_EQ(U32(jhr, at + 48), 2u);  // MessageNumber
  EXPECT_EQ(node_.ReadFile("newfiles.jdt").substr(U32(jhr, at + 60), U32(jhr, at + 64)), "second\r");
}

TEST_F(JamBaseTest, HeaderFileCutShortIsStartedAgain) {
  node_.WriteFile("newfiles.jhr", "JAM");  // a creation that ran out of disk
  ASSERT_TRUE(Post("text\r"));
  std::string jhr = node_.ReadFile("newfiles.jhr");
  EXPECT_EQ(U32(jhr, 8), 0u);   // ModCounter
  EXPECT_EQ(U32(jhr, 12), 1u);  // ActiveMsgs
  EXPECT_EQ(U32(jhr, 20), 1u);  // BaseMsgNum
  EXPECT_EQ(U32(jhr, 1024 + 48), 1u);
  EXPECT_EQ(U32(node_.ReadFile("newfiles.jdx"), 4), 1024u);
}

}  // namespace
