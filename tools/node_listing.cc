#include "tools/node_listing.h"

namespace {

const char* FlagWord(int32_t flag, const char* word) { return flag ? word : "-"; }

std::string FreeText(const std::string& text) { return text.empty() ? "" : " " + text; }

}  // namespace

std::string LinkListing(const ConfigText& node) {
  std::string out;
  for (const LinkRecord& l : node.links) {
    out += l.address + " " + (l.flavour ? std::string(1, l.flavour) : "-") + " " +
           FlagWord(l.passive, "passive") + " " + FlagWord(l.allow_autocreate, "autocreate") +
           FreeText(l.sysop_name) + "\n";
  }
  return out;
}

std::string EchoListing(const ConfigText& node) {
  std::string out;
  for (const FileEchoRecord& e : node.echoes) {
    out += e.tag + " " + FlagWord(e.passthrough, "passthrough") + FreeText(e.description) + "\n";
    for (const EchoLinkEntry& entry : e.links) out += "  " + EchoLinkText(entry) + "\n";
  }
  return out;
}
