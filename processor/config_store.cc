#include "processor/config_store.h"

#include <cstdint>
#include <string>
#include <vector>

#include "common/text_helpers.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_state.h"

namespace {

constexpr char kConfigFile[] = "pelix.cfg";
constexpr char kDomainFile[] = "pelix.dmn";
constexpr char kFileEchoFile[] = "pelix.fe";
constexpr char kLinkFile[] = "pelix.nod";

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

}  // namespace

void ReadConfiguration() {
  RunState& run = State();
  std::string bytes;
  bool opened = platform::ReadWholeFile(platform::CurrentEnv(), kConfigFile, bytes);
  ConsoleOut("Loading PELIX.CFG...\n");
  if (!opened) {
    ConsoleOut("Fatal : Can't open PELIX.CFG\n");
    FatalExit(1);
  }
  if (!HasConfigSignature(bytes)) {
    ConsoleOut("Fatal : File pelix.cfg is not a Pelix configuration file\n");
    FatalExit(1);
  }
  run.config = ReadMainConfig(bytes);
  if (run.config.version != kConfigVersion) {
    ConsoleOut("Fatal : Invalid configuration version ID.\n");
    FatalExit(1);
  }
  // Older, shorter files load with their last fields empty; one cut before
  // the log file's name is damaged, and every message would point nowhere.
  if (bytes.size() < kMainConfigLogFileEnd) {
    ConsoleOut("Fatal : File pelix.cfg is damaged\n");
    FatalExit(1);
  }
  CloseDirectoryFields(run.config);

  ConsoleOut("Loading PELIX.DMN...\n");
  if (platform::ReadWholeFile(platform::CurrentEnv(), kDomainFile, bytes)) {
    run.domain_list = ReadDomains(bytes);
  } else {
    ConsoleOut("Warning : No Domains defined\n");
  }

  ConsoleOut("Loading PELIX.FE...\n");
  if (platform::ReadWholeFile(platform::CurrentEnv(), kFileEchoFile, bytes)) {
    run.fileecho_list = ReadFileEchoes(bytes);
  }

  ConsoleOut("Loading PELIX.NOD...\n");
  if (platform::ReadWholeFile(platform::CurrentEnv(), kLinkFile, bytes)) {
    run.link_list = ReadLinks(bytes);
  }
  ConfigListsChanged();
}

namespace {

uint64_t AddressKey(const FidoAddress& a) {
  return uint64_t{a.zone} << 48 | uint64_t{a.net} << 32 | uint64_t{a.node} << 16 | a.point;
}

// The record of `key` in `list`, through `index`, which is first built again
// when the list is no longer the one it was built from.
template <typename Index, typename Record, typename KeyOf, typename Key>
Record* FindFirst(Index& index, std::vector<Record>& list, KeyOf key_of, const Key& key) {
  if (!index.built || index.list_data != list.data() || index.list_size != list.size()) {
    index.first.clear();
    // Duplicates are possible in hand-made files: the first record of a key
    // is the one every look-up has always found.
    for (size_t i = 0; i < list.size(); ++i) index.first.try_emplace(key_of(list[i]), i);
    index.built = true;
    index.list_data = list.data();
    index.list_size = list.size();
  }
  auto found = index.first.find(key);
  return found == index.first.end() ? nullptr : &list[found->second];
}

}  // namespace

void ConfigListsChanged() {
  State().link_index.built = false;
  State().fileecho_index.built = false;
}

LinkRecord* FindLink(const FidoAddress& address) {
  RunState& run = State();
  return FindFirst(
      run.link_index, run.link_list,
      [](const LinkRecord& link) { return AddressKey(ParseAddress(link.address)); },
      AddressKey(address));
}

FileEchoRecord* FindFileEcho(std::string_view tag) {
  RunState& run = State();
  return FindFirst(
      run.fileecho_index, run.fileecho_list, [](const FileEchoRecord& echo) { return echo.tag; },
      tag);
}

EchoLinkEntry* FindEchoLink(FileEchoRecord& echo, const FidoAddress& address) {
  for (EchoLinkEntry& entry : echo.links) {
    if (ParseAddress(entry.address) == address) return &entry;
  }
  return nullptr;
}

bool AppendFileEcho(const FileEchoRecord& echo) {
  {
    platform::FilePtr f = platform::OpenFile(kFileEchoFile, platform::OpenMode::kAppend);
    if (!f) {
      LogLine(kMarkError, "Can't Open for Writing/Create pelix.fe.\n");
      FatalExit(3);
    }
    // Only opened to be sure it can be written; nothing was.
    (void)f->Close();
  }
  // The record is added by replacing the file whole: an append cut short by
  // a full disk would leave a part record that shifts every later one.
  std::string bytes;
  if (!platform::ReadWholeFile(platform::CurrentEnv(), kFileEchoFile, bytes)) {
    LogLine(kMarkError, Format("Can't read %s, echo %s not added", kFileEchoFile, echo.tag.c_str()));
    return false;
  }
  AppendNewFileEchoRecord(bytes, echo);
  if (platform::RewriteFile(platform::CurrentEnv(), kFileEchoFile, bytes)) return true;
  LogLine(kMarkError, Format("Can't write %s, echo %s not added", kFileEchoFile, echo.tag.c_str()));
  return false;
}

namespace {

bool Rewrite(const char* file, const std::string& bytes) {
  if (platform::RewriteFile(platform::CurrentEnv(), file, bytes)) return true;
  LogLine(kMarkError, Format("Can't write %s, it keeps its previous contents", file));
  return false;
}

}  // namespace

bool SaveFileEchoesAndLinks() {
  RunState& run = State();
  return Rewrite(kFileEchoFile, WriteFileEchoes(run.fileecho_list, false)) &&
         Rewrite(kLinkFile, WriteLinks(run.link_list));
}
