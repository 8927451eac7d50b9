// Handing an accepted file to one link: flow-file lines and a fresh TIC.
#pragma once

#include <string>
#include <vector>

#include "common/records.h"

// Appends the queue copy of the TIC's file and a new outgoing TIC to the
// flow file of `link`, under the destination's busy flag. `entry` is the
// echo's entry for the link, `domain` its DomainPart, `base_name` the
// OutboundBase of its address; `echo` is the echo being processed (its
// entries give the Seenby lines).
void ExportTicToLink(const EchoLinkEntry& entry, const std::string& domain,
                     const std::string& base_name, const LinkRecord& link,
                     const FileEchoRecord& echo);

// Writes the outgoing TICs of `links` (the links the file is about to be
// exported to, in the order of the exports); the exports then take them in
// turn instead of writing and forcing one each. A TIC that cannot be
// written makes the export it was for fail as it would have.
// EndPreparedTics removes any that no export took.
void PrepareOutgoingTics(const std::vector<const LinkRecord*>& links, const FileEchoRecord& echo);
// Forces the prepared TICs and the copies made with Durability::kLater to
// disk, one wait per file system, before the first flow line names them;
// when that fails, no export takes a prepared TIC and the first one stops
// as a TIC that cannot be written does.
void ForceForwardToDisk();
// The directories ForceForwardToDisk would force, taken from the run state:
// where kLater copies were made, and the TIC outbound when TICs were
// prepared.
std::vector<std::string> TakeUnforcedDirs();
// What follows when they could not be forced: no export takes a prepared
// TIC, and the first one stops as a TIC that cannot be written does.
void ForwardNotForced();
void EndPreparedTics();
