#include "common/records.h"

#include <gtest/gtest.h>

#include <string>

namespace {

MainConfig SampleConfig() {
  MainConfig c;
  c.version = 4;
  c.inbound_dir = "in/";
  c.queue_dir = "queue/";
  c.utc_offset = -5;
  c.main_address = "2:5020/100";
  c.kill_answers = 1;
  c.log_file = "pelix.log";
  c.announce_to = 1;
  c.files_bbs_counter = 1;
  c.aka_list = "2:5020/101,2:5020/102";
  return c;
}

uint32_t U32At(const std::string& b, size_t off) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(b[off + i])) << (8 * i);
  return v;
}

TEST(MainConfigLayout, FieldsSitAtTheirOffsets) {
  std::string b = WriteMainConfig(SampleConfig());
  ASSERT_EQ(b.size(), kMainConfigSize);
  EXPECT_EQ(b.substr(0, 6), std::string("PELIX\0", 6));
  EXPECT_EQ(b[6], 4);
  EXPECT_EQ(b[7], 0);
  EXPECT_EQ(b.substr(8, 3), "in/");
  EXPECT_EQ(b.substr(518, 6), "queue/");
  EXPECT_EQ(static_cast<int32_t>(U32At(b, 1538)), -5);
  EXPECT_EQ(b.substr(1542, 10), "2:5020/100");
  EXPECT_EQ(U32At(b, 1797), 1u);
  EXPECT_EQ(b.substr(1801, 9), "pelix.log");
  EXPECT_EQ(U32At(b, 2566), 1u);
  EXPECT_EQ(U32At(b, 2570), 1u);
  EXPECT_EQ(b.substr(2574, 21), "2:5020/101,2:5020/102");
  // Everything after a text's zero is zero.
  EXPECT_EQ(b.substr(11, 252), std::string(252, '\0'));
}

TEST(MainConfigLayout, RoundTripsAndShortFilesLeaveFieldsEmpty) {
  MainConfig c = SampleConfig();
  std::string b = WriteMainConfig(c);
  EXPECT_EQ(ReadMainConfig(b), c);
  EXPECT_TRUE(HasConfigSignature(b));
  MainConfig shorter = ReadMainConfig(b.substr(0, 2566));  // a version 2 file
  EXPECT_EQ(shorter.aka_list, "");
  EXPECT_EQ(shorter.announce_to, 0);
  EXPECT_EQ(shorter.log_file, "pelix.log");
  EXPECT_FALSE(HasConfigSignature(std::string("pelix\0", 6)));
  EXPECT_FALSE(HasConfigSignature("PELIXX"));
  EXPECT_FALSE(HasConfigSignature("PELI"));
}

TEST(TextFields, LongTextsKeepTheirZeroInsideTheField) {
  MainConfig c;
  c.inbound_dir = std::string(300, 'a');
  std::string b = WriteMainConfig(c);
  ASSERT_EQ(b.size(), kMainConfigSize);
  EXPECT_EQ(b.substr(8, 254), std::string(254, 'a'));
  EXPECT_EQ(b[8 + 254], '\0');
  EXPECT_EQ(ReadMainConfig(b).inbound_dir, std::string(254, 'a'));
}

TEST(DomainFile, TruncatedLastRecordIsDropped) {
  DomainRecord d;
  d.name = "fidonet";
  d.outbound_dir = "out";
  d.is_default = 1;
  d.has_main_zone = 1;
  d.main_zone = 2;
  d.zone_list = "1,2";
  std::string b = WriteDomains({d, d, d});
  ASSERT_EQ(b.size(), 3 * kDomainRecordSize);
  EXPECT_EQ(b.substr(510, 4), std::string("\x01\x01\x02\x00", 4));
  EXPECT_EQ(ReadDomains(b).size(), 3u);
  EXPECT_EQ(ReadDomains(b + "x").size(), 3u);
  EXPECT_EQ(ReadDomains(b + std::string(768, 'x')).size(), 3u);
  EXPECT_EQ(ReadDomains(b.substr(0, b.size() - 1)).size(), 2u);
  EXPECT_EQ(ReadDomains(b)[2], d);
  EXPECT_TRUE(ReadDomains("").empty());
}

TEST(LinkFile, LayoutAndTruncation) {
  LinkRecord l;
  l.sysop_name = "Sysop";
  l.address = "2:5020/1";
  l.areamgr_password = std::string(30, 'p');  // cut to 19 characters
  l.tic_password = "TIC";
  l.flavour = 'c';
  l.spare_flavour = 'f';
  l.passive = 1;
  l.allow_autocreate = 1;
  std::string b = WriteLinks({l, l});
  ASSERT_EQ(b.size(), 2 * kLinkRecordSize);
  EXPECT_EQ(b.substr(510, 20), std::string(19, 'p') + '\0');
  EXPECT_EQ(b.substr(530, 3), "TIC");
  EXPECT_EQ(b[805], 'c');
  EXPECT_EQ(b[806], 'f');
  EXPECT_EQ(U32At(b, 807), 1u);
  EXPECT_EQ(U32At(b, 811), 1u);
  std::vector<LinkRecord> read = ReadLinks(b);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].areamgr_password, std::string(19, 'p'));
  EXPECT_EQ(read[1].flavour, 'c');
  EXPECT_EQ(ReadLinks(b.substr(0, b.size() - 1)).size(), 1u);
}

