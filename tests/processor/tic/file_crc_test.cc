// The CRC-32 that decides whether an arrived file is the one its TIC names.
#include "processor/tic/file_crc.h"

#include <gtest/gtest.h>

#include "tests/support/temp_node.h"

namespace {

TEST(FileCrc, MatchesTheZipCrcOfKnownTexts) {
  EXPECT_EQ(Crc32Of(""), 0x00000000u);
  EXPECT_EQ(Crc32Of("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32Of("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(FileCrc, FileAcrossSeveralBlocksGivesTheSameCrcAsItsBytes) {
  TempNode node;
  std::string bytes;
  for (int i = 0; i < 5000; ++i) bytes.push_back(static_cast<char>((i * 7) & 0xFF));
  node.WriteFile("big.bin", bytes);
  node.WriteFile("empty.bin", "");
  EXPECT_EQ(FileCrc32(platform::DefaultEnv(), node.Path("big.bin")), Crc32Of(bytes));
  EXPECT_EQ(FileCrc32(platform::DefaultEnv(), node.Path("empty.bin")), 0u);
}

TEST(FileCrc, MissingFileOrDirectoryGivesZero) {
  TempNode node;
  node.MakeDir("sub");
  EXPECT_EQ(FileCrc32(platform::DefaultEnv(), node.Path("missing.bin")), 0u);
  EXPECT_EQ(FileCrc32(platform::DefaultEnv(), node.Path("sub")), 0u);
}

}  // namespace
