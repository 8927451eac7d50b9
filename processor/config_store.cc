#include "processor/config_store.h"

#include <cerrno>
#include <cstring>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/text_helpers.h"
#include "platform/platform.h"

namespace {

constexpr char kConfigFile[] = "pelix.cfg";
constexpr char kDomainFile[] = "pelix.dmn";
constexpr char kFileEchoFile[] = "pelix.fe";
constexpr char kLinkFile[] = "pelix.nod";

const Configuration* in_use = nullptr;

// Every file name is built by appending a name to these fields. A field
// written without its closing separator (by hand, or by another tool) would
// otherwise put the queue copy beside the directory as "queueFILE.ZIP" and
// let the queue pass erase node files whose names merely start with "queue".
void CloseDirectoryFields(MainConfig& c) {
  for (std::string* dir : {&c.inbound_dir, &c.tic_outbound_dir, &c.queue_dir, &c.fileecho_dir,
                           &c.netmail_dir, &c.bad_tic_dir, &c.announce_db_dir}) {
    if (!dir->empty() && dir->back() != '\\' && dir->back() != '/') *dir += platform::kSeparator;
  }
}

uint64_t AddressKey(const FidoAddress& a) {
  return uint64_t{a.zone} << 48 | uint64_t{a.net} << 32 | uint64_t{a.node} << 16 | a.point;
}

}  // namespace

const Configuration& Config() { return *in_use; }

ConfigurationInUse::ConfigurationInUse(const Configuration& config) : previous_(in_use) {
  in_use = &config;
}

ConfigurationInUse::~ConfigurationInUse() { in_use = previous_; }

namespace {

// A file of the configuration that is there but cannot be read (another
// owner's rights after a restore, an I/O error) must never load as empty:
// the robot would write the empty lists back over the real file.
RunStatus CantRead(const char* file) {
  ConsoleOut(Format("Fatal : Can't read %s, %s\n", file, std::strerror(errno)));
  return RunStatus::End(1);
}

}  // namespace

std::string ConfiguredLogFile(platform::Env& env) {
  std::string bytes;
  bool present = false;
  if (!platform::ReadFileIfPresent(env, kConfigFile, bytes, present) || !present ||
      !HasConfigSignature(bytes) || bytes.size() < kMainConfigLogFileEnd)
    return "";
  const MainConfig main = ReadMainConfig(bytes);
  return main.version == kConfigVersion ? main.log_file : "";
}

RunStatus ReadConfiguration(platform::Env& env, Configuration& config) {
  std::string bytes;
  bool present = false;
  const bool read = platform::ReadFileIfPresent(env, kConfigFile, bytes, present);
  ConsoleOut("Loading PELIX.CFG...\n");
  if (!read) return CantRead(kConfigFile);
  if (!present) {
    ConsoleOut("Fatal : Can't open PELIX.CFG\n");
    return RunStatus::End(1);
  }
  if (!HasConfigSignature(bytes)) {
    ConsoleOut("Fatal : File pelix.cfg is not a Pelix configuration file\n");
    return RunStatus::End(1);
  }
  config.main = ReadMainConfig(bytes);
  if (config.main.version != kConfigVersion) {
    ConsoleOut("Fatal : Invalid configuration version ID.\n");
    return RunStatus::End(1);
  }
  // Older, shorter files load with their last fields empty; one cut before
  // the log file's name is damaged, and every message would point nowhere.
  if (bytes.size() < kMainConfigLogFileEnd) {
    ConsoleOut("Fatal : File pelix.cfg is damaged\n");
    return RunStatus::End(1);
  }
  CloseDirectoryFields(config.main);

  ConsoleOut("Loading PELIX.DMN...\n");
  if (!platform::ReadFileIfPresent(env, kDomainFile, bytes, present)) return CantRead(kDomainFile);
  if (present) {
    config.domain_list = ReadDomains(bytes);
  } else {
    ConsoleOut("Warning : No Domains defined\n");
  }

  ConsoleOut("Loading PELIX.FE...\n");
  if (!platform::ReadFileIfPresent(env, kFileEchoFile, bytes, present))
    return CantRead(kFileEchoFile);
  config.fileecho_list = ReadFileEchoes(bytes);

  ConsoleOut("Loading PELIX.NOD...\n");
  if (!platform::ReadFileIfPresent(env, kLinkFile, bytes, present)) return CantRead(kLinkFile);
  config.link_list = ReadLinks(bytes);
  config.ListsChanged();

  if (!platform::ReadFileIfPresent(env, kNodeOptionsFile, bytes, present, kNodeOptionsSizeLimit))
    return CantRead(kNodeOptionsFile);
  if (present) {
    ConsoleOut("Loading PELIX.INI...\n");
    config.options = ReadNodeOptionsFrom(IniDocument(bytes), kNodeOptionsFile,
                                         config.option_warnings);
  }
  return RunStatus::GoOn();
}

