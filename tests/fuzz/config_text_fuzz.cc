// The text form of a configuration (pelixcfg's input) on arbitrary text:
// no crash, and whatever parses is formatted and parsed back unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/config_text.h"

namespace {

bool Same(const ConfigText& a, const ConfigText& b) {
  return a.config == b.config && a.ini == b.ini && a.domains == b.domains &&
         a.echoes == b.echoes && a.links == b.links;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConfigText parsed;
  std::string error;
  if (!ParseConfigText(std::string(reinterpret_cast<const char*>(data), size), parsed, error))
    return 0;
  ConfigText again;
  if (!ParseConfigText(FormatConfigText(parsed), again, error) || !Same(parsed, again))
    std::abort();
  return 0;
}
