#include "tools/config_text.h"

#include <sstream>
#include <variant>

#include "common/ini_text_form.h"
#include "common/node_options.h"
#include "common/record_fields.h"
#include "tools/field_text.h"

namespace {

constexpr std::string_view kFingerprintPrefix = "# fingerprint:";

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

template <typename Fields, typename R>
bool SetNamedField(const Fields& fields, R& record, const std::string& key,
                   const std::string& value, std::string& why) {
  const auto* field = FindField(fields, key);
  if (!field) {
    why = "unknown field " + key;
    return false;
  }
  if (SetFieldText(*field, record, value, why)) return true;
  why = key + " " + why;
  return false;
}

// The flags of an echo's entry (receive, send) are its number fields.
int32_t EchoLinkEntry::* const* EchoLinkFlag(const RecordField<EchoLinkEntry>* field) {
  return field ? std::get_if<int32_t EchoLinkEntry::*>(&field->member) : nullptr;
}

// "ADDRESS [receive] [send]", or "ADDRESS -" for neither flag.
bool AddEchoLink(const std::string& value, FileEchoRecord& echo, std::string& why) {
  std::istringstream words(value);
  std::string word;
  EchoLinkEntry entry;
  if (!(words >> word)) {
    why = "link needs an address";
    return false;
  }
  if (!SetFieldText(*FindField(kEchoLinkFields, "address"), entry, word, why)) {
    why = "link address " + why;
    return false;
  }
  while (words >> word) {
    if (word == "-") continue;
    const auto* flag = EchoLinkFlag(FindField(kEchoLinkFields, word));
    if (!flag) {
      why = "link takes receive, send or -, not " + word;
      return false;
    }
    entry.**flag = 1;
  }
  echo.links.push_back(entry);
  return true;
}

bool StartSection(const std::string& section, ConfigText& out, std::string& why) {
  if (section == "domain") {
    out.domains.emplace_back();
  } else if (section == "echo") {
    out.echoes.emplace_back();
  } else if (section == "link") {
    out.links.emplace_back();
  } else if (section == "ini" && !out.ini) {
    out.ini.emplace();
  } else if (section != "config") {
    why = section == "ini" ? "a second [ini]" : "unknown section [" + section + "]";
    return false;
  }
  return true;
}

// One line of pelix.ini, quoted as QuotedIniLines writes it.
bool AddIniLine(const std::string& key, const std::string& value, std::string& file,
                std::string& why) {
  if (key != "line") {
    why = "[ini] takes only line = \"...\", not " + key;
    return false;
  }
  if (!file.empty() && file.back() != '\n') {
    why = "a line after the last line of pelix.ini (\\c)";
    return false;
  }
  if (!AppendQuotedIniLine(value, file)) {
    why = "line takes a quoted text, as pelixcfg dump writes it";
    return false;
  }
  if (file.size() > kNodeOptionsSizeLimit) {
    why = "pelix.ini over " + std::to_string(kNodeOptionsSizeLimit) + " bytes, which pelix refuses";
    return false;
  }
  return true;
}

bool SetInSection(const std::string& section, const std::string& key, const std::string& value,
                  ConfigText& out, std::string& why) {
  if (section == "config") return SetNamedField(kMainConfigFields, out.config, key, value, why);
  if (section == "domain") return SetNamedField(kDomainFields, out.domains.back(), key, value, why);
  if (section == "link") return SetNamedField(kLinkFields, out.links.back(), key, value, why);
  if (section == "ini") return AddIniLine(key, value, *out.ini, why);
  if (key == "link") return AddEchoLink(value, out.echoes.back(), why);
  return SetNamedField(kFileEchoFields, out.echoes.back(), key, value, why);
}

bool ReadFingerprintLine(const std::string& line, ConfigText& out, std::string& why) {
  NodeFingerprint fingerprint;
  if (out.fingerprint) {
    why = "a second fingerprint";
    return false;
  }
  if (!ParseFingerprint(line.substr(kFingerprintPrefix.size()), fingerprint)) {
    why = "cannot read the fingerprint";
    return false;
  }
  out.fingerprint = fingerprint;
  return true;
}

template <typename Fields, typename R>
void FormatSection(std::ostringstream& out, const char* section, const Fields& fields,
                   const R& record) {
  out << "[" << section << "]\n";
  for (const auto& field : fields) out << field.name << " = " << FieldText(field, record) << "\n";
}

}  // namespace

bool ParseConfigText(const std::string& text, ConfigText& out, std::string& error) {
  out = ConfigText{};
  out.config.version = kConfigVersion;
  std::istringstream lines(text);
  std::string line, section, why;
  for (int number = 1; std::getline(lines, line); ++number) {
    const std::string trimmed = Trim(line);
    bool understood = true;
    if (trimmed.rfind(kFingerprintPrefix, 0) == 0) {
      understood = ReadFingerprintLine(trimmed, out, why);
    } else if (trimmed.empty() || trimmed[0] == '#') {
      continue;
    } else if (trimmed.front() == '[' && trimmed.back() == ']') {
      section = trimmed.substr(1, trimmed.size() - 2);
      understood = StartSection(section, out, why);
    } else if (const size_t eq = trimmed.find('='); eq == std::string::npos || section.empty()) {
      understood = false;
      why = "expected name = value";
    } else {
      understood = SetInSection(section, Trim(trimmed.substr(0, eq)), Trim(trimmed.substr(eq + 1)),
                                out, why);
    }
    if (!understood) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
  }
  return true;
}

std::string EchoLinkText(const EchoLinkEntry& entry) {
  std::string text = entry.address;
  bool flagged = false;
  for (const auto& field : kEchoLinkFields) {
    const auto* flag = EchoLinkFlag(&field);
    if (!flag || entry.**flag == 0) continue;
    text += std::string(" ") + field.name;
    flagged = true;
  }
  return flagged ? text : text + " -";
}

std::string FormatConfigText(const ConfigText& c) {
  std::ostringstream out;
  if (c.fingerprint) {
    out << "# pelixcfg write takes this text back only while the files are as the\n"
           "# fingerprint says; once pelix's area manager or pelix-setup has changed\n"
           "# them, dump again.\n"
        << kFingerprintPrefix << " " << FingerprintText(*c.fingerprint) << "\n";
  }
  FormatSection(out, "config", kMainConfigFields, c.config);
  if (c.ini) {
    out << "[ini]\n";
    for (const std::string& line : QuotedIniLines(*c.ini)) out << "line = " << line << "\n";
  }
  for (const DomainRecord& d : c.domains) FormatSection(out, "domain", kDomainFields, d);
  for (const FileEchoRecord& e : c.echoes) {
    FormatSection(out, "echo", kFileEchoFields, e);
    for (const EchoLinkEntry& l : e.links) out << "link = " << EchoLinkText(l) << "\n";
  }
  for (const LinkRecord& l : c.links) FormatSection(out, "link", kLinkFields, l);
  return out.str();
}
