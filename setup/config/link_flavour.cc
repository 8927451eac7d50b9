#include "setup/config/link_flavour.h"

#include "common/records.h"
#include "common/text_helpers.h"

namespace {

const Keyword kFlavours[] = {
    {"Normal", 1}, {"Crash", 2}, {"Direct", 3}, {"Hold", 4}, {"Immediate", 5}, {nullptr, 0},
};

// Indexed by the code of kFlavours; code 0 is a text that names no status.
const char kFlavourLetters[] = {'f', 'f', 'c', 'd', 'h', 'i'};

}  // namespace

char FlavourLetter(std::string_view text) {
  int code = LookupKeyword(kFlavours, text.substr(0, kTextWidth - 1), 0, false);
  return kFlavourLetters[code];
}

const char* FlavourText(char flavour) {
  switch (flavour) {
    case 'c': return "Crash";
    case 'd': return "Direct";
    case 'h': return "Hold";
    case 'i': return "Immediate";
    default: return "Normal";
  }
}
