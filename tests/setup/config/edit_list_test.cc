// The record lists the Domain, Link and File Echo dialogs walk and edit.
#include "setup/config/edit_list.h"

#include <gtest/gtest.h>

#include "common/records.h"

namespace {

struct Named {
  std::string name;
  int tie = 0;
};

EditList<Named> ListOf(std::vector<std::string> names) {
  EditList<Named> list;
  std::vector<Named> records;
  for (auto& n : names) records.push_back({n});
  LoadList(list, std::move(records));
  EnsureFirstRecord(list);
  return list;
}

std::string Names(const EditList<Named>& list) {
  std::string out;
  for (const Named& r : ListRecords(list)) out += (out.empty() ? "" : ",") + r.name;
  return out;
}

std::string Shown(const EditList<Named>& list) {
  return list.current->record.name + " " + RecordCounterText(list.index, list.count);
}

}  // namespace

TEST(EditListTest, EmptyListCountsOneAndGetsABlankRecordWhenADialogOpens) {
  EditList<LinkRecord> links;
  LoadList(links, {});
  EXPECT_EQ(links.head, nullptr);
  EXPECT_EQ(links.count, 1u);
  EnsureFirstRecord(links);
  ASSERT_NE(links.head, nullptr);
  EXPECT_EQ(links.current, links.head.get());
  EXPECT_EQ(links.head->next, nullptr);
  // A new link is sent with normal flavour until the sysop says otherwise.
  EXPECT_EQ(links.current->record.flavour, 'f');
  EXPECT_EQ(links.current->record.spare_flavour, 'f');
  EXPECT_EQ(RecordCounterText(links.index, links.count), "1/1");
}

TEST(EditListTest, LoadKeepsFileOrderAndCountsEveryRecord) {
  EditList<Named> list = ListOf({"a", "b", "c"});
  EXPECT_EQ(Names(list), "a,b,c");
  EXPECT_EQ(Shown(list), "a 1/3");
}

TEST(EditListTest, NavigationWalksAndStopsAtBothEnds) {
  EditList<Named> list = ListOf({"a", "b", "c", "d"});
  PreviousRecord(list);
  EXPECT_EQ(Shown(list), "a 1/4");
  NextRecord(list);
  NextRecord(list);
  EXPECT_EQ(Shown(list), "c 3/4");
  PreviousRecord(list);
  EXPECT_EQ(Shown(list), "b 2/4");
  LastRecord(list);
  EXPECT_EQ(Shown(list), "d 4/4");
  NextRecord(list);
  EXPECT_EQ(Shown(list), "d 4/4");
  FirstRecord(list);
  EXPECT_EQ(Shown(list), "a 1/4");
}

TEST(EditListTest, InsertPutsABlankRecordRightAfterTheShownOne) {
  EditList<Named> list = ListOf({"a", "b"});
  InsertAfterCurrent(list);
  EXPECT_EQ(Shown(list), " 2/3");
  list.current->record.name = "new";
  EXPECT_EQ(Names(list), "a,new,b");
  LastRecord(list);
  InsertAfterCurrent(list);
  EXPECT_EQ(Shown(list), " 4/4");
  EXPECT_EQ(Names(list), "a,new,b,");
}

TEST(EditListTest, DeleteShowsTheNextHeadOrThePreviousRecord) {
  EditList<Named> list = ListOf({"a", "b", "c"});
  DeleteCurrent(list);  // the head: the next record becomes record 1
  EXPECT_EQ(Shown(list), "b 1/2");
  EXPECT_EQ(Names(list), "b,c");
  LastRecord(list);
  DeleteCurrent(list);  // the last: its predecessor is shown
  EXPECT_EQ(Shown(list), "b 1/1");
  DeleteCurrent(list);  // the only record stays
  EXPECT_EQ(Shown(list), "b 1/1");
  EXPECT_EQ(Names(list), "b");

  EditList<Named> middle = ListOf({"a", "b", "c", "d"});
  NextRecord(middle);
  NextRecord(middle);
  DeleteCurrent(middle);
  EXPECT_EQ(Shown(middle), "b 2/3");
  EXPECT_EQ(Names(middle), "a,b,d");
}

TEST(EditListTest, SortIsStableAndReturnsToTheFirstRecord) {
  EditList<Named> list;
  LoadList(list, {{"c", 1}, {"a", 1}, {"b", 1}, {"a", 2}, {"c", 2}});
  EnsureFirstRecord(list);
  NextRecord(list);
  SortList(list, [](const Named& b, const Named& a) { return b.name < a.name; });
  std::string order;
  for (const Named& r : ListRecords(list)) order += r.name + std::to_string(r.tie) + " ";
  EXPECT_EQ(order, "a1 a2 b1 c1 c2 ");
  EXPECT_EQ(Shown(list), "a 1/5");
}

TEST(EditListTest, SortedEchoTakesItsConnectedNodesAlong) {
  EditList<FileEchoRecord> echoes;
  FileEchoRecord z{"ZZZ", "", 0, {{"2:5020/1", 1, 1}}};
  FileEchoRecord a{"AAA", "", 0, {{"2:5020/2", 1, 0}, {"2:5020/3", 0, 1}}};
  LoadList(echoes, {z, a});
  EnsureFirstRecord(echoes);
  SortList(echoes, [](const FileEchoRecord& b, const FileEchoRecord& a) { return b.tag < a.tag; });
  std::vector<FileEchoRecord> sorted = ListRecords(echoes);
  EXPECT_EQ(sorted[0], a);
  EXPECT_EQ(sorted[1], z);
}

TEST(EditListTest, NavigationButtonsFollowThePositionOfTheShownRecord) {
  struct Case {
    std::vector<std::string> names;
    int steps;  // NextRecord calls after opening
    bool del, first, previous, next, last;
  };
  const Case cases[] = {
      {{"only"}, 0, false, false, false, false, false},
      {{"a", "b", "c"}, 0, true, false, false, true, true},
      {{"a", "b", "c"}, 1, true, true, true, true, true},
      {{"a", "b", "c"}, 2, true, true, true, false, false},
  };
  for (const Case& c : cases) {
    EditList<Named> list = ListOf(c.names);
    for (int i = 0; i < c.steps; ++i) NextRecord(list);
    NavigationButtons b = NavigationButtonsFor(list);
    SCOPED_TRACE(Shown(list));
    EXPECT_EQ(b.delete_enabled, c.del);
    EXPECT_EQ(b.first_enabled, c.first);
    EXPECT_EQ(b.previous_enabled, c.previous);
    EXPECT_EQ(b.next_enabled, c.next);
    EXPECT_EQ(b.last_enabled, c.last);
  }
}

TEST(EditListTest, CounterShowsPositionAndCount) {
  EXPECT_EQ(RecordCounterText(3, 12), "3/12");
}

TEST(EditListTest, AVeryLongListIsFreedWithoutExhaustingTheStack) {
  EditList<Named> list;
  LoadList(list, std::vector<Named>(1'000'000));
  EXPECT_EQ(list.count, 1'000'000u);
  ClearList(list);
  EXPECT_EQ(list.head, nullptr);
  EXPECT_EQ(list.count, 1u);
}
