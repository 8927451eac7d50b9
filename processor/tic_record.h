// The parsed form of a TIC.
#pragma once

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
};
