#include "common/fido_address.h"

#include <gtest/gtest.h>

namespace {

struct AddressCase {
  const char* text;
  FidoAddress expected;
};

TEST(FidoAddress, ParsesEveryTextForm) {
  const AddressCase cases[] = {
      {"2:345/6.7@othernet", {2, 345, 6, 7}},
      {"2:345/6@othernet", {2, 345, 6, 0}},
      {"2:345/6", {2, 345, 6, 0}},
      {"2:345/6.0", {2, 345, 6, 0}},
      {"345/6", {345, 0, 0, 0}},
      {"2:345/", {2, 345, 0, 0}},
      {"2:345", {2, 345, 0, 0}},
      {"", {0, 0, 0, 0}},
      {"70000:1/2", {4464, 1, 2, 0}},
      {" 2: 345/ 6. 7", {2, 345, 6, 7}},
      {"2:345/6.", {2, 345, 6, 0}},
      {"garbage", {0, 0, 0, 0}},
  };
  for (const AddressCase& c : cases) {
    EXPECT_EQ(ParseAddress(c.text), c.expected) << c.text;
  }
}

TEST(FidoAddress, FormatsNodesWithoutPointAndPointsWithIt) {
  EXPECT_EQ(FormatAddress(ParseAddress("2:345/6@othernet")), "2:345/6");
  EXPECT_EQ(FormatAddress({2, 345, 6, 7}), "2:345/6.7");
  EXPECT_EQ(FormatAddress({65535, 65535, 65535, 65535}), "65535:65535/65535.65535");
}

TEST(FidoAddress, DomainPartStartsAtFirstAt) {
  EXPECT_EQ(DomainPart("2:345/6.7@othernet"), "@othernet");
  EXPECT_EQ(DomainPart("2:345/6@a@b"), "@a@b");
  EXPECT_EQ(DomainPart("2:345/6"), "");
}

TEST(FidoAddress, SameSystemIgnoresDomainAndZeroPoint) {
  EXPECT_TRUE(SameSystem("1:234/5", "1:234/5.0"));
  EXPECT_TRUE(SameSystem("1:234/5", "1:234/5@othernet"));
  EXPECT_FALSE(SameSystem("1:234/5", "1:234/5.1"));
}

}  // namespace
