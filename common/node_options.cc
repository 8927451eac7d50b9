#include "common/node_options.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <optional>

#include "common/text_helpers.h"

namespace {

enum class SectionKind { kNone, kIgnored, kPelix, kEcho, kUplink };

// The keys of an [echo] section as far as the section sets them; the rest
// comes from [echo *].
struct EchoSettings {
  std::string tag;
  std::optional<bool> replaces;
};

class OptionsReader {
 public:
  OptionsReader(std::string_view file_name, NodeOptions& options,
                std::vector<std::string>& warnings)
      : file_name_(file_name), options_(options), warnings_(warnings) {}

  void Read(const IniDocument& document) {
    for (size_t i = 0; i < document.Lines().size(); ++i) {
      line_number_ = i + 1;
      const IniLine& line = document.Lines()[i];
      switch (line.kind) {
        case IniLine::Kind::kSection: EnterSection(line.section); break;
        case IniLine::Kind::kKey: ReadKey(line.key, line.value); break;
        case IniLine::Kind::kOther:
          if (kind_ != SectionKind::kIgnored) Warn("no key = value, ignored");
          break;
        default: break;
      }
    }
    FillInEchoes();
  }

 private:
  void Warn(const std::string& text) {
    warnings_.push_back(std::string(file_name_) + " line " + std::to_string(line_number_) +
                        ": " + text);
  }

  void EnterSection(const std::string& name) {
    section_ = name;
    const std::string keyword = ToLowerAscii(SectionKeyword(name));
    const std::string argument = SectionArgument(name);
    if (keyword == "pelix" && argument.empty()) {
      kind_ = SectionKind::kPelix;
    } else if (keyword == "echo" && !argument.empty()) {
      kind_ = SectionKind::kEcho;
      echo_ = &EchoNamed(argument);
    } else if (keyword == "uplink" && !argument.empty()) {
      if (!IsAddressText(argument)) {
        Warn("can't read the address of [" + name + "], the section is ignored");
        kind_ = SectionKind::kIgnored;
        return;
      }
      kind_ = SectionKind::kUplink;
      uplink_ = &UplinkAt(ParseAddress(argument));
      uplink_->section = name;
    } else {
      Warn("unknown section [" + name + "], ignored");
      kind_ = SectionKind::kIgnored;
    }
  }

  EchoSettings& EchoNamed(const std::string& tag) {
    if (tag == "*") return every_echo_;
    for (EchoSettings& echo : echoes_) {
      if (EqualsIgnoreCase(echo.tag, tag)) return echo;
    }
    return echoes_.emplace_back(EchoSettings{tag, std::nullopt});
  }

  UplinkOptions& UplinkAt(const FidoAddress& address) {
    for (UplinkOptions& uplink : options_.uplinks) {
      if (uplink.address == address) return uplink;
    }
    UplinkOptions uplink;
    uplink.address = address;
    return options_.uplinks.emplace_back(std::move(uplink));
  }

  void ReadKey(const std::string& key, const std::string& value) {
    const std::string name = ToLowerAscii(key);
    bool known = true;
    switch (kind_) {
      case SectionKind::kNone: Warn("key " + key + " outside any section, ignored"); return;
      case SectionKind::kIgnored: return;
      case SectionKind::kPelix: known = ReadNodeKey(name, value); break;
      case SectionKind::kEcho: known = ReadEchoKey(name, value); break;
      case SectionKind::kUplink: known = ReadUplinkKey(name, value); break;
    }
    if (!known) Warn("unknown key " + key + " in [" + section_ + "], ignored");
  }

  bool ReadNodeKey(const std::string& name, const std::string& value) {
    int* target = name == "dupe_days"        ? &options_.dupe_days
                  : name == "late_file_days" ? &options_.late_file_days
                  : name == "rescan_limit"   ? &options_.rescan_limit
                                             : nullptr;
    if (!target) return false;
    if (!ReadCountValue(value, *target)) Unreadable(name, value, "a whole number of 0 or more");
    return true;
  }

  bool ReadEchoKey(const std::string& name, const std::string& value) {
    if (name != "replaces") return false;
    bool on = false;
    if (ReadSwitchValue(value, on)) {
      echo_->replaces = on;
    } else {
      Unreadable(name, value, "yes or no");
    }
    return true;
  }

