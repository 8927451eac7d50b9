#include "processor/tic/file_crc.h"

#include <array>

#include "platform/platform.h"

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kBlockSize = 1 << 16;

// Tables for eight bytes at a time ("slicing-by-8"): table k gives the CRC
// of a byte followed by k zero bytes. Files of several GiB pass through a
// hub; a byte at a time, their CRC alone took longer than their copies.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;

constexpr CrcTables MakeTables() {
  CrcTables tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  for (uint32_t n = 0; n < 256; ++n)
    for (size_t k = 1; k < tables.size(); ++k)
      tables[k][n] = (tables[k - 1][n] >> 8) ^ tables[0][tables[k - 1][n] & 0xFF];
  return tables;
}

constexpr CrcTables kTables = MakeTables();

uint32_t LittleEndianWord(const unsigned char* data) {
  return data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
}

}  // namespace

uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t size) {
  const auto& t = kTables;
  for (; size >= 8; data += 8, size -= 8) {
    const uint32_t low = LittleEndianWord(data) ^ crc;
    const uint32_t high = LittleEndianWord(data + 4);
    crc = t[7][low & 0xFF] ^ t[6][(low >> 8) & 0xFF] ^ t[5][(low >> 16) & 0xFF] ^ t[4][low >> 24] ^
          t[3][high & 0xFF] ^ t[2][(high >> 8) & 0xFF] ^ t[1][(high >> 16) & 0xFF] ^
          t[0][high >> 24];
  }
  for (; size > 0; ++data, --size) crc = t[0][(crc ^ *data) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Crc32Of(const std::string& bytes) {
  return ~Crc32Update(0xFFFFFFFFu, reinterpret_cast<const unsigned char*>(bytes.data()),
                      bytes.size());
}

uint32_t FileCrc32(platform::Env& env, const std::string& path) {
  platform::FilePtr f = env.Open(path, platform::OpenMode::kReadNoFollow);
  if (!f) return 0;
  uint32_t crc = 0xFFFFFFFFu;
  char block[kBlockSize];
  size_t n = 0;
  while (f->Read(block, sizeof block, n) && n > 0)
    crc = Crc32Update(crc, reinterpret_cast<const unsigned char*>(block), n);
  return ~crc;
}
