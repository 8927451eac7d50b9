// One field of a configuration record as text: how the text form shows a
// value and reads it back. Every value is checked against its field (a
// text's width, a number's range, the letters a letter field takes), so a
// value that does not fit is refused instead of being cut on its way into
// the file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "common/record_fields.h"

std::string ValueText(const std::string& text);
std::string ValueText(uint8_t value);
std::string ValueText(uint16_t value);
std::string ValueText(int32_t value);
std::string ValueText(char letter);  // a zero byte shows as nothing

// Each stores `value` and returns true, or says in `why` what the field
// takes ("takes at most 254 characters") and leaves it alone.
bool ParseValue(std::string_view value, const char* letters, size_t width, std::string& text,
                std::string& why);
bool ParseValue(std::string_view value, const char* letters, size_t width, uint8_t& number,
                std::string& why);
bool ParseValue(std::string_view value, const char* letters, size_t width, uint16_t& number,
                std::string& why);
bool ParseValue(std::string_view value, const char* letters, size_t width, int32_t& number,
                std::string& why);
bool ParseValue(std::string_view value, const char* letters, size_t width, char& letter,
                std::string& why);

template <typename R>
std::string FieldText(const RecordField<R>& field, const R& record) {
  return std::visit([&](auto member) { return ValueText(record.*member); }, field.member);
}

template <typename R>
bool SetFieldText(const RecordField<R>& field, R& record, std::string_view value,
                  std::string& why) {
  return std::visit(
      [&](auto member) {
        return ParseValue(value, field.letters, field.width, record.*member, why);
      },
      field.member);
}
