// The configuration files of a node directory, read into the records of
// the text form and written back from them. `dir` is "" (the working
// directory) or ends in "/".
#pragma once

#include <string>

#include "platform/platform.h"
#include "tools/config_text.h"
#include "tools/node_files.h"

// Reads the files; a missing one gives an empty part (no `ini` for a
// missing pelix.ini). The fingerprint is what was read. False, with `error`
// holding the line to show, when a file is there but cannot be read
// ("Fatal : Can't read pelix.fe, Permission denied"; a pelix.ini over
// 1 MiB, which pelix refuses, too): an empty part in its place would be
// written back over it. pelix.cfg without the signature is refused the
// same way.
bool ReadConfigFiles(platform::Env& env, const std::string& dir, ConfigText& out,
                     std::string& error);

// The contents of one file; pelix.cfg keeps the version held.
std::string NodeFileBytes(const ConfigText& config, NodeFile file);

// Replaces one file in one step: it keeps its permission bits, and a new
// pelix.nod or pelix.ini, which hold passwords, is readable by its owner
// alone. pelix.ini is written only when `config` holds one: otherwise it
// stays as it is, or missing. False with errno telling why; the old file
// then stays as it was.
[[nodiscard]] bool RewriteNodeFile(platform::Env& env, const ConfigText& config,
                                   const std::string& dir, NodeFile file);

// All of them in order; false at the first that fails, `failed` naming it.
[[nodiscard]] bool WriteConfigFiles(platform::Env& env, const ConfigText& config,
                                    const std::string& dir, NodeFile& failed);

// The same on the real system, for the demo and the tests.
bool WriteConfigFiles(const ConfigText& config, const std::string& dir);
bool ReadConfigFiles(const std::string& dir, ConfigText& out, std::string& error);
