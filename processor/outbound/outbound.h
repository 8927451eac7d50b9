// The Binkley-style outbound: where a destination's flow files and flags
// live, and the busy-flag protocol pelix follows around every change it makes
// to a destination.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/fido_address.h"
#include "platform/platform.h"

// The zone directory of `address` (domain part `domain`, "@" included or
// empty); std::nullopt, after a '!' "No default domain" log line, when no
// domain fits, or after a '!' "No outbound directory for %s" line when the
// chosen domain has an empty outbound.
std::optional<std::string> OutboundDirectory(const FidoAddress& address,
                                             const std::string& domain);

// The base name (no extension) of the destination; creates the zone
// directory and, for a point, its point directory. std::nullopt when no
// domain fits: nothing may then be written for the destination.
std::optional<std::string> OutboundBase(const FidoAddress& address,
                                        const std::string& domain);
// True when `address` has an outbound (OutboundBase would give its base
// name); nothing is made and nothing logged.
bool OutboundKnown(const FidoAddress& address, const std::string& domain);

// True while a busy or call flag (base name + ".bsy" or ".csy", in lower
// case or in capitals) stands. A stale flag (its process gone: at once when
// it is ours, after an hour when another program's) is logged with '!' and
// removed first.
bool LinkBusy(const FidoAddress& address, const std::string& domain);

struct Destination {
  FidoAddress address;
  std::string domain;
};
// Waits, sleeping a quarter second between looks, until no destination is
// busy; false when one still is after `limit_seconds`, with `still_busy`
// its index.
bool WaitWhileAnyBusy(const std::vector<Destination>& destinations, int64_t limit_seconds,
                      size_t& still_busy);
bool WaitWhileBusy(const FidoAddress& address, const std::string& domain,
                   int64_t limit_seconds);

enum class BusyResult {
  kHeld,    // our flag is there, holding "pelix" and our pid
  kTaken,   // a flag of that name appeared meanwhile: busy again
  kFailed,  // cannot be made (logged); the destination is worked on without
};
// Creates base name + ".bsy" exclusively, already holding "pelix" and our
// pid, and has an interrupt remove it.
BusyResult SetBusy(const FidoAddress& address, const std::string& domain);
// WaitWhileBusy, then SetBusy, again while the mailer takes the destination
// first; false when the destination stays busy for `limit_seconds`.
bool WaitAndSetBusy(const FidoAddress& address, const std::string& domain,
                    int64_t limit_seconds);
// Removes the files this run's busy flags were linked from; the flags stay
// as ClearBusy leaves them.
void ReleaseFlagSides();
// Removes the ".bsy" that SetBusy made, never another program's flag;
// while KeepBusyFlags is on, leaves it standing for the next export to the
// destination (WaitAndSetBusy takes it up again at once).
void ClearBusy(const FidoAddress& address, const std::string& domain);
// On: ClearBusy keeps our flags, each removed by an interrupt or a fatal
// end, so that a group of TICs sent to the same links costs one flag per
// destination. Off: they are removed. ReleaseKeptFlags removes them while
// keeping stays on (before a wait, so the mailer is not kept from them).
void KeepBusyFlags(bool keep);
void ReleaseKeptFlags();

// While flags are kept, a flow file appended to under our held flag stays
// open for the next export to the destination: KeepFlowFile takes it
// (false, the file left to the caller, when flags are not kept or 64 are
// open already), KeptFlowFile gives it back, ForgetFlowFile closes it after
// a failed write. ReleaseKeptFlags closes them all before the flags go,
// since the mailer may then rewrite or remove a flow file and a line
// written through an old handle would be lost; a close that fails is logged
// as "Can't modify bink outbound" and ends the run with status 2, as it
// does at once otherwise.
platform::File* KeptFlowFile(const std::string& flow_path);
bool KeepFlowFile(const std::string& flow_path, platform::FilePtr& file);
void ForgetFlowFile(const std::string& flow_path);

// `path` as a flow-file line names it: absolute, with "/" separators and no
// "." or empty components. A relative path is taken relative to the node
// directory (the working directory), since the mailer resolves a relative
// line against its own directory instead.
std::string AbsoluteFlowPath(const std::string& path);

// Removes the side files ("~" + flag name) that runs killed while they made
// a busy flag left in `dir`, once they are stale; a destination no later run
// exports to would otherwise keep them for good.
void RemoveStaleSideFlags(const std::string& dir);
