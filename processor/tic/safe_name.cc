#include "processor/tic/safe_name.h"

#include <string>

#include "common/text_helpers.h"
#include "processor/tic/bad_tic_index.h"
#include "processor/tic_limits.h"

const char* UnsafeNameReason(std::string_view name) {
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) return "holds a control character";
  }
  if (name.find_first_of("/\\") != std::string_view::npos) return "holds a path separator";
  if (name.find(':') != std::string_view::npos) return "holds a drive or device colon";
  if (name.find("..") != std::string_view::npos) return "holds \"..\"";
  if (name == ".") return "names the directory itself";
  // The directory search would treat them as patterns and find other files.
  if (name.find_first_of("*?") != std::string_view::npos) return "holds a wildcard";
  return nullptr;
}

const char* UnsafeFileNameReason(std::string_view name) {
  if (const char* why = UnsafeNameReason(name)) return why;
  // Names compare without regard to case on disk, so "files.bbs" is it too.
  if (EqualsIgnoreCase(name, "FILES.BBS")) return "is the name of the area listing";
  if (IsTicName(name)) return "ends in \".tic\"";
  // A refused TIC's file would become the index beside the refused TICs.
  if (EqualsIgnoreCase(name, kBadTicIndexName)) return "is the name of the bad-TIC index";
  return nullptr;
}
