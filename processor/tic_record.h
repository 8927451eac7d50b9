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
  // The file's length in bytes as the sender gives it; read, never written.
  std::string size;
  std::vector<std::string> seenby;
  std::vector<std::string> path;
  std::vector<std::string> ldesc;
};
