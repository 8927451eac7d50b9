// The Binkley-style outbound: the directory and the base name of each
// destination, below which its flow files and flags live.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/fido_address.h"
#include "platform/platform.h"
#include "processor/log.h"

// The zone directory of `address` (domain part `domain`, "@" included or
// empty); std::nullopt, after a '!' "No default domain" line, when no
// domain fits, or after a '!' "No outbound directory for %s" line when the
// chosen domain has an empty outbound.
std::optional<std::string> OutboundDirectory(Log& log, const FidoAddress& address,
                                             const std::string& domain);

// The base name (no extension) of the destination, without making or
// logging anything; std::nullopt when OutboundDirectory would find none.
std::optional<std::string> BaseName(const FidoAddress& address, const std::string& domain);

// The base name of a node in its zone directory, and of one of its points
// below that base name's ".pnt" directory.
std::string NodeBaseIn(const std::string& zone_dir, const FidoAddress& address);
std::string PointBaseOf(const std::string& node_base, uint16_t point);

// The directory of a flag, flow file or base name, with its closing "/".
std::string DirectoryOf(const std::string& path);

// Every domain's outbound directory, its zone directories beside it and the
// point directories below both, each once, in `dirs`. False, with the
// directory in `unlisted` and errno telling why, when one that is there
// cannot be listed: flow files may lie in or below it. A directory that is
// not there holds none.
[[nodiscard]] bool OutboundDirectories(platform::Env& env, std::vector<std::string>& dirs,
                                       std::string& unlisted);

// True when a listing that failed with `error` failed only because its
// directory is not there (or is no directory): nothing lies in it.
bool NothingToList(int error);

// `path` as a flow-file line names it: absolute, with "/" separators and no
// "." or empty components. A relative path is taken relative to the node
// directory (the working directory), since the mailer resolves a relative
// line against its own directory instead.
std::string AbsoluteFlowPath(platform::Env& env, const std::string& path);
