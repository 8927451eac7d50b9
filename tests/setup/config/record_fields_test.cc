// What the Link, Domain and File Echo dialogs make of typed texts, and the
// orders of their "&Sort" buttons.
#include <gtest/gtest.h>

#include "setup/config/connected_nodes.h"
#include "setup/config/dialog_text.h"
#include "setup/config/edit_list.h"
#include "setup/config/link_flavour.h"
#include "setup/config/sort_orders.h"

namespace {

template <typename Record>
EditList<Record> ListOf(std::vector<Record> records) {
  EditList<Record> list;
  LoadList(list, std::move(records));
  EnsureFirstRecord(list);
  return list;
}

}  // namespace

TEST(RecordFieldsTest, FlavourLetterComesFromTheWholeTextIgnoringCase) {
  const struct {
    const char* typed;
    char letter;
  } cases[] = {
      {"Normal", 'f'}, {"Crash", 'c'},   {"Direct", 'd'}, {"Hold", 'h'},   {"Immediate", 'i'},
      {"hold", 'h'},   {"CRASH", 'c'},   {"Fast", 'f'},   {"", 'f'},       {"Hold ", 'f'},
      {"Hol", 'f'},    {"iMMEDIATE", 'i'},
  };
  for (const auto& c : cases) EXPECT_EQ(FlavourLetter(c.typed), c.letter) << c.typed;
  const struct {
    char letter;
    const char* shown;
  } shown[] = {{'c', "Crash"}, {'d', "Direct"}, {'f', "Normal"}, {'h', "Hold"},
               {'i', "Immediate"}, {'x', "Normal"}, {'\0', "Normal"}, {'H', "Normal"}};
  for (const auto& s : shown) EXPECT_STREQ(FlavourText(s.letter), s.shown) << s.letter;
}

TEST(RecordFieldsTest, MainZoneKeepsTheLowSixteenBits) {
  const struct {
    const char* typed;
    uint16_t zone;
  } cases[] = {{"2", 2}, {"70000", 4464}, {"-1", 65535}, {"abc", 0}, {"", 0},
               {" +21x", 21}, {"65536", 0}};
  for (const auto& c : cases) EXPECT_EQ(MainZoneValue(c.typed), c.zone) << c.typed;
  EXPECT_EQ(MainZoneText(4464), "4464");
  EXPECT_EQ(MainZoneText(65535), "65535");
}

TEST(RecordFieldsTest, PasswordsKeepNineteenCharacters) {
  EXPECT_EQ(StoredPassword(std::string(30, 'p')), std::string(19, 'p'));
  EXPECT_EQ(StoredPassword("SECRET"), "SECRET");
}

TEST(RecordFieldsTest, LinksSortByZoneNetNodePointAndKeepTiesInOrder) {
  std::vector<LinkRecord> links;
  for (const char* address : {"2:10/3", "1:20/1", "1:5/7.1", "1:5/7@fidonet", "10/3", "1:5/7.0"}) {
    LinkRecord link;
    link.address = address;
    link.sysop_name = address;
    links.push_back(link);
  }
  EditList<LinkRecord> list = ListOf(std::move(links));
  SortList(list, LinkSortsBefore);
  std::vector<std::string> order;
  for (const LinkRecord& l : ListRecords(list)) order.push_back(l.address);
  // "10/3" has no zone: 10 is taken as its zone.
  EXPECT_EQ(order, (std::vector<std::string>{"1:5/7@fidonet", "1:5/7.0", "1:5/7.1", "1:20/1",
                                             "2:10/3", "10/3"}));
  EXPECT_EQ(list.current, list.head.get());
  EXPECT_EQ(list.index, 1u);
}

TEST(RecordFieldsTest, EchoesSortByTagIgnoringCaseWithTheirConnectedNodes) {
  std::vector<FileEchoRecord> echoes;
  for (const char* tag : {"ABD", "abc", "AB", "Abc", "\xC4XTRA", "ZZZ"}) {
    FileEchoRecord echo;
    echo.tag = tag;
    echo.links.push_back({std::string("link of ") + tag, 1, 1});
    echoes.push_back(echo);
  }
  EditList<FileEchoRecord> list = ListOf(std::move(echoes));
  SortList(list, EchoSortsBefore);
  std::vector<std::string> order;
  for (const FileEchoRecord& e : ListRecords(list)) {
    order.push_back(e.tag);
    ASSERT_EQ(e.links.size(), 1u);
    EXPECT_EQ(e.links[0].address, "link of " + e.tag);
  }
  // Bytes above 127 sort after every letter.
  EXPECT_EQ(order, (std::vector<std::string>{"AB", "abc", "Abc", "ABD", "ZZZ", "\xC4XTRA"}));
}

TEST(RecordFieldsTest, ConnectedNodesAreOneWhenTheyNameTheSameSystem) {
  FileEchoRecord echo;
  ASSERT_TRUE(AddConnectedNode(echo, {"1:2/3.0", 1, 0}));
  EXPECT_FALSE(AddConnectedNode(echo, {"1:2/3", 0, 1}));
  EXPECT_FALSE(AddConnectedNode(echo, {"1:2/3@othernet", 0, 1}));
  ASSERT_TRUE(AddConnectedNode(echo, {"1:2/3.1", 0, 1}));
  ASSERT_TRUE(AddConnectedNode(echo, {"", 0, 0}));
  EXPECT_FALSE(AddConnectedNode(echo, {"", 1, 1}));
  ASSERT_EQ(echo.links.size(), 3u);
  EXPECT_EQ(echo.links[0], (EchoLinkEntry{"1:2/3.0", 1, 0}));
  EXPECT_EQ(echo.links[1], (EchoLinkEntry{"1:2/3.1", 0, 1}));

  EXPECT_EQ(FindConnectedNode(echo, "1:2/3"), &echo.links[0]);
  EXPECT_EQ(FindConnectedNode(echo, "1:2/4"), nullptr);

  FileEchoRecord twice;
  twice.links = {{"2:5020/1", 1, 1}, {"2:5020/2", 1, 0}, {"2:5020/1", 0, 1}};
  RemoveConnectedNode(twice, "2:5020/1");
  EXPECT_EQ(twice.links, (std::vector<EchoLinkEntry>{{"2:5020/2", 1, 0}, {"2:5020/1", 0, 1}}));
  RemoveConnectedNode(twice, "9:9/9");
  EXPECT_EQ(twice.links.size(), 2u);

  EchoLinkEntry edited;
  EditConnectedNode(edited, std::string(300, '1'), true, false);
  EXPECT_EQ(edited, (EchoLinkEntry{std::string(254, '1'), 1, 0}));
}
