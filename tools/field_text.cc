#include "tools/field_text.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "common/field_codec.h"

namespace {

// A whole decimal number within [min, max]: no blanks, no other
// characters, so "1O" or "yes" is never read as something else.
template <typename N>
bool ParseNumber(std::string_view value, N& number, std::string& why) {
  long long parsed = 0;
  const char* end = value.data() + value.size();
  const char* begin = value.data();
  if (value.size() > 1 && value[0] == '+' && value[1] != '-') ++begin;
  const auto [stop, error] = std::from_chars(begin, end, parsed);
  if (value.empty() || error != std::errc() || stop != end ||
      parsed < std::numeric_limits<N>::min() || parsed > std::numeric_limits<N>::max()) {
    why = "takes a number from " + std::to_string(std::numeric_limits<N>::min()) + " to " +
          std::to_string(std::numeric_limits<N>::max());
    return false;
  }
  number = static_cast<N>(parsed);
  return true;
}

}  // namespace

std::string ValueText(const std::string& text) { return text; }
std::string ValueText(uint8_t value) { return std::to_string(value); }
std::string ValueText(uint16_t value) { return std::to_string(value); }
std::string ValueText(int32_t value) { return std::to_string(value); }
std::string ValueText(char letter) { return letter ? std::string(1, letter) : std::string(); }

bool ParseValue(std::string_view value, const char*, size_t width, std::string& text,
                std::string& why) {
  if (FitText(value, width) != value) {
    why = "takes at most " + std::to_string(width - 1) + " characters";
    return false;
  }
  text = value;
  return true;
}

bool ParseValue(std::string_view value, const char*, size_t, uint8_t& number, std::string& why) {
  return ParseNumber(value, number, why);
}

bool ParseValue(std::string_view value, const char*, size_t, uint16_t& number,
                std::string& why) {
  return ParseNumber(value, number, why);
}

bool ParseValue(std::string_view value, const char*, size_t, int32_t& number, std::string& why) {
  return ParseNumber(value, number, why);
}

bool ParseValue(std::string_view value, const char* letters, size_t, char& letter,
                std::string& why) {
  const bool fits = letters ? value.size() == 1 && value[0] != '\0' &&
                                  std::strchr(letters, value[0]) != nullptr
                            : value.size() <= 1;
  if (!fits) {
    why = letters ? std::string("takes one of the letters ") + letters : "takes one letter";
    return false;
  }
  letter = value.empty() ? '\0' : value[0];
  return true;
}
