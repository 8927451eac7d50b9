// The four configuration readers on arbitrary bytes: no crash, and what
// they read is written and read back unchanged after one normalising pass.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/records.h"

namespace {

template <typename Read, typename Write>
void RoundTrip(std::string_view bytes, Read read, Write write) {
  auto once = read(write(read(bytes)));
  if (read(write(once)) != once) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)HasConfigSignature(bytes);
  RoundTrip(bytes, ReadMainConfig, WriteMainConfig);
  RoundTrip(bytes, ReadDomains, WriteDomains);
  RoundTrip(bytes, ReadLinks, WriteLinks);
  RoundTrip(bytes, ReadFileEchoes,
            [](const std::vector<FileEchoRecord>& e) { return WriteFileEchoes(e, false); });
  return 0;
}
