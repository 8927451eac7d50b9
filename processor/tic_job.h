// One arrived TIC on its way through the TIC pass (or a file being hatched):
// what was read from it and what was made for it, until it has left the
// inbound. Owned by the pass, then by the group of TICs it waits in.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/fido_address.h"
#include "processor/log.h"
#include "processor/tic_record.h"

// The outgoing TICs written ahead for the links the file goes to, each for
// the address of the echo entry it was written for, forced to disk together
// before any flow line names them; each export takes the one of its entry.
struct PreparedTics {
  struct Prepared {
    FidoAddress address;
    std::string path;
    bool taken = false;
  };
  std::vector<Prepared> tics;
  // The entry whose TIC could not be written: its export fails as a TIC
  // that cannot be created does.
  std::optional<FidoAddress> failed_for;
  // They could not be forced to disk: no export takes one, and the first
  // fails as a TIC that cannot be created does.
  bool not_forced = false;
  int error = 0;  // the errno of that failure

  bool empty() const { return tics.empty(); }
};

struct TicJob {
  TicJob(platform::Env& env, Log& run_log, std::string path)
      : tic_path(std::move(path)), log(env, run_log) {}

  std::string tic_path;  // in inbound_dir; empty for a hatched file
  TicRecord tic;
  // The TIC's file: inbound_dir + File, the numbered name a mailer gave a
  // second file of that name, or the file being hatched.
  std::string inbound_file;
  // A hatched file is the sysop's own: its queue copy is a copy, never a
  // second name that the sysop's next change to the file would reach.
  bool hatching = false;
  // Where the file was copied in the queue for the mailer; empty until the
  // copy is made. `queue_copy_reused`: the copy was there already, whole,
  // from a run that stopped before the TIC was done, and links whose flow
  // file names it have it.
  std::string queue_copy;
  bool queue_copy_reused = false;
  PreparedTics prepared;
  // Directories holding copies made without forcing them to disk: the
  // group's flush forces them.
  std::vector<std::string> unforced_dirs;
  // Accepted: only the flush it shares with the group keeps it from being
  // finished. `echo_index` is its echo in fileecho_list (which grows).
  bool accepted = false;
  size_t echo_index = 0;
  // Refused: the TIC was moved to Bad Tics.
  bool refused = false;
  // The echo's tag as the configuration spells it (as the TIC spelled it
  // for an echo created for it): its directory and its announce file are
  // named so, whatever letter case a TIC uses.
  std::string echo_tag;
  // Its log lines, held while earlier TICs of the group wait.
  HeldLog log;

  // True when `address` is the same system as one of the TIC's Seenby
  // values. A value that lists several addresses counts as its first one.
  bool InSeenBy(const std::string& address);

 private:
  std::vector<FidoAddress> seenby_;  // parsed at the first look
  bool seenby_parsed_ = false;
};
