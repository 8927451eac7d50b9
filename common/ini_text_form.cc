#include "common/ini_text_form.h"

#include <cstdio>

namespace {

std::string Quote(std::string_view line, bool has_end) {
  std::string quoted = "\"";
  for (char c : line) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': quoted += "\\\\"; break;
      case '"': quoted += "\\\""; break;
      case '\r': quoted += "\\r"; break;
      case '\t': quoted += "\\t"; break;
      default:
        if (byte < 0x20 || byte == 0x7f) {
          char escape[5];
          std::snprintf(escape, sizeof escape, "\\x%02X", byte);
          quoted += escape;
        } else {
          quoted += c;
        }
    }
  }
  if (!has_end) quoted += "\\c";
  return quoted + "\"";
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<std::string> QuotedIniLines(std::string_view file) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < file.size()) {
    size_t newline = file.find('\n', pos);
    bool has_end = newline != std::string_view::npos;
    size_t end = has_end ? newline : file.size();
    lines.push_back(Quote(file.substr(pos, end - pos), has_end));
    pos = has_end ? newline + 1 : file.size();
  }
  return lines;
}

bool AppendQuotedIniLine(std::string_view quoted, std::string& file) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
  std::string_view inner = quoted.substr(1, quoted.size() - 2);
  std::string line;
  bool has_end = true;
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '"') return false;
    if (inner[i] != '\\') {
      line += inner[i];
      continue;
    }
    if (++i == inner.size()) return false;
    switch (inner[i]) {
      case '\\': line += '\\'; break;
      case '"': line += '"'; break;
      case 'r': line += '\r'; break;
      case 't': line += '\t'; break;
      case 'c':
        if (i + 1 != inner.size()) return false;
        has_end = false;
        break;
      case 'x': {
        if (i + 2 >= inner.size()) return false;
        int high = HexDigit(inner[i + 1]);
        int low = HexDigit(inner[i + 2]);
        if (high < 0 || low < 0) return false;
        line += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default: return false;
    }
  }
  file += line;
  if (has_end) file += '\n';
  return true;
}
