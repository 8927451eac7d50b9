#include "processor/tic/file_crc.h"

#include <array>

#include "platform/platform.h"

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;
constexpr size_t kBlockSize = 1 << 16;

constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? kPolynomial ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

}  // namespace

uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) crc = kTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
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
