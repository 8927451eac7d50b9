// What a run holds in the outbound while it hands files to the mailer: the
// busy flags it made (held for one export, or kept for a group of TICs),
// the side files they are linked from, the flow files it keeps open under
// them and where its last append to each ended, and the directories it made.
// Owned by the run, handed to the passes that touch the outbound, released
// as a whole by ReleaseAll at the run's end, fatal or not.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/fido_address.h"
#include "platform/exit_cleanup.h"
#include "platform/platform.h"
#include "processor/log.h"
#include "processor/run_status.h"

// How long, in seconds, a run waits for a destination whose busy or call
// flag stays: long enough for a mailer session to end, short enough that a
// flag left behind by a crash cannot hold the run forever.
inline constexpr int64_t kBusyWaitLimit = 600;
// A wait that has lasted this long is logged, once.
inline constexpr int64_t kBusyWaitNotice = 10;

struct Destination {
  FidoAddress address;
  std::string domain;
};

enum class BusyResult {
  kHeld,    // our flag is there, holding "pelix" and our pid
  kTaken,   // a flag of that name appeared meanwhile: busy again
  kFailed,  // cannot be made (logged): nothing may be written there
};

enum class Appended { kWhole, kNotOpened, kNotWritten, kNotClosed };

class OutboundSession {
 public:
  OutboundSession(platform::Env& env, platform::ExitCleanup& cleanup)
      : env_(env), cleanup_(cleanup) {}
  OutboundSession(const OutboundSession&) = delete;
  OutboundSession& operator=(const OutboundSession&) = delete;

  // --- Layout ---------------------------------------------------------------

  // The base name of the destination; makes its zone directory and, for a
  // point, its point directory (once a run, unless they vanish). nullopt
  // (logged) when no domain fits: nothing may then be written for it.
  std::optional<std::string> Base(Log& log, const FidoAddress& address,
                                  const std::string& domain);

  // --- Busy flags (busy_flags.cc) -------------------------------------------

  // True while any flag of the destination stands: its base name, ".", one
  // character and "sy", in any letter case (our ".bsy", the mailer's ".bsy"
  // and ".csy", another program's). A stale flag (its process gone: at
  // once when it is ours, after an hour when another program's) is logged
  // with '!' and removed first. While flag listings are on, each outbound
  // directory is read once until ForgetFlagListings.
  bool LinkBusy(Log& log, const FidoAddress& address, const std::string& domain);
  // Waits, sleeping a quarter second between looks, until no destination
  // is busy; false when one still is after `limit_seconds`, with
  // `still_busy` its index. Logs "Waiting for busy node" once the wait has
  // lasted kBusyWaitNotice seconds.
  bool WaitWhileAnyBusy(Log& log, const std::vector<Destination>& destinations,
                        int64_t limit_seconds, size_t& still_busy);
  // Creates base name + ".bsy" exclusively, already holding "pelix" and our
  // pid (linked from this run's side file of the directory, which is made
  // again once should it have vanished), and arms the exit clean-up for it.
  BusyResult SetBusy(Log& log, const FidoAddress& address, const std::string& domain);
  // Waits while the destination is busy, then sets our flag, again while
  // the mailer takes the destination first. `result` kTaken when it stays
  // busy for `limit_seconds`, kFailed when our flag cannot be made (logged).
  // Kept flags of other destinations are released before a wait, so the
  // mailer is not kept from them; that release may end the run.
  RunStatus WaitAndSetBusy(Log& log, const FidoAddress& address, const std::string& domain,
                           int64_t limit_seconds, BusyResult& result);
  // Removes the ".bsy" that SetBusy made, never another program's flag;
  // while flags are kept, leaves it standing for the next export to the
  // destination (WaitAndSetBusy takes it up again at once).
  void ClearBusy(Log& log, const FidoAddress& address, const std::string& domain);
  // From now on ClearBusy keeps our flags, so that a group of TICs sent to
  // the same links costs one flag per destination; StopKeeping ends it and
  // releases them (ReleaseKept).
  void KeepFlags() { keeping_ = true; }
  RunStatus StopKeeping(Log& log);
  // Closes the flow files kept open (the mailer may rewrite or remove one
  // once our flag is gone, and a line written through an old handle would
  // be lost), then removes the kept flags. A close that fails is logged as
  // "Can't modify bink outbound" and ends the run with status 2.
  RunStatus ReleaseKept(Log& log);
  // Stops keeping, ReleaseKept, and removes the side files our flags were
  // linked from: the run is done with the outbound.
  RunStatus ReleaseAll(Log& log);

  // Reads each outbound directory once for the flag looks of a group of
  // TICs; ForgetFlagListings ends the group. Off, every look reads anew.
  void UseFlagListings() { listing_flags_ = true; }
  void ForgetFlagListings() { flag_listings_.clear(); }

  // Removes the side files ("~" + flag name) that runs killed while they
  // made a busy flag left in `dir`, once they are stale; this run's own
  // are never touched.
  void RemoveStaleSideFlags(Log& log, const std::string& dir);

  // --- Flow files (flow_files.cc) -------------------------------------------

  // Appends `lines` to the flow file in one write, after a line end when
  // the file's last line has none; a write that fails half way is cut back
  // off. Only under our flag for that destination: the flow file then stays
  // open for the next export to it while flags are kept (at most 64).
  // `error` tells why it failed.
  Appended AppendFlowLines(Log& log, const std::string& flow_path, const std::string& lines,
                           int& error);

 private:
  // busy_flags.cc
  std::optional<std::string> FlagSide(const std::string& dir, bool remake);
  bool FlagIsStale(const std::string& path, int& pid);
  bool RemoveIfStale(Log& log, const std::string& path);
  void RemoveOurFlag(Log& log, const std::string& flag);
  bool IsKept(const std::string& flag) const;
  bool Arm(const std::string& path);
  void Disarm(const std::string& path);
  const std::map<std::string, std::string>& FlagNamesIn(const std::string& dir);
  std::string OurFlagText();
  // flow_files.cc
  bool LineEndNeeded(const std::string& flow_path, int64_t size, std::string& prefix);
  bool KeepFlowFile(const std::string& flow_path, platform::FilePtr& file);
  void ForgetFlowFile(const std::string& flow_path);
  // Closes the flow files kept open for the destination of `base`, or all
  // with an empty base; a close that fails is logged and ends the run.
  RunStatus CloseFlowFilesOf(Log& log, const std::string& base);

  platform::Env& env_;
  platform::ExitCleanup& cleanup_;
  std::unordered_set<std::string> dirs_made_;
  // The flag held for the export under way; empty when none.
  std::string held_flag_;
  // While keeping: the flags our exports are done with, left standing.
  bool keeping_ = false;
  std::vector<std::string> kept_flags_;
  // Flags and side files the exit clean-up removes, with their native paths.
  std::unordered_map<std::string, std::string> armed_;
  // Outbound directory -> the side file our busy flags there are linked
  // from, and the file it is: a flag that is still that file is ours.
  struct Side {
    std::string path;
    platform::FileId id;
  };
  std::unordered_map<std::string, Side> sides_;
  // True when `flag` still is the side file of its directory.
  bool IsOurLink(const std::string& flag);
  // Outbound directory -> the names of its flags there (in lower case ->
  // as on disk), while listings are on.
  bool listing_flags_ = false;
  std::unordered_map<std::string, std::map<std::string, std::string>> flag_listings_;
  // Flow files kept open under our kept flags, and the size of each flow
  // file after this run's last append to it.
  std::unordered_map<std::string, platform::FilePtr> open_flows_;
  std::unordered_map<std::string, int64_t> flow_ends_;
};