size_t Configuration::TagHash::operator()(std::string_view tag) const { return FoldedHash(tag); }

bool Configuration::TagEqual::operator()(std::string_view a, std::string_view b) const {
  return EqualsIgnoreCase(a, b);
}

void Configuration::ListsChanged() {
  link_index_.built = false;
  echo_index_.built = false;
}

void Configuration::BuildIndexes() const {
  link_index_.BuildFor(link_list,
                       [](const LinkRecord& link) { return AddressKey(ParseAddress(link.address)); });
  echo_index_.BuildFor(fileecho_list, [](const FileEchoRecord& echo) { return echo.tag; });
}

const LinkRecord* Configuration::FindLink(const FidoAddress& address) const {
  BuildIndexes();
  auto found = link_index_.first.find(AddressKey(address));
  return found == link_index_.first.end() ? nullptr : &link_list[found->second];
}

LinkRecord* Configuration::FindLink(const FidoAddress& address) {
  return const_cast<LinkRecord*>(std::as_const(*this).FindLink(address));
}

const FileEchoRecord* Configuration::FindFileEcho(std::string_view tag) const {
  BuildIndexes();
  auto found = echo_index_.first.find(tag);
  return found == echo_index_.first.end() ? nullptr : &fileecho_list[found->second];
}

FileEchoRecord* Configuration::FindFileEcho(std::string_view tag) {
  return const_cast<FileEchoRecord*>(std::as_const(*this).FindFileEcho(tag));
}

const EchoLinkEntry* FindEchoLink(const FileEchoRecord& echo, const FidoAddress& address) {
  for (const EchoLinkEntry& entry : echo.links)
    if (ParseAddress(entry.address) == address) return &entry;
  return nullptr;
}

EchoLinkEntry* FindEchoLink(FileEchoRecord& echo, const FidoAddress& address) {
  return const_cast<EchoLinkEntry*>(FindEchoLink(std::as_const(echo), address));
}

RunStatus AppendFileEcho(platform::Env& env, Log& log, const FileEchoRecord& echo, bool& added) {
  added = false;
  {
    platform::FilePtr f = env.Open(kFileEchoFile, platform::OpenMode::kAppend);
    if (!f) {
      log.Write(kMarkError, WithReason("Can't Open for Writing/Create pelix.fe.", errno) + "\n");
      return RunStatus::End(3);
    }
    // Only opened to be sure it can be written; nothing was.
    (void)f->Close();
  }
  // The record is added by replacing the file whole: an append cut short by
  // a full disk would leave a part record that shifts every later one.
  std::string bytes;
  if (!platform::ReadWholeFile(env, kFileEchoFile, bytes)) {
    log.Write(kMarkError, WithReason(Format("Can't read %s, echo %s not added", kFileEchoFile,
                                            echo.tag.c_str()),
                                     errno));
    return RunStatus::GoOn();
  }
  AppendNewFileEchoRecord(bytes, echo);
  if (platform::RewriteFile(env, kFileEchoFile, bytes)) {
    added = true;
    return RunStatus::GoOn();
  }
  log.Write(kMarkError, WithReason(Format("Can't write %s, echo %s not added", kFileEchoFile,
                                          echo.tag.c_str()),
                                   errno));
  return RunStatus::GoOn();
}

namespace {

bool Rewrite(platform::Env& env, Log& log, const char* file, const std::string& bytes,
             uint32_t new_file_mode = platform::kDefaultFileMode) {
  if (platform::RewriteFile(env, file, bytes, new_file_mode)) return true;
  log.Write(kMarkError,
            WithReason(Format("Can't write %s, it keeps its previous contents", file), errno));
  return false;
}

}  // namespace

bool SaveFileEchoesAndLinks(platform::Env& env, Log& log, const Configuration& config) {
  // The links' passwords are the node's secrets.
  return Rewrite(env, log, kFileEchoFile, WriteFileEchoes(config.fileecho_list, false)) &&
         Rewrite(env, log, kLinkFile, WriteLinks(config.link_list), platform::kPrivateFileMode);
}
