// The configuration of a run: read once at its start, then read by every
// pass through Config(). Only the area manager and the auto-creation of
// echoes change it, through the Configuration& the run hands them, and
// write pelix.fe and pelix.nod back.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/fido_address.h"
#include "common/node_options.h"
#include "common/records.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_status.h"

class Configuration {
 public:
  MainConfig main;
  std::vector<DomainRecord> domain_list;
  std::vector<FileEchoRecord> fileecho_list;  // appending moves the records
  std::vector<LinkRecord> link_list;
  // pelix.ini: the defaults when there is none.
  NodeOptions options;
  // What could not be read in it, for the log ('!') once it is known.
  std::vector<std::string> option_warnings;

  // First link or echo that matches; nullptr when none does. Addresses
  // match on zone, net, node and point; tags ignoring case. The pointers
  // stay valid until a record is appended to the same list.
  const LinkRecord* FindLink(const FidoAddress& address) const;
  LinkRecord* FindLink(const FidoAddress& address);
  const FileEchoRecord* FindFileEcho(std::string_view tag) const;
  FileEchoRecord* FindFileEcho(std::string_view tag);

  // The look-ups above go through an index of each list, built at the first
  // look-up after a change. Whoever adds, removes, reorders or renames
  // records of `link_list` or `fileecho_list` calls this.
  void ListsChanged();

 private:
  struct TagHash {
    using is_transparent = void;
    size_t operator()(std::string_view tag) const;
  };
  struct TagEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };
  // The position of the first record of each key, so that a hub's look-up
  // per link and TIC does not walk the whole list.
  template <typename Key, typename Hash = std::hash<Key>, typename Equal = std::equal_to<Key>>
  struct Index {
    std::unordered_map<Key, size_t, Hash, Equal> first;
    bool built = false;
    // The list's storage and length when built: a list that was changed
    // without a word is indexed again all the same.
    const void* list_data = nullptr;
    size_t list_size = 0;

    template <typename Record, typename KeyOf>
    void BuildFor(const std::vector<Record>& list, KeyOf key_of) {
      if (built && list_data == list.data() && list_size == list.size()) return;
      first.clear();
      // Duplicates are possible in hand-made files: the first record of a
      // key is the one every look-up has always found.
      for (size_t i = 0; i < list.size(); ++i) first.try_emplace(key_of(list[i]), i);
      built = true;
      list_data = list.data();
      list_size = list.size();
    }
  };
  void BuildIndexes() const;

  mutable Index<uint64_t> link_index_;  // by zone, net, node and point
  mutable Index<std::string, TagHash, TagEqual> echo_index_;
};

// The first entry of `echo` for that system; nullptr when none.
const EchoLinkEntry* FindEchoLink(const FileEchoRecord& echo, const FidoAddress& address);
EchoLinkEntry* FindEchoLink(FileEchoRecord& echo, const FidoAddress& address);

// The configuration of the run under way, as ConfigurationInUse set it.
const Configuration& Config();

// Makes `config` the one Config() gives for the life of this object: the
// run's set-up, and tests that drive a pass on their own.
class ConfigurationInUse {
 public:
  explicit ConfigurationInUse(const Configuration& config);
  ~ConfigurationInUse();
  ConfigurationInUse(const ConfigurationInUse&) = delete;
  ConfigurationInUse& operator=(const ConfigurationInUse&) = delete;

 private:
  const Configuration* previous_;
};

// Reads pelix.cfg, pelix.dmn, pelix.fe, pelix.nod and pelix.ini (when
// there) into `config`; ends the run with status 1 when the configuration
// is unusable, a file of it there but unreadable. Its messages go
// to the console only: the log file is not known before it.
[[nodiscard]] RunStatus ReadConfiguration(platform::Env& env, Configuration& config);

// The log file pelix.cfg names, read without a word on the console; empty
// when pelix.cfg cannot be read or is not usable.
std::string ConfiguredLogFile(platform::Env& env);

// Appends one new echo (its first entry, link_count 1) to pelix.fe; ends
// the run with status 3 when pelix.fe cannot be opened. `added` false
// (logged) when the record could not be written: pelix.fe then stays as it
// was.
[[nodiscard]] RunStatus AppendFileEcho(platform::Env& env, Log& log, const FileEchoRecord& echo,
                                       bool& added);

// Rewrites pelix.fe and pelix.nod from the lists, each through a side file
// forced to disk. False (logged) when one could not be written: it keeps
// its old contents (pelix.nod is not tried after pelix.fe failed).
[[nodiscard]] bool SaveFileEchoesAndLinks(platform::Env& env, Log& log,
                                          const Configuration& config);
