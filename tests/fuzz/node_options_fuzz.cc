// pelix.ini on arbitrary text: no crash; the document gives back every byte
// it read, the quoted text form carries it byte for byte, and a value set
// reads back as set.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/ini_document.h"
#include "common/ini_text_form.h"
#include "common/node_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  IniDocument document(text);
  if (document.Text() != text) std::abort();
  std::string carried;
  for (const std::string& quoted : QuotedIniLines(text)) {
    if (!AppendQuotedIniLine(quoted, carried)) std::abort();
  }
  if (carried != text) std::abort();
  std::vector<std::string> warnings;
  (void)ReadNodeOptionsFrom(document, "pelix.ini", warnings);
  document.Set("uplink 2:5020/1", "robot", "FileFix");
  std::string value;
  if (!IniDocument(document.Text()).Get("uplink 2:5020/1", "robot", value) || value != "FileFix")
    std::abort();
  return 0;
}
