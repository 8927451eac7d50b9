#include "tools/node_edits.h"

#include <algorithm>
#include <cstdint>

#include "common/fido_address.h"
#include "common/record_fields.h"
#include "common/text_helpers.h"
#include "tools/field_text.h"

namespace {

bool Refuse(std::string& said, std::string why) {
  said = std::move(why);
  return false;
}

bool TakeChar(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

bool TakeNumber(std::string_view text, size_t& pos, uint32_t& value) {
  const size_t start = pos;
  value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 5; ++pos)
    value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
  return pos > start && value <= UINT16_MAX;
}

// zone:net/node[.point][@domain]: a link is looked up by these numbers, so
// a text pelix would read as other numbers than the sysop meant is refused.
bool IsAddressText(std::string_view text) {
  size_t pos = 0;
  uint32_t zone = 0, net = 0, node = 0, point = 0;
  if (!TakeNumber(text, pos, zone) || zone == 0 || !TakeChar(text, pos, ':') ||
      !TakeNumber(text, pos, net) || !TakeChar(text, pos, '/') || !TakeNumber(text, pos, node))
    return false;
  if (TakeChar(text, pos, '.') && !TakeNumber(text, pos, point)) return false;
  if (pos == text.size()) return true;
  return text[pos] == '@' && pos + 1 < text.size() &&
         text.find_first_of(" \t", pos) == std::string_view::npos;
}

// A tag names the echo's directory below the file areas and its announce
// file, and TIC files carry it as one word.
bool IsTagText(std::string_view tag) {
  if (tag.empty() || tag == "." || tag == "..") return false;
  return std::all_of(tag.begin(), tag.end(), [](char c) {
    return c > ' ' && c < 127 && std::string_view("/\\:*?\"<>|").find(c) == std::string_view::npos;
  });
}

template <typename R>
auto FindSystem(std::vector<R>& records, std::string_view address) {
  return std::find_if(records.begin(), records.end(),
                      [&](const R& r) { return SameSystem(r.address, address); });
}

auto FindEcho(std::vector<FileEchoRecord>& echoes, std::string_view tag) {
  return std::find_if(echoes.begin(), echoes.end(),
                      [&](const FileEchoRecord& e) { return EqualsIgnoreCase(e.tag, tag); });
}

template <typename Fields, typename R>
bool SetNamed(const Fields& fields, const char* name, const std::string& value, R& record,
              std::string& said) {
  std::string why;
  if (SetFieldText(*FindField(fields, name), record, value, why)) return true;
  return Refuse(said, std::string(name) + " " + why);
}

// "KEY=VALUE" settings from `first` on, all or none; `fixed` names the
// field that identifies the record, which no setting may change.
template <typename Fields, typename R>
bool ApplySettings(const Fields& fields, const char* fixed,
                   const std::vector<std::string>& arguments, size_t first, R& record,
                   std::string& said) {
  R changed = record;
  for (size_t i = first; i < arguments.size(); ++i) {
    const std::string& setting = arguments[i];
    const size_t equals = setting.find('=');
    const std::string key = setting.substr(0, equals);
    const auto* field = FindField(fields, key);
    if (equals == std::string::npos) return Refuse(said, "expected KEY=VALUE, not " + setting);
    if (key == fixed) return Refuse(said, key + " cannot be changed: remove the record and add it anew");
    if (!field) return Refuse(said, "unknown key " + key);
    std::string why;
    if (!SetFieldText(*field, changed, setting.substr(equals + 1), why))
      return Refuse(said, key + " " + why);
  }
  record = changed;
  return true;
}

// Set and remove name their record by its `key` field: a link by its
// address, an echo by its tag; the settings follow from the second word on.
template <typename R, typename Fields>
bool ChangeFound(std::vector<R>& records, typename std::vector<R>::iterator found,
                 const Fields& fields, const char* kind, const char* key,
                 const std::vector<std::string>& arguments, std::string& said) {
  if (found == records.end()) return Refuse(said, std::string("no ") + kind + " " + arguments[0]);
  if (!ApplySettings(fields, key, arguments, 1, *found, said)) return false;
  said = std::string("changed ") + kind + " " + FieldText(*FindField(fields, key), *found);
  return true;
}

template <typename R, typename Fields>
bool RemoveFound(std::vector<R>& records, typename std::vector<R>::iterator found,
                 const Fields& fields, const char* kind, const char* key,
                 const std::vector<std::string>& arguments, std::string& said) {
  if (found == records.end()) return Refuse(said, std::string("no ") + kind + " " + arguments[0]);
  said = std::string("removed ") + kind + " " + FieldText(*FindField(fields, key), *found);
  records.erase(found);
  return true;
}

std::string Joined(const std::vector<std::string>& words, size_t first) {
  std::string text;
  for (size_t i = first; i < words.size(); ++i) text += (i > first ? " " : "") + words[i];
  return text;
}

}  // namespace

