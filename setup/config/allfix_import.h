// Taking over part of an ALLFIX installation: five working directories from
// setup.fix, and the file areas of filearea.fix with their descriptions from
// fareas.fix. Only the in-memory configuration changes; the sysop saves it
// at exit like any other edit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/records.h"
#include "setup/config/edit_list.h"

namespace platform {
class Env;
}

inline constexpr char kAllfixSetupFile[] = "setup.fix";
inline constexpr char kAllfixAreaFile[] = "filearea.fix";
inline constexpr char kAllfixDescriptionFile[] = "fareas.fix";

// The name of one ALLFIX file in the directory the sysop typed (at most 254
// characters of it): joined with "/" unless the directory already ends in a
// separator; an empty directory names the file in the working directory.
std::string AllfixFileName(std::string_view directory, std::string_view name);

// ALLFIX stores its texts as one length byte followed by `width` character
// bytes. Reads the text at `offset` of `bytes`; false when the file ends
// before the string's last byte. The text never goes beyond its own
// character bytes, whatever the length byte claims, and ends at a zero byte.
bool AllfixText(std::string_view bytes, size_t offset, size_t width, std::string& text);

// setup.fix: every directory the file holds replaces the configured one
// (inbound from either of its two places, the second winning); then each
// of the five directories ends in a separator and fits its field, whether
// imported or not.
void ImportSetupFix(std::string_view bytes, MainConfig& config);

// filearea.fix: a new, blank echo for every area tag, in file order.
std::vector<FileEchoRecord> ReadAllfixAreas(std::string_view bytes);

// fareas.fix: each description goes to the first echo with the area's tag,
// compared without regard to letter case.
void ImportAreaDescriptions(std::string_view bytes, EditList<FileEchoRecord>& echoes);

// The whole import from `directory`, reporting through the message box: a
// file that cannot be opened ends it with "Can't open <file>", the steps
// before it staying done; otherwise it ends with the success message.
void ImportAllfixConfiguration(platform::Env& env, std::string_view directory);
