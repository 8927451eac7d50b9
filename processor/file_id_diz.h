// The description a BBS archive carries in its member FILE_ID.DIZ: the
// first line says what the file is, the lines after it say more. A file
// hatched without a description takes it from there, as sysops have long
// let their file-echo processors do.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

// A member of that name larger than this is not a description.
inline constexpr size_t kDizSizeLimit = 64 * 1024;
// The lines after the first that become Ldesc lines; the rest are dropped.
inline constexpr size_t kDizLdescLines = 30;
// A TIC line holds 254 bytes, keyword and blank included, so the texts of
// "Desc " and "Ldesc " lines are cut to what is left.
inline constexpr size_t kDizDescWidth = 254 - 5;
inline constexpr size_t kDizLdescWidth = 254 - 6;

struct FileIdDiz {
  std::string desc;
  std::vector<std::string> ldesc;
};

enum class DizResult {
  kFound,
  kNotArchive,  // no archive a supported format reads, or a broken one
  kMissing,     // an archive without that member, or one that cannot be read
  kTooLarge,    // the member is over kDizSizeLimit
};

// Looks for FILE_ID.DIZ (any letter case, at the top of the archive) in
// the ZIP, 7z, RAR, LHA or tar (also gzip, bzip2 or xz compressed) archive
// `path`, reading it through the Env, and fills `diz` from it when found.
DizResult ReadFileIdDiz(platform::Env& env, const std::string& path, FileIdDiz& diz);

// The description a FILE_ID.DIZ's text gives: the first line that is not
// blank becomes `desc`, at most kDizLdescLines lines after it `ldesc`
// (blank ones at the end dropped). The text ends at a Ctrl-Z (the DOS end
// of a text, after which a SAUCE record may follow); a tab becomes a blank,
// other control characters are removed, and blanks around each line go.
FileIdDiz DizDescription(std::string_view text);