  bool ReadUplinkKey(const std::string& name, const std::string& value) {
    if (name == "robot") {
      ReadText(name, value, kRobotNameWidth, uplink_->robot);
    } else if (name == "password") {
      ReadText(name, value, kRobotPasswordWidth, uplink_->password);
    } else if (name == "echo_list") {
      uplink_->echo_list = value;
    } else if (name == "forward_requests") {
      if (!ReadSwitchValue(value, uplink_->forward_requests)) Unreadable(name, value, "yes or no");
    } else {
      return false;
    }
    return true;
  }

  // A text that would not fit where the robot's messages put it.
  void ReadText(const std::string& name, const std::string& value, size_t width,
                std::string& target) {
    if (value.size() <= width) {
      target = value;
    } else {
      Unreadable(name, value, "at most " + std::to_string(width) + " characters");
    }
  }

  void Unreadable(const std::string& name, const std::string& value, const std::string& wanted) {
    // A password never reaches the log.
    const std::string shown = name == "password" ? name : name + " = " + value;
    Warn("can't read " + shown + " (" + wanted + "), the default is used");
  }

  void FillInEchoes() {
    options_.every_echo.replaces = every_echo_.replaces.value_or(false);
    for (const EchoSettings& settings : echoes_) {
      EchoOptions echo = options_.every_echo;
      if (settings.replaces) echo.replaces = *settings.replaces;
      options_.echoes.emplace_back(settings.tag, echo);
    }
  }

  std::string_view file_name_;
  NodeOptions& options_;
  std::vector<std::string>& warnings_;
  size_t line_number_ = 0;
  SectionKind kind_ = SectionKind::kNone;
  std::string section_;
  EchoSettings* echo_ = nullptr;
  UplinkOptions* uplink_ = nullptr;
  EchoSettings every_echo_{"*", std::nullopt};
  // Grows only at a header, which takes `echo_` (and `uplink_`) anew.
  std::vector<EchoSettings> echoes_;
};

bool ReadNumber(std::string_view text, size_t& pos, uint32_t limit) {
  size_t start = pos;
  uint32_t value = 0;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    value = value * 10 + static_cast<uint32_t>(text[pos] - '0');
    if (value > limit) return false;
    ++pos;
  }
  return pos > start;
}

}  // namespace

const EchoOptions& NodeOptions::ForEcho(std::string_view tag) const {
  for (const auto& [echo_tag, options] : echoes) {
    if (EqualsIgnoreCase(echo_tag, tag)) return options;
  }
  return every_echo;
}

const UplinkOptions* NodeOptions::ForUplink(const FidoAddress& address) const {
  for (const UplinkOptions& uplink : uplinks) {
    if (uplink.address == address) return &uplink;
  }
  return nullptr;
}

NodeOptions ReadNodeOptionsFrom(const IniDocument& document, std::string_view file_name,
                                std::vector<std::string>& warnings) {
  NodeOptions options;
  OptionsReader(file_name, options, warnings).Read(document);
  return options;
}

const char* SwitchText(bool on) { return on ? "yes" : "no"; }

bool ReadCountValue(std::string_view text, int& value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
    return false;
  int read = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  value = read;
  return true;
}

bool ReadSwitchValue(std::string_view text, bool& value) {
  static const Keyword kSwitches[] = {{"yes", 1}, {"1", 1},  {"true", 1},  {"on", 1},
                                      {"no", 2},  {"0", 2},  {"false", 2}, {"off", 2},
                                      {"", 0}};
  int code = LookupKeyword(kSwitches, text, 0, false);
  if (code == 0) return false;
  value = code == 1;
  return true;
}

bool IsAddressText(std::string_view text) {
  size_t pos = 0;
  if (!ReadNumber(text, pos, 0xffff) || pos == text.size() || text[pos++] != ':') return false;
  if (!ReadNumber(text, pos, 0xffff) || pos == text.size() || text[pos++] != '/') return false;
  if (!ReadNumber(text, pos, 0xffff)) return false;
  if (pos < text.size() && text[pos] == '.' && !ReadNumber(text, ++pos, 0xffff)) return false;
  if (pos < text.size() && text[pos] == '@') {
    std::string_view domain = text.substr(pos + 1);
    return !domain.empty() && domain.find_first_of(" \t") == std::string_view::npos;
  }
  return pos == text.size();
}
