// Small ALLFIX configuration files as the tests need them: length-prefixed
// strings put at the places where ALLFIX keeps them.
#pragma once

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

// One stored string: the length byte, then `width` character bytes. The
// length byte is the text's length unless `length` gives another.
inline std::string AllfixString(const std::string& text, size_t width, int length = -1) {
  std::string bytes(1 + width, '\0');
  bytes[0] = static_cast<char>(length < 0 ? text.size() : static_cast<size_t>(length));
  bytes.replace(1, std::min(text.size(), width), text.substr(0, width));
  return bytes;
}

// Writes `part` at `offset`, growing `bytes` with filler as needed.
inline void PutAt(std::string& bytes, size_t offset, const std::string& part) {
  if (bytes.size() < offset + part.size()) bytes.resize(offset + part.size(), '\x5a');
  bytes.replace(offset, part.size(), part);
}

// setup.fix with directories at the given offsets; the other directory
// slots hold empty strings.
inline std::string SetupFix(const std::vector<std::pair<size_t, std::string>>& directories) {
  std::string bytes(1200, '\0');
  for (const auto& [offset, text] : directories) PutAt(bytes, offset, AllfixString(text, 60));
  return bytes;
}

// filearea.fix: a 512-byte header, then one 230-byte record per tag with the
// tag at record offset 61.
inline std::string FileAreaFix(const std::vector<std::string>& tags) {
  std::string bytes(512, '\x5a');
  for (const std::string& tag : tags) {
    std::string record(230, '\x5a');
    PutAt(record, 61, AllfixString(tag, 80));
    bytes += record;
  }
  return bytes;
}

// fareas.fix: one 2535-byte record per area, its tag at 0 and its
// description at 54.
inline std::string FAreasFix(const std::vector<std::pair<std::string, std::string>>& areas) {
  std::string bytes;
  for (const auto& [tag, description] : areas) {
    std::string record(2535, '\x5a');
    PutAt(record, 0, AllfixString(tag, 53));
    PutAt(record, 54, AllfixString(description, 40));
    bytes += record;
  }
  return bytes;
}
