// Fixed-width little-endian fields, the one place where widths meet bytes.
// Every record reader and writer goes through these, so no record can read
// or write past a field or past the end of its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class FieldWriter {
 public:
  explicit FieldWriter(std::string& out) : out_(out) {}

  // A text field of `width` bytes: at most width-1 characters, then zeros up
  // to the field's end (so nothing of an older, longer text survives).
  void Text(std::string_view text, size_t width);
  void U8(uint8_t value);
  void U16(uint16_t value);
  void I32(int32_t value);
  void Raw(std::string_view bytes) { out_.append(bytes); }

 private:
  std::string& out_;
};

class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

  // Each reader returns true only when the whole field was there. A short
  // field still yields what it holds (texts up to their zero, numbers from
  // the bytes read, missing bytes zero) and leaves the reader at the end.
  bool Text(std::string& text, size_t width);
  bool U8(uint8_t& value);
  bool U16(uint16_t& value);
  bool I32(int32_t& value);
  bool Skip(size_t width);

  size_t remaining() const { return bytes_.size() - pos_; }
  bool at_end() const { return pos_ >= bytes_.size(); }

 private:
  std::string_view Take(size_t width, bool& whole);

  std::string_view bytes_;
  size_t pos_ = 0;
};

// The text a field of `width` bytes can hold: cut to width-1 characters and
// at an embedded zero, as a reader of the stored field would see it.
std::string FitText(std::string_view text, size_t width);
