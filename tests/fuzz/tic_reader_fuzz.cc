// The TIC reader on arbitrary bytes: no crash, and no value that could
// start a line of its own in the TICs and listings written from it.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "processor/tic/tic_reader.h"

namespace {

void CheckValue(const std::string& value) {
  const std::string_view line_breaks("\r\n\0", 3);
  if (value.size() > kMaxTicLine || value.find_first_of(line_breaks) != std::string::npos)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TicRecord tic;
  ReadTicLines(std::string_view(reinterpret_cast<const char*>(data), size), tic);
  for (const std::string* field : {&tic.area, &tic.areadesc, &tic.origin, &tic.from, &tic.to,
                                   &tic.crc, &tic.file, &tic.desc, &tic.replaces, &tic.magic,
                                   &tic.created, &tic.pw, &tic.size})
    CheckValue(*field);
  for (const auto* list : {&tic.seenby, &tic.path, &tic.ldesc})
    for (const std::string& value : *list) CheckValue(value);
  return 0;
}
