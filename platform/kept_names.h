// The listings of the directories given to KeepNamesOf: each read once, at
// the first name that is not there in the letter case asked for, then kept
// current by this process's own creates, moves and removes. Used by the
// POSIX Env only; paths here are native, directories end with "/".
#pragma once

#include <map>
#include <string>
#include <unordered_map>

#include "platform/platform.h"

namespace platform {

// Names folded to lower case, each with the letter case it has on disk;
// in order, so that a search for "px*" reads only the names that start so.
struct KeptDirectory {
  bool listed = false;
  std::map<std::string, DirEntry> names;
};

std::string Folded(std::string name);
std::string WithClosingSlash(std::string dir);
// The directory of a native path, with its closing "/" ("" for a bare
// name); `last` gets the name after it.
std::string SplitDir(const std::string& native, std::string& last);

// Starts keeping the names of `native_dir`, which the caller named `given`.
void KeepNamesOfNative(const std::string& native_dir, const std::string& given);
// True when `given` (absolute) is the directory last given to keep: asked
// for again at every new name, it needs no second look.
bool KeptAsGiven(const std::string& given);
// The kept names of `dir`, listed at first use; nullptr when the directory
// is not kept or cannot be listed.
KeptDirectory* KeptNamesIn(const std::string& dir);

// Keep the listings current after this process made, removed or moved a
// name.
void NoteMade(const std::string& native, bool is_directory = false);
void NoteRemoved(const std::string& native);
void NoteMoved(const std::string& from, const std::string& to);

}  // namespace platform