FileEchoRecord Echo(const std::string& tag, std::vector<EchoLinkEntry> links) {
  FileEchoRecord e;
  e.tag = tag;
  e.description = "desc of " + tag;
  e.links = std::move(links);
  return e;
}

TEST(FileEchoFile, WritesOnlyEntriesWithAddressAndFlag) {
  FileEchoRecord e = Echo("AREA", {{"2:5020/1", 1, 1}, {"", 0, 1}, {"2:5020/2", 0, 0}, {"2:5020/3", 1, 0}});
  std::string b;
  AppendFileEchoRecord(b, e);
  ASSERT_EQ(b.size(), kFileEchoHeaderSize + 2 * kEchoLinkEntrySize);
  EXPECT_EQ(U32At(b, 514), 2u);
  std::vector<FileEchoRecord> read = ReadFileEchoes(b);
  ASSERT_EQ(read.size(), 1u);
  ASSERT_EQ(read[0].links.size(), 2u);
  EXPECT_EQ(read[0].links[1], (EchoLinkEntry{"2:5020/3", 1, 0}));

  FileEchoRecord none = Echo("NONE", {{"2:5020/2", 0, 0}});
  std::string nb;
  AppendFileEchoRecord(nb, none);
  EXPECT_EQ(nb.size(), kFileEchoHeaderSize);
}

TEST(FileEchoFile, ProcessorKeepsEmptyTagsSetupDropsThem) {
  std::vector<FileEchoRecord> echoes = {Echo("", {}), Echo("B", {})};
  EXPECT_EQ(ReadFileEchoes(WriteFileEchoes(echoes, false)).size(), 2u);
  EXPECT_EQ(ReadFileEchoes(WriteFileEchoes(echoes, true)).size(), 1u);
}

TEST(FileEchoFile, NewEchoIsAppendedWithItsFirstEntryOnly) {
  FileEchoRecord e = Echo("NEW", {{"2:5020/1", 1, 0}, {"2:5020/2", 1, 1}});
  std::string b;
  AppendNewFileEchoRecord(b, e);
  ASSERT_EQ(b.size(), kFileEchoHeaderSize + kEchoLinkEntrySize);
  EXPECT_EQ(U32At(b, 514), 1u);
  EXPECT_EQ(ReadFileEchoes(b)[0].links, (std::vector<EchoLinkEntry>{{"2:5020/1", 1, 0}}));
}

std::string WithLinkCount(std::string b, int32_t count) {
  uint32_t v = static_cast<uint32_t>(count);
  for (int i = 0; i < 4; ++i) b[514 + i] = static_cast<char>((v >> (8 * i)) & 0xff);
  return b;
}

TEST(FileEchoFile, DamagedLinkCountStaysInsideTheFile) {
  std::string b = WriteFileEchoes({Echo("A", {{"2:5020/1", 1, 1}})}, false);
  // Negative: an echo without links; the bytes after it are read as the
  // next record, which here is cut short and dropped.
  std::vector<FileEchoRecord> neg = ReadFileEchoes(WithLinkCount(b, -7));
  ASSERT_GE(neg.size(), 1u);
  EXPECT_TRUE(neg[0].links.empty());
  // Huge: only what the file holds is read, nothing is made up.
  std::vector<FileEchoRecord> huge = ReadFileEchoes(WithLinkCount(b, 0x7fffffff));
  ASSERT_EQ(huge.size(), 1u);
  EXPECT_EQ(huge[0].links.size(), 1u);
  // Cut inside its entries: the record is kept with what could be read.
  std::string two = WriteFileEchoes({Echo("A", {{"2:5020/1", 1, 1}, {"2:5020/2", 1, 1}})}, false);
  std::vector<FileEchoRecord> cut = ReadFileEchoes(two.substr(0, two.size() - 100));
  ASSERT_EQ(cut.size(), 1u);
  EXPECT_EQ(cut[0].links[0].address, "2:5020/1");
  // Cut inside the header: nothing.
  EXPECT_TRUE(ReadFileEchoes(b.substr(0, 513)).empty());
}

TEST(FileEchoFile, EchoWithoutLinksIsFollowedDirectlyByTheNext) {
  std::string b = WriteFileEchoes({Echo("A", {}), Echo("B", {{"2:5020/1", 1, 0}})}, false);
  EXPECT_EQ(b.size(), 2 * kFileEchoHeaderSize + kEchoLinkEntrySize);
  std::vector<FileEchoRecord> read = ReadFileEchoes(b);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].tag, "B");
  EXPECT_EQ(read[1].links.size(), 1u);
}

}  // namespace
