// FidoNet addresses: zone:net/node[.point][@domain].
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct FidoAddress {
  uint16_t zone = 0;
  uint16_t net = 0;
  uint16_t node = 0;
  uint16_t point = 0;

  // Two addresses name the same system when all four numbers agree; the
  // domain never takes part in the comparison.
  friend bool operator==(const FidoAddress&, const FidoAddress&) = default;
};

// Reads an address text; never fails, parts that cannot be read stay 0.
FidoAddress ParseAddress(std::string_view text);

// "%d:%d/%d", or "%d:%d/%d.%d" for a point. No domain is ever added.
std::string FormatAddress(const FidoAddress& address);

// The text from the first "@" to the end ("@" included), or "".
std::string DomainPart(std::string_view text);

// True when both texts parse to the same system.
bool SameSystem(std::string_view a, std::string_view b);
