#include "tools/config_text.h"

#include <cstdint>
#include <functional>
#include <map>
#include <sstream>

#include "common/text_helpers.h"
#include "platform/platform.h"

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// One field of a record: how to set it from text and how to show it.
template <typename R>
struct Field {
  const char* name;
  std::function<void(R&, const std::string&)> set;
  std::function<std::string(const R&)> get;
};

template <typename R>
Field<R> TextField(const char* name, std::string R::*member) {
  return {name, [member](R& r, const std::string& v) { r.*member = v; },
          [member](const R& r) { return r.*member; }};
}

template <typename R, typename N>
Field<R> NumberField(const char* name, N R::*member) {
  return {name, [member](R& r, const std::string& v) { r.*member = static_cast<N>(DecimalValue(v)); },
          [member](const R& r) { return std::to_string(static_cast<long long>(r.*member)); }};
}

template <typename R>
Field<R> LetterField(const char* name, char R::*member) {
  return {name, [member](R& r, const std::string& v) { r.*member = v.empty() ? '\0' : v[0]; },
          [member](const R& r) { return r.*member ? std::string(1, r.*member) : std::string(); }};
}

const std::vector<Field<MainConfig>>& ConfigFields() {
  static const std::vector<Field<MainConfig>> fields = {
      NumberField("version", &MainConfig::version),
      TextField("inbound_dir", &MainConfig::inbound_dir),
      TextField("tic_outbound_dir", &MainConfig::tic_outbound_dir),
      TextField("queue_dir", &MainConfig::queue_dir),
      TextField("fileecho_dir", &MainConfig::fileecho_dir),
      TextField("netmail_dir", &MainConfig::netmail_dir),
      TextField("bad_tic_dir", &MainConfig::bad_tic_dir),
      NumberField("utc_offset", &MainConfig::utc_offset),
      TextField("main_address", &MainConfig::main_address),
      NumberField("kill_answers", &MainConfig::kill_answers),
      TextField("log_file", &MainConfig::log_file),
      TextField("announce_db_dir", &MainConfig::announce_db_dir),
      TextField("announce_target", &MainConfig::announce_target),
      NumberField("announce_to", &MainConfig::announce_to),
      NumberField("files_bbs_counter", &MainConfig::files_bbs_counter),
      TextField("aka_list", &MainConfig::aka_list),
  };
  return fields;
}

const std::vector<Field<DomainRecord>>& DomainFields() {
  static const std::vector<Field<DomainRecord>> fields = {
      TextField("name", &DomainRecord::name),
      TextField("outbound_dir", &DomainRecord::outbound_dir),
      NumberField("is_default", &DomainRecord::is_default),
      NumberField("has_main_zone", &DomainRecord::has_main_zone),
      NumberField("main_zone", &DomainRecord::main_zone),
      TextField("zone_list", &DomainRecord::zone_list),
  };
  return fields;
}

const std::vector<Field<FileEchoRecord>>& EchoFields() {
  static const std::vector<Field<FileEchoRecord>> fields = {
      TextField("tag", &FileEchoRecord::tag),
      TextField("description", &FileEchoRecord::description),
      NumberField("passthrough", &FileEchoRecord::passthrough),
  };
  return fields;
}

const std::vector<Field<LinkRecord>>& LinkFields() {
  static const std::vector<Field<LinkRecord>> fields = {
      TextField("sysop_name", &LinkRecord::sysop_name),
      TextField("address", &LinkRecord::address),
      TextField("areamgr_password", &LinkRecord::areamgr_password),
      TextField("tic_password", &LinkRecord::tic_password),
      TextField("from_address", &LinkRecord::from_address),
      LetterField("flavour", &LinkRecord::flavour),
      LetterField("spare_flavour", &LinkRecord::spare_flavour),
      NumberField("passive", &LinkRecord::passive),
      NumberField("allow_autocreate", &LinkRecord::allow_autocreate),
  };
  return fields;
}

template <typename R>
bool SetField(const std::vector<Field<R>>& fields, R& record, const std::string& key,
              const std::string& value) {
  for (const Field<R>& f : fields) {
    if (key == f.name) {
      f.set(record, value);
      return true;
    }
  }
  return false;
}

bool ParseEchoLink(const std::string& value, EchoLinkEntry& entry) {
  std::istringstream words(value);
  std::string word;
  if (!(words >> entry.address)) return false;
  while (words >> word) {
    if (word == "receive") entry.receive = 1;
    else if (word == "send") entry.send = 1;
    else if (word != "-") return false;
  }
  return true;
}

