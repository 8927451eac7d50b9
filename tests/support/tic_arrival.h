// A file and its TIC as a mailer leaves them in a node's inbound.
#pragma once

#include <string>
#include <vector>

#include "processor/tic/bad_tic_index.h"
#include "processor/tic/file_crc.h"
#include "processor/log.h"
#include "tests/support/temp_node.h"

// The Crc value of `bytes` as FidoNet software writes it.
inline std::string CrcText(const std::string& bytes) { return Format("%08X", Crc32Of(bytes)); }

// `bytes` and four more that give the whole the CRC-32 `crc`, as a forger
// makes them: the CRC of the four bytes appended is affine in their bits,
// so they are solved for over GF(2).
inline std::string ForgedToCrc(const std::string& bytes, uint32_t crc) {
  auto with = [&bytes](uint32_t x) {
    std::string forged = bytes;
    for (int i = 0; i < 4; ++i) forged += static_cast<char>(x >> (8 * i));
    return forged;
  };
  const uint32_t base = Crc32Of(with(0));
  uint32_t basis[32] = {}, bits[32] = {};
  for (int i = 0; i < 32; ++i) {
    uint32_t v = Crc32Of(with(1u << i)) ^ base, x = 1u << i;
    for (int b = 31; b >= 0 && v; --b) {
      if (!(v >> b & 1)) continue;
      if (!basis[b]) {
        basis[b] = v;
        bits[b] = x;
        break;
      }
      v ^= basis[b];
      x ^= bits[b];
    }
  }
  uint32_t want = crc ^ base, x = 0;
  for (int b = 31; b >= 0; --b) {
    if (!(want >> b & 1)) continue;
    want ^= basis[b];
    x ^= bits[b];
  }
  return with(x);
}

// TIC lines joined with CR LF, each line as given.
inline std::string TicText(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// The lines of a well-formed TIC from 2:5020/1 for PELIX.TEST.
inline std::vector<std::string> TicLines(const std::string& file, const std::string& contents,
                                         const std::string& area = "PELIX.TEST") {
  return {"Area " + area,       "Origin 2:5020/1", "From 2:5020/1", "File " + file,
          "Desc A test file",   "Crc " + CrcText(contents),         "Created by hand",
          "Path 2:5020/1 1600000000 Sun Sep 13 12:26:40 2020 UTC+0300",
          "Seenby 2:5020/1",    "Pw TICPW"};
}

// Replaces the line that starts with `keyword` + " " (or appends one);
// an empty `line` removes it.
inline std::vector<std::string> WithLine(std::vector<std::string> lines, const std::string& keyword,
                                         const std::string& line) {
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (it->rfind(keyword + " ", 0) == 0) {
      if (line.empty()) lines.erase(it);
      else *it = line;
      return lines;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Drops the file (unless `file` is empty) and its TIC into in/.
inline void DropArrival(const TempNode& node, const std::string& tic_name, const std::string& file,
                        const std::string& contents, const std::vector<std::string>& lines) {
  if (!file.empty()) node.WriteFile("in/" + file, contents);
  node.WriteFile("in/" + tic_name, TicText(lines));
}

// The refused TICs and files in bad/, without the index of why.
inline std::vector<std::string> BadTics(const TempNode& node) {
  std::vector<std::string> names = node.List("bad");
  std::erase(names, std::string(kBadTicIndexName));
  return names;
}
