#include "setup/config/node_options_edit.h"

#include <string>
#include <vector>

#include "common/text_helpers.h"

namespace {

constexpr char kNodeSection[] = "pelix";

std::string EchoSection(std::string_view tag) { return "echo " + std::string(tag); }

}  // namespace

NodeOptions OptionsOf(const IniDocument& document) {
  std::vector<std::string> warnings;
  return ReadNodeOptionsFrom(document, kNodeOptionsFile, warnings);
}

void StoreTypedOption(IniDocument& document, std::string_view section, std::string_view key,
                      std::string_view shown, std::string_view typed) {
  if (typed == shown) return;
  if (typed.empty()) {
    document.Remove(section, key);
  } else {
    document.Set(section, key, typed);
  }
}

NodeOptionTexts ShownNodeOptions(const IniDocument& document) {
  NodeOptions options = OptionsOf(document);
  return {std::to_string(options.dupe_days), std::to_string(options.late_file_days),
          std::to_string(options.rescan_limit)};
}

void StoreNodeOptions(IniDocument& document, const NodeOptionTexts& typed) {
  const NodeOptionTexts shown = ShownNodeOptions(document);
  StoreTypedOption(document, kNodeSection, "dupe_days", shown.dupe_days, typed.dupe_days);
  StoreTypedOption(document, kNodeSection, "late_file_days", shown.late_file_days,
                   typed.late_file_days);
  StoreTypedOption(document, kNodeSection, "rescan_limit", shown.rescan_limit,
                   typed.rescan_limit);
}

bool EchoReplaces(const IniDocument& document, std::string_view tag) {
  return OptionsOf(document).ForEcho(tag).replaces;
}

void StoreEchoOptions(IniDocument& document, std::string_view stored_tag, std::string_view tag,
                      bool replaces) {
  if (tag.empty()) return;
  if (!stored_tag.empty() && !EqualsIgnoreCase(stored_tag, tag) &&
      document.HasSection(EchoSection(stored_tag)) && !document.HasSection(EchoSection(tag))) {
    document.RenameSection(EchoSection(stored_tag), EchoSection(tag));
  }
  if (EchoReplaces(document, tag) != replaces)
    document.Set(EchoSection(tag), "replaces", SwitchText(replaces));
}

bool AddUplink(IniDocument& document, std::string_view address) {
  if (!IsAddressText(address) || OptionsOf(document).ForUplink(ParseAddress(address)))
    return false;
  document.AddSection("uplink " + std::string(address));
  return true;
}

void RemoveUplink(IniDocument& document, const FidoAddress& address) {
  for (const std::string& name : document.SectionNames()) {
    const std::string argument = SectionArgument(name);
    if (EqualsIgnoreCase(SectionKeyword(name), "uplink") && IsAddressText(argument) &&
        ParseAddress(argument) == address)
      document.RemoveSection(name);
  }
}

void StoreUplink(IniDocument& document, const FidoAddress& address, const UplinkOptions& typed) {
  const NodeOptions options = OptionsOf(document);
  const UplinkOptions* shown = options.ForUplink(address);
  if (!shown) return;
  const std::string& section = shown->section;
  StoreTypedOption(document, section, "robot", shown->robot, typed.robot);
  StoreTypedOption(document, section, "password", shown->password, typed.password);
  StoreTypedOption(document, section, "echo_list", shown->echo_list, typed.echo_list);
  StoreTypedOption(document, section, "forward_requests", SwitchText(shown->forward_requests),
                   SwitchText(typed.forward_requests));
}
