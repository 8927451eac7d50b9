#include "processor/tic_limits.h"

#include <algorithm>

#include "common/text_helpers.h"

namespace {

// Room for the value in a line of `keyword` (the keyword and its space).
size_t ValueRoom(std::string_view keyword) {
  return keyword.size() + 1 >= kMaxTicLine ? 0 : kMaxTicLine - keyword.size() - 1;
}

}  // namespace

bool TicLineFits(std::string_view keyword, std::string_view value) {
  return value.size() <= ValueRoom(keyword);
}

std::string TicLine(std::string_view keyword, std::string_view value) {
  std::string line(keyword);
  line += ' ';
  line += value.substr(0, ValueRoom(keyword));
  line += "\r\n";
  return line;
}

std::vector<std::string> WrapTicValue(std::string_view keyword, std::string_view text) {
  const size_t room = std::max<size_t>(ValueRoom(keyword), 1);
  std::vector<std::string> values;
  do {
    size_t cut = std::min(text.size(), room);
    size_t next = cut;
    if (cut < text.size()) {
      const size_t space = text.substr(0, cut + 1).find_last_of(' ');
      if (space != std::string_view::npos && space > 0) {
        cut = space;
        next = space + 1;
      }
    }
    values.emplace_back(text.substr(0, cut));
    text.remove_prefix(next);
  } while (!text.empty());
  return values;
}

bool IsTicName(std::string_view name) {
  return name.size() >= 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".tic");
}
