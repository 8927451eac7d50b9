// setup's in-memory list of one record kind: a singly linked list of nodes in
// file order, the node a dialog shows (`current`), the number of records and
// the 1-based position of `current`. The record dialogs call these operations
// between storing their controls into `current` and showing `current` again.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

template <typename Record>
struct EditNode {
  Record record{};  // a new node starts blank (a new link with flavour 'f')
  std::unique_ptr<EditNode> next;
};

template <typename Record>
struct EditList;

template <typename Record>
void ClearList(EditList<Record>& list);

template <typename Record>
struct EditList {
  EditList() = default;
  EditList(const EditList&) = delete;
  EditList& operator=(const EditList&) = delete;
  // The nodes stay where they are, so `current` stays valid.
  EditList(EditList&& other) noexcept
      : head(std::move(other.head)), current(other.current),
        count(other.count), index(other.index) {
    other.current = nullptr;
    other.count = other.index = 1;
  }
  EditList& operator=(EditList&& other) noexcept {
    if (this != &other) {
      ClearList(*this);
      head = std::move(other.head);
      current = std::exchange(other.current, nullptr);
      count = std::exchange(other.count, 1u);
      index = std::exchange(other.index, 1u);
    }
    return *this;
  }
  // Freed node by node, so that a long list cannot exhaust the stack.
  ~EditList() { ClearList(*this); }

  std::unique_ptr<EditNode<Record>> head;
  EditNode<Record>* current = nullptr;
  // Both start at 1; a load adds one per record after the first, so an empty
  // list still counts 1 until its first record is created.
  unsigned count = 1;
  unsigned index = 1;
};

template <typename Record>
void ClearList(EditList<Record>& list) {
  std::unique_ptr<EditNode<Record>> node = std::move(list.head);
  while (node) node = std::move(node->next);
  list.current = nullptr;
  list.count = 1;
  list.index = 1;
}

// Appends the records read from a file, keeping the file's order.
template <typename Record>
void LoadList(EditList<Record>& list, std::vector<Record>&& records) {
  EditNode<Record>* tail = list.head.get();
  while (tail && tail->next) tail = tail->next.get();
  for (Record& record : records) {
    auto node = std::make_unique<EditNode<Record>>();
    node->record = std::move(record);
    if (!tail) {
      list.head = std::move(node);
      tail = list.head.get();
    } else {
      tail->next = std::move(node);
      tail = tail->next.get();
      ++list.count;
    }
  }
}

// The records in list order, as the save writes them.
template <typename Record>
std::vector<Record> ListRecords(const EditList<Record>& list) {
  std::vector<Record> records;
  for (const EditNode<Record>* n = list.head.get(); n; n = n->next.get()) {
    records.push_back(n->record);
  }
  return records;
}

// Every record dialog opens on record 1; an empty list gets a blank record.
template <typename Record>
void EnsureFirstRecord(EditList<Record>& list) {
  if (!list.head) {
    list.head = std::make_unique<EditNode<Record>>();
    list.count = 1;
  }
  list.current = list.head.get();
  list.index = 1;
}

template <typename Record>
void FirstRecord(EditList<Record>& list) {
  list.current = list.head.get();
  list.index = 1;
}

template <typename Record>
void PreviousRecord(EditList<Record>& list) {
  if (!list.current || list.current == list.head.get()) return;
  EditNode<Record>* node = list.head.get();
  unsigned index = 1;
  while (node->next.get() != list.current) {
    node = node->next.get();
    ++index;
  }
  list.current = node;
  list.index = index;
}

template <typename Record>
void NextRecord(EditList<Record>& list) {
  if (!list.current || !list.current->next) return;
  list.current = list.current->next.get();
  ++list.index;
}

template <typename Record>
void LastRecord(EditList<Record>& list) {
  if (!list.current) return;
  while (list.current->next) {
    list.current = list.current->next.get();
    ++list.index;
  }
}

// The node is made before anything changes, so a failed allocation leaves
// the list as it was.
template <typename Record>
void InsertAfterCurrent(EditList<Record>& list) {
  if (!list.current) return;
  auto node = std::make_unique<EditNode<Record>>();
  ++list.count;
  ++list.index;
  node->next = std::move(list.current->next);
  list.current->next = std::move(node);
  list.current = list.current->next.get();
}

// The last remaining record is never deleted: a dialog always has one to show.
template <typename Record>
void DeleteCurrent(EditList<Record>& list) {
  if (!list.current) return;
  if (list.current == list.head.get()) {
    if (!list.head->next) return;
    --list.count;
    list.head = std::move(list.head->next);
    list.current = list.head.get();
    list.index = 1;
    return;
  }
  --list.count;
  EditNode<Record>* previous = list.head.get();
  unsigned index = 1;
  while (previous->next.get() != list.current) {
    previous = previous->next.get();
    ++index;
  }
  std::unique_ptr<EditNode<Record>> doomed = std::move(previous->next);
  previous->next = std::move(doomed->next);
  list.current = previous;
  list.index = index;
}

// Passes of neighbour swaps until one pass swaps nothing. Contents move, the
// nodes stay, so records that sort equal keep their order and an echo keeps
// its connected nodes.
template <typename Record, typename SortsBefore>
void SortList(EditList<Record>& list, SortsBefore sorts_before) {
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (EditNode<Record>* a = list.head.get(); a && a->next; a = a->next.get()) {
      EditNode<Record>* b = a->next.get();
      if (sorts_before(b->record, a->record)) {
        std::swap(a->record, b->record);
        swapped = true;
      }
    }
  }
  list.current = list.head.get();
  list.index = 1;
}

// Which of the record buttons can be used on the shown record.
struct NavigationButtons {
  bool delete_enabled = true;
  bool first_enabled = true;
  bool previous_enabled = true;
  bool next_enabled = true;
  bool last_enabled = true;
};

template <typename Record>
NavigationButtons NavigationButtonsFor(const EditList<Record>& list) {
  bool at_head = list.current == list.head.get();
  bool at_end = !list.current || !list.current->next;
  NavigationButtons buttons;
  buttons.delete_enabled = !(at_head && at_end);
  buttons.first_enabled = buttons.previous_enabled = !at_head;
  buttons.next_enabled = buttons.last_enabled = !at_end;
  return buttons;
}

// The record counter of a dialog: "3/12".
inline std::string RecordCounterText(unsigned index, unsigned count) {
  char text[32];
  std::snprintf(text, sizeof text, "%u/%u", index, count);
  return text;
}
