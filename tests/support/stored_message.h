// FTS-0001 stored messages for tests, built and taken apart byte by byte
// at the offsets the standard gives, apart from the code under test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestMessage {
  std::string from_name = "John Smith";
  std::string to_name = "Pelix";
  std::string subject = "secret";
  std::string date_time = "01 Jan 26  00:00:00";
  uint16_t orig_net = 0;
  uint16_t orig_node = 0;
  uint16_t dest_net = 0;
  uint16_t dest_node = 0;
  uint16_t attribute = 0x0001;
  std::vector<std::string> kludges;  // without the leading 0x01
  std::vector<std::string> lines;
  std::string line_end = "\r";
};

namespace stored_message_detail {

inline void PutText(std::string& bytes, size_t offset, size_t width, const std::string& text) {
  for (size_t i = 0; i < text.size() && i < width; ++i) bytes[offset + i] = text[i];
}

inline void PutU16(std::string& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<char>(value & 0xff);
  bytes[offset + 1] = static_cast<char>(value >> 8);
}

inline std::string GetText(const std::string& bytes, size_t offset, size_t width) {
  std::string field = bytes.substr(offset, width);
  return field.substr(0, field.find('\0'));
}

inline uint16_t GetU16(const std::string& bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) |
                               (static_cast<uint8_t>(bytes[offset + 1]) << 8));
}

}  // namespace stored_message_detail

// The header (texts cut only by their field width, as another program might
// write them) followed by the control lines and body lines, each ended by
// `line_end`.
inline std::string BuildStoredMessage(const TestMessage& m) {
  using namespace stored_message_detail;
  std::string bytes(190, '\0');
  PutText(bytes, 0, 36, m.from_name);
  PutText(bytes, 36, 36, m.to_name);
  PutText(bytes, 72, 72, m.subject);
  PutText(bytes, 144, 20, m.date_time);
  PutU16(bytes, 166, m.dest_node);
  PutU16(bytes, 168, m.orig_node);
  PutU16(bytes, 172, m.orig_net);
  PutU16(bytes, 174, m.dest_net);
  PutU16(bytes, 186, m.attribute);
  for (const std::string& k : m.kludges) bytes += "\x01" + k + m.line_end;
  for (const std::string& line : m.lines) bytes += line + m.line_end;
  return bytes;
}

// A stored message taken apart: header fields, the raw header, and the text
// split at every CR (so an empty line shows as "" and the last piece is what
// follows the last CR).
struct StoredMessageView {
  bool whole_header = false;
  std::string header;  // the 190 raw bytes
  std::string from_name, to_name, subject, date_time;
  uint16_t times_read = 0, dest_node = 0, orig_node = 0, cost = 0, orig_net = 0, dest_net = 0;
  uint16_t reply_to = 0, attribute = 0, next_reply = 0;
  std::string text;
  std::vector<std::string> pieces;
};

inline StoredMessageView ParseStoredMessage(const std::string& bytes) {
  using namespace stored_message_detail;
  StoredMessageView v;
  if (bytes.size() < 190) return v;
  v.whole_header = true;
  v.header = bytes.substr(0, 190);
  v.from_name = GetText(bytes, 0, 36);
  v.to_name = GetText(bytes, 36, 36);
  v.subject = GetText(bytes, 72, 72);
  v.date_time = GetText(bytes, 144, 20);
  v.times_read = GetU16(bytes, 164);
  v.dest_node = GetU16(bytes, 166);
  v.orig_node = GetU16(bytes, 168);
  v.cost = GetU16(bytes, 170);
  v.orig_net = GetU16(bytes, 172);
  v.dest_net = GetU16(bytes, 174);
  v.reply_to = GetU16(bytes, 184);
  v.attribute = GetU16(bytes, 186);
  v.next_reply = GetU16(bytes, 188);
  v.text = bytes.substr(190);
  size_t start = 0;
  for (;;) {
    size_t cr = v.text.find('\r', start);
    v.pieces.push_back(v.text.substr(start, cr == std::string::npos ? std::string::npos : cr - start));
    if (cr == std::string::npos) break;
    start = cr + 1;
  }
  return v;
}
