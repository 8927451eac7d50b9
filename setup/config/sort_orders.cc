#include "setup/config/sort_orders.h"

#include <algorithm>
#include <tuple>

#include "common/fido_address.h"

namespace {

unsigned char UpperByte(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

}  // namespace

bool LinkSortsBefore(const LinkRecord& b, const LinkRecord& a) {
  FidoAddress x = ParseAddress(b.address);
  FidoAddress y = ParseAddress(a.address);
  return std::tie(x.zone, x.net, x.node, x.point) < std::tie(y.zone, y.net, y.node, y.point);
}

bool EchoSortsBefore(const FileEchoRecord& b, const FileEchoRecord& a) {
  size_t common = std::min(b.tag.size(), a.tag.size());
  for (size_t i = 0; i < common; ++i) {
    unsigned char x = UpperByte(b.tag[i]);
    unsigned char y = UpperByte(a.tag[i]);
    if (x != y) return x < y;
  }
  return b.tag.size() < a.tag.size();
}
