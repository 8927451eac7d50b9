// The Binkley-style outbound: where a destination's flow files and flags
// live, and the busy-flag protocol pelix follows around every change it makes
// to a destination.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/fido_address.h"

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

// True while a busy or call flag (base name + ".?sy") exists.
bool LinkBusy(const FidoAddress& address, const std::string& domain);
// Waits, sleeping a quarter second between tests, until LinkBusy is false;
// false when a flag still stands after `limit_seconds` of real time.
bool WaitWhileBusy(const FidoAddress& address, const std::string& domain,
                   int64_t limit_seconds);
// Creates base name + ".bsy".
void SetBusy(const FidoAddress& address, const std::string& domain);
// Removes base name + ".bsy" and + ".csy".
void ClearBusy(const FidoAddress& address, const std::string& domain);

// `path` as a flow-file line names it: absolute, with "/" separators and no
// "." or empty components. A relative path is taken relative to the node
// directory (the working directory), since the mailer resolves a relative
// line against its own directory instead.
std::string AbsoluteFlowPath(const std::string& path);
