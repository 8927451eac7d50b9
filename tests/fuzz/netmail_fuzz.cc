// A stored message of arbitrary bytes through the header and text readers:
// no crash, a header that encodes back to its fixed size and decodes to
// itself, and body lines without their line ends.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "processor/netmail/netmail_folder.h"
#include "tests/fuzz/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryFile file(std::string(reinterpret_cast<const char*>(data), size));
  NetmailHeader header;
  const bool whole = ReadNetmailHeader(file, header);
  const std::string encoded = EncodeNetmailHeader(header);
  if (encoded.size() != kNetmailHeaderSize) std::abort();
  if (EncodeNetmailHeader(DecodeNetmailHeader(encoded)) != encoded) std::abort();
  if (!whole) return 0;
  NetmailText text = ReadNetmailText(file);
  for (const std::string& line : text.body_lines)
    if (line.find('\r') != std::string::npos || line.size() > kLineBufferSize) std::abort();
  return 0;
}