template <typename R>
void FormatSection(std::ostringstream& out, const char* section,
                   const std::vector<Field<R>>& fields, const R& record) {
  out << "[" << section << "]\n";
  for (const Field<R>& f : fields) out << f.name << " = " << f.get(record) << "\n";
}

}  // namespace

bool ParseConfigText(const std::string& text, ConfigText& out, std::string& error) {
  out = ConfigText{};
  out.config.version = kConfigVersion;
  std::istringstream lines(text);
  std::string line, section;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::string trimmed = Trim(line);
    if (trimmed.empty() || trimmed[0] == '#') continue;
    if (trimmed.front() == '[' && trimmed.back() == ']') {
      section = trimmed.substr(1, trimmed.size() - 2);
      if (section == "domain") out.domains.emplace_back();
      else if (section == "echo") out.echoes.emplace_back();
      else if (section == "link") out.links.emplace_back();
      else if (section != "config") {
        error = "line " + std::to_string(number) + ": unknown section " + trimmed;
        return false;
      }
      continue;
    }
    size_t eq = trimmed.find('=');
    if (eq == std::string::npos || section.empty()) {
      error = "line " + std::to_string(number) + ": expected name = value";
      return false;
    }
    std::string key = Trim(trimmed.substr(0, eq));
    std::string value = Trim(trimmed.substr(eq + 1));
    bool known = false;
    if (section == "config") known = SetField(ConfigFields(), out.config, key, value);
    else if (section == "domain") known = SetField(DomainFields(), out.domains.back(), key, value);
    else if (section == "link") known = SetField(LinkFields(), out.links.back(), key, value);
    else if (key == "link") {
      EchoLinkEntry entry;
      known = ParseEchoLink(value, entry);
      if (known) out.echoes.back().links.push_back(entry);
    } else {
      known = SetField(EchoFields(), out.echoes.back(), key, value);
    }
    if (!known) {
      error = "line " + std::to_string(number) + ": cannot use " + trimmed;
      return false;
    }
  }
  return true;
}

std::string FormatConfigText(const ConfigText& c) {
  std::ostringstream out;
  FormatSection(out, "config", ConfigFields(), c.config);
  for (const DomainRecord& d : c.domains) FormatSection(out, "domain", DomainFields(), d);
  for (const FileEchoRecord& e : c.echoes) {
    FormatSection(out, "echo", EchoFields(), e);
    for (const EchoLinkEntry& l : e.links) {
      out << "link = " << l.address << (l.receive ? " receive" : "")
          << (l.send ? " send" : "") << (l.receive || l.send ? "" : " -") << "\n";
    }
  }
  for (const LinkRecord& l : c.links) FormatSection(out, "link", LinkFields(), l);
  return out.str();
}

bool WriteConfigFiles(const ConfigText& c, const std::string& dir) {
  std::string cfg = WriteMainConfig(c.config);
  cfg[kSignatureWidth] = static_cast<char>(c.config.version & 0xff);
  cfg[kSignatureWidth + 1] = static_cast<char>(c.config.version >> 8);
  return platform::WriteWholeFile(platform::DefaultEnv(), dir + "pelix.cfg", cfg) &&
         platform::WriteWholeFile(platform::DefaultEnv(), dir + "pelix.dmn", WriteDomains(c.domains)) &&
         platform::WriteWholeFile(platform::DefaultEnv(), dir + "pelix.fe", WriteFileEchoes(c.echoes, false)) &&
         platform::WriteWholeFile(platform::DefaultEnv(), dir + "pelix.nod", WriteLinks(c.links));
}

bool ReadConfigFiles(const std::string& dir, ConfigText& out, std::string& error) {
  out = ConfigText{};
  std::string bytes;
  if (platform::ReadWholeFile(platform::DefaultEnv(), dir + "pelix.cfg", bytes)) {
    if (!HasConfigSignature(bytes)) {
      error = "pelix.cfg has no PELIX signature";
      return false;
    }
    out.config = ReadMainConfig(bytes);
  }
  if (platform::ReadWholeFile(platform::DefaultEnv(), dir + "pelix.dmn", bytes)) out.domains = ReadDomains(bytes);
  if (platform::ReadWholeFile(platform::DefaultEnv(), dir + "pelix.fe", bytes)) out.echoes = ReadFileEchoes(bytes);
  if (platform::ReadWholeFile(platform::DefaultEnv(), dir + "pelix.nod", bytes)) out.links = ReadLinks(bytes);
  return true;
}
