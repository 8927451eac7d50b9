// Handing an accepted file to one link: flow-file lines and a fresh TIC.
#pragma once

#include <string>

#include "common/records.h"

// Appends the queue copy of the TIC's file and a new outgoing TIC to the
// flow file of `link`, under the destination's busy flag. `entry` is the
// echo's entry for the link, `domain` its DomainPart, `base_name` the
// OutboundBase of its address; `echo` is the echo being processed (its
// entries give the Seenby lines).
void ExportTicToLink(const EchoLinkEntry& entry, const std::string& domain,
                     const std::string& base_name, const LinkRecord& link,
                     const FileEchoRecord& echo);
