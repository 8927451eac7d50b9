// The parsed form of the one TIC being processed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TicRecord {
  std::string area;
  std::string areadesc;
  std::string origin;
  std::string from;
  std::string to;
  std::string crc;
  std::string file;
  std::string desc;
  std::string replaces;
  std::string magic;
  std::string created;
  std::string pw;
  std::vector<std::string> seenby;
  std::vector<std::string> path;
  std::vector<std::string> ldesc;
  // Which TIC this is in the run (0: not read from the inbound), so that
  // what is worked out from it once can be kept for it.
  uint64_t serial = 0;
};
