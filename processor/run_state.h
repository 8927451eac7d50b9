// Everything one run of pelix shares between its passes: the configuration
// loaded at start, the per-run serial counter and the TIC being handled.
// Kept in one place so that tests can start every case from a clean run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/fido_address.h"
#include "common/records.h"
#include "platform/platform.h"
#include "processor/tic/tic_record.h"

// How long, in seconds, a run waits for a destination whose busy or call
// flag stays: long enough for a mailer session to end, short enough that a
// flag left behind by a crash cannot hold the run forever.
inline constexpr int64_t kBusyWaitLimit = 600;

// Echo tags compare ignoring the case of ASCII letters; these let a map of
// tags be searched with any text under that same rule.
struct TagHash {
  using is_transparent = void;
  size_t operator()(std::string_view tag) const;
};
struct TagEqual {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// The position of the first record of each key in one configuration list,
// so that a hub's look-up per link and TIC does not walk the whole list.
// It belongs to the list it was built from and is built again once that
// list is changed (see ConfigListsChanged).
template <typename Key, typename Hash = std::hash<Key>, typename Equal = std::equal_to<Key>>
struct ListIndex {
  std::unordered_map<Key, size_t, Hash, Equal> first;
  bool built = false;
  const void* list_data = nullptr;  // the list's storage and length when built
  size_t list_size = 0;
};

// A log line kept back, with the time it was logged, until the lines
// before it are written.
struct HeldLogLine {
  char mark;
  std::string message;
  platform::LocalTime time;
};

// A TIC handled up to the moment its copies and outgoing TICs must be on
// disk, waiting for the one flush it shares with the TICs after it; what is
// left of it (flow lines, FILES.BBS, the announce record, leaving the
// inbound) is done once that flush is over, in arrival order.
struct PendingTic {
  bool completes = false;  // false: only its log lines wait
  std::vector<HeldLogLine> lines;
  std::string tic_path;
  TicRecord tic;
  std::string inbound_file;
  std::string queue_copy;
  bool queue_copy_reused = false;
  std::vector<std::string> prepared_tics;
  size_t prepared_failed_at = static_cast<size_t>(-1);
  size_t echo_index = 0;  // fileecho_list grows by autocreation
};

struct RunState {
  MainConfig config;
  std::vector<DomainRecord> domain_list;
  std::vector<FileEchoRecord> fileecho_list;  // appending moves the records
  std::vector<LinkRecord> link_list;
  ListIndex<uint64_t> link_index;  // by zone, net, node and point
  ListIndex<std::string, TagHash, TagEqual> fileecho_index;
  uint32_t serial_counter = 0;
  TicRecord tic;
  uint64_t tics_read = 0;  // gives each TIC read its TicRecord::serial
  // The addresses of the Seenby lines of the TIC with that serial.
  std::vector<FidoAddress> seenby_addresses;
  uint64_t seenby_serial = 0;
  // The TIC's file in the inbound: inbound_dir + File, or the numbered name
  // a mailer gave a second file of that name.
  std::string inbound_file;
  // Where the TIC's file was copied in the queue for the mailer; empty
  // until the copy is made.
  std::string queue_copy;
  // A hatched file is the sysop's own: its queue copy is a copy, never a
  // second name that the sysop's next change to the file would reach.
  bool hatching = false;
  // tic_outbound_dir as it is on disk, and the value it was found for.
  std::string tic_outbound_native;
  std::string tic_outbound_native_of;
  // The flow line naming queue_copy, and the path it was made for.
  std::string queue_copy_line;
  std::string queue_copy_line_of;
  // The copy was there already, whole, from a run that stopped before the
  // TIC was done: links whose flow file names it have it.
  bool queue_copy_reused = false;
  // Outgoing TICs written ahead for the links the file goes to, in their
  // order, and forced to disk together; each export takes the next.
  // prepared_failed_at: the export whose TIC could not be written.
  std::vector<std::string> prepared_tics;
  size_t prepared_used = 0;
  size_t prepared_failed_at = static_cast<size_t>(-1);
  // Where copies were made that the forward forces to disk.
  std::vector<std::string> unforced_dirs;
  // The TICs of the inbound pass that wait for their shared flush, the
  // directories it must force, and the lines of the TIC being handled,
  // held while an earlier TIC waits (`holding_lines`).
  std::vector<PendingTic> pending_tics;
  size_t pending_completions = 0;
  std::vector<std::string> pending_unforced_dirs;
  std::vector<HeldLogLine> held_lines;
  bool holding_lines = false;
  // Destinations (as the echo names them) found free for a TIC of the
  // group that waits for its flush.
  std::unordered_set<std::string> free_in_group;
  // Set by the TIC being handled once it only waits for the flush.
  bool tic_deferred = false;
  size_t deferred_echo_index = 0;
  // While the waiting TICs are finished: their list and the one at work, so
  // that a fatal end can take back what the later ones prepared.
  std::vector<PendingTic>* finishing_tics = nullptr;
  size_t finishing_index = 0;
  // Called by FatalExit first (the waiting TICs are finished as a run
  // without them would have); `fatal_exit_started` stops a second round.
  void (*before_fatal_exit)() = nullptr;
  bool fatal_exit_started = false;
  // Outbound directory -> the file our busy flags there are linked from.
  std::unordered_map<std::string, std::string> busy_flag_sides;
  // The directory finished TICs and files are moved aside to was made.
  bool inbound_done_made = false;
  bool inbound_done_emptied = false;  // by a fatal end
  // Outbound directories OutboundBase made (or found) this run.
  std::unordered_set<std::string> outbound_dirs_made;
  // Flags whose side file of an earlier version was looked for.
  std::unordered_set<std::string> old_sides_looked_at;
  // The list of outgoing TICs made and maybe not named yet (unnamed_tics.h);
  // `made_tics_noted` once it holds a name.
  platform::FilePtr made_tics;
  bool made_tics_noted = false;
  bool made_tics_failed = false;  // said once
  // Flow file -> its size after this run's last append to it.
  std::unordered_map<std::string, int64_t> flow_file_ends;
  // Flow files kept open under our kept busy flags (outbound.h).
  std::unordered_map<std::string, platform::FilePtr> open_flow_files;
  bool announce_requested = false;
  // The log file, open from the run's first line to its end, so that a hub
  // does not open and close it for every line. `log_path` and `log_env`
  // tell which name and which Env it was opened through.
  platform::FilePtr log;
  std::string log_path;
  const platform::Env* log_env = nullptr;
  bool log_failure_shown = false;  // the console said once that the log is full
  int64_t busy_wait_limit = kBusyWaitLimit;  // tests shorten it
};

RunState& State();
void ResetRunState();

// The current UTC seconds plus serial_counter, which is raised by one, so
// that two serials made in the same second differ.
uint32_t NextSerial();
