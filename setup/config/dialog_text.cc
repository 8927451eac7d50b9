#include "setup/config/dialog_text.h"

#include <cstdio>

#include "common/field_codec.h"
#include "common/records.h"
#include "common/text_helpers.h"

std::string StoredText(std::string_view typed) {
  return FitText(typed, kTextWidth);
}

std::string StoredPassword(std::string_view typed) {
  return FitText(typed, kPasswordWidth);
}

std::string StoredDirectory(std::string_view typed) {
  std::string directory = StoredText(typed);
  if (directory.empty() || directory.back() == '\\' || directory.back() == '/') {
    return directory;
  }
  // A Windows-style path keeps its style; anything else gets "/".
  bool backslashes = directory.find('\\') != std::string::npos &&
                     directory.find('/') == std::string::npos;
  if (directory.size() > kTextWidth - 2) directory.resize(kTextWidth - 2);
  directory += backslashes ? '\\' : '/';
  return directory;
}

std::string UtcOffsetText(int32_t hours) {
  char text[16];
  std::snprintf(text, sizeof text, hours > 0 ? "+%d" : "%d", static_cast<int>(hours));
  return text;
}

int32_t UtcOffsetValue(std::string_view typed) {
  return static_cast<int32_t>(DecimalValue(typed.substr(0, 24)));
}

uint16_t MainZoneValue(std::string_view typed) {
  return static_cast<uint16_t>(DecimalValue(typed.substr(0, kTextWidth - 1)));
}

std::string MainZoneText(uint16_t zone) {
  char text[8];
  std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(zone));
  return text;
}
