#include "common/fido_address.h"

#include <cstdio>

#include "common/text_helpers.h"

namespace {

uint16_t Low16(std::string_view digits) {
  return static_cast<uint16_t>(DecimalValue(digits));
}

}  // namespace

FidoAddress ParseAddress(std::string_view text) {
  FidoAddress a;
  size_t pos = 0;
  std::string zone = NextToken(text, pos, ':');
  if (zone.empty()) return a;
  a.zone = Low16(zone);
  std::string net = NextToken(text, pos, '/');
  if (net.empty()) return a;
  a.net = Low16(net);

  size_t end = text.find_first_of(".@", pos);
  if (end == std::string_view::npos) end = text.size();
  if (end <= pos) return a;
  a.node = Low16(text.substr(pos, end - pos));
  if (end == text.size() || text[end] == '@') return a;

  size_t point_start = end + 1;
  size_t point_end = text.find('@', point_start);
  if (point_end == std::string_view::npos) point_end = text.size();
  a.point = Low16(text.substr(point_start, point_end - point_start));
  return a;
}

std::string FormatAddress(const FidoAddress& a) {
  char buffer[32];
  if (a.point == 0) {
    std::snprintf(buffer, sizeof buffer, "%d:%d/%d", a.zone, a.net, a.node);
  } else {
    std::snprintf(buffer, sizeof buffer, "%d:%d/%d.%d", a.zone, a.net, a.node,
                  a.point);
  }
  return buffer;
}

std::string DomainPart(std::string_view text) {
  size_t at = text.find('@');
  if (at == std::string_view::npos) return {};
  return std::string(text.substr(at));
}

bool SameSystem(std::string_view a, std::string_view b) {
  return ParseAddress(a) == ParseAddress(b);
}
