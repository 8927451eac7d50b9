#include "common/field_codec.h"

#include <algorithm>

std::string FitText(std::string_view text, size_t width) {
  if (width == 0) return {};
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  return std::string(text.substr(0, std::min(text.size(), width - 1)));
}

void FieldWriter::Text(std::string_view text, size_t width) {
  std::string fitted = FitText(text, width);
  out_.append(fitted);
  out_.append(width - fitted.size(), '\0');
}

void FieldWriter::U8(uint8_t value) { out_.push_back(static_cast<char>(value)); }

void FieldWriter::U16(uint16_t value) {
  out_.push_back(static_cast<char>(value & 0xff));
  out_.push_back(static_cast<char>(value >> 8));
}

void FieldWriter::I32(int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) out_.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::string_view FieldReader::Take(size_t width, bool& whole) {
  size_t n = std::min(width, remaining());
  std::string_view field = bytes_.substr(pos_, n);
  pos_ += n;
  whole = n == width;
  return field;
}

bool FieldReader::Text(std::string& text, size_t width) {
  bool whole = false;
  std::string_view field = Take(width, whole);
  size_t zero = field.find('\0');
  // A field without its zero is cut so that it still fits when written back.
  if (zero == std::string_view::npos) zero = std::min(field.size(), width ? width - 1 : 0);
  text.assign(field.substr(0, zero));
  return whole;
}

bool FieldReader::U8(uint8_t& value) {
  bool whole = false;
  std::string_view field = Take(1, whole);
  value = field.empty() ? 0 : static_cast<uint8_t>(field[0]);
  return whole;
}

bool FieldReader::U16(uint16_t& value) {
  bool whole = false;
  std::string_view field = Take(2, whole);
  uint16_t v = 0;
  for (size_t i = 0; i < field.size(); ++i)
    v = static_cast<uint16_t>(v | (static_cast<uint8_t>(field[i]) << (8 * i)));
  value = v;
  return whole;
}

bool FieldReader::I32(int32_t& value) {
  bool whole = false;
  std::string_view field = Take(4, whole);
  uint32_t v = 0;
  for (size_t i = 0; i < field.size(); ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(field[i])) << (8 * i);
  value = static_cast<int32_t>(v);
  return whole;
}

bool FieldReader::Skip(size_t width) {
  bool whole = false;
  Take(width, whole);
  return whole;
}