bool AddLink(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  const std::string& address = arguments[0];
  if (!IsAddressText(address))
    return Refuse(said, "not an address: " + address + " (zone:net/node[.point][@domain])");
  if (FindSystem(node.links, address) != node.links.end())
    return Refuse(said, "link " + address + " exists already");
  LinkRecord link;
  if (!SetNamed(kLinkFields, "address", address, link, said)) return false;
  if (!ApplySettings(kLinkFields, "address", arguments, 1, link, said)) return false;
  node.links.push_back(link);
  said = "added link " + address;
  return true;
}

bool SetLink(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  return ChangeFound(node.links, FindSystem(node.links, arguments[0]), kLinkFields, "link",
                     "address", arguments, said);
}

bool RemoveLink(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  const std::string& address = arguments[0];
  if (!RemoveFound(node.links, FindSystem(node.links, address), kLinkFields, "link", "address",
                   arguments, said))
    return false;
  std::string listed;
  for (FileEchoRecord& echo : node.echoes)
    if (FindSystem(echo.links, address) != echo.links.end()) listed += " " + echo.tag;
  // pelix ignores the entries of a link it does not know; they stay for a
  // link that is only being replaced.
  if (!listed.empty())
    said += "; still subscribed to" + listed + " (pelixcfg unsubscribe " + address + " TAG)";
  return true;
}

bool AddEcho(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  FileEchoRecord echo;
  const std::string tag = ToUpperAscii(arguments[0]);
  if (!IsTagText(tag))
    return Refuse(said, "not a tag: \"" + arguments[0] + "\" (one word, no / \\ : * ?)");
  if (FindEcho(node.echoes, tag) != node.echoes.end())
    return Refuse(said, "echo " + tag + " exists already");
  if (!SetNamed(kFileEchoFields, "tag", tag, echo, said) ||
      !SetNamed(kFileEchoFields, "description", Joined(arguments, 1), echo, said))
    return false;
  node.echoes.push_back(echo);
  said = "added echo " + tag;
  return true;
}

bool SetEcho(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  return ChangeFound(node.echoes, FindEcho(node.echoes, arguments[0]), kFileEchoFields, "echo",
                     "tag", arguments, said);
}

bool RemoveEcho(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  return RemoveFound(node.echoes, FindEcho(node.echoes, arguments[0]), kFileEchoFields, "echo",
                     "tag", arguments, said);
}

bool Subscribe(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  const std::string& address = arguments[0];
  const std::string& mode = arguments[2];
  if (mode != "receive" && mode != "send" && mode != "both")
    return Refuse(said, "receive, send or both, not " + mode);
  const auto echo = FindEcho(node.echoes, arguments[1]);
  if (echo == node.echoes.end()) return Refuse(said, "no echo " + arguments[1]);
  const auto link = FindSystem(node.links, address);
  if (link == node.links.end())
    return Refuse(said, "no link " + address + " (pelixcfg link add " + address + ")");
  auto entry = FindSystem(echo->links, address);
  if (entry == echo->links.end()) {
    echo->links.push_back({link->address, 0, 0});
    entry = echo->links.end() - 1;
  }
  entry->receive = mode != "send";
  entry->send = mode != "receive";
  said = echo->tag + ": link = " + EchoLinkText(*entry);
  return true;
}

bool Unsubscribe(ConfigText& node, const std::vector<std::string>& arguments, std::string& said) {
  const std::string& address = arguments[0];
  const auto echo = FindEcho(node.echoes, arguments[1]);
  if (echo == node.echoes.end()) return Refuse(said, "no echo " + arguments[1]);
  const auto entry = FindSystem(echo->links, address);
  if (entry == echo->links.end())
    return Refuse(said, address + " is not subscribed to " + echo->tag);
  echo->links.erase(entry);
  said = "unsubscribed " + address + " from " + echo->tag;
  return true;
}
