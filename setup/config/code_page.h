// The code page of the configuration's texts. FidoNet texts are 8-bit, in
// whatever code page the sysop's software uses (CP437 and CP850 in the West,
// CP866 for Cyrillic); the files only hold bytes. setup shows each byte as
// the character the chosen page gives it and stores typed characters back as
// those bytes, so every byte survives editing and a character the page
// cannot hold is refused instead of being stored as something else.
//
// The choice lives in a small text file beside the configuration files,
// which only setup reads: one line naming the page ("CP866").
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {
class Env;
}

enum class CodePage { kLatin1, kCp437, kCp850, kCp866, kCp1251, kCp1252 };

inline constexpr char kCodePageFile[] = "setup.cp";

// Every page, in the order the General Options list shows them.
std::vector<CodePage> CodePages();
// "CP866": what the file holds.
const char* CodePageName(CodePage page);
// "CP866 (DOS, Cyrillic)": what the sysop picks from.
const char* CodePageDescription(CodePage page);
// Any letter case; false for a name that is no known page.
bool CodePageFromName(std::string_view name, CodePage& page);

// Every byte gives one character; no two bytes give the same one.
std::u16string DecodeText(std::string_view bytes, CodePage page);
// False when the page has no byte for `c`.
bool EncodeCharacter(char16_t c, CodePage page, char& byte);
// The bytes of `text`; false (and the characters the page cannot hold left
// out) when not every character could be stored.
bool EncodeText(std::u16string_view text, CodePage page, std::string& bytes);

// The page remembered in the working directory; Latin-1 without a file or
// with a name that is no known page.
CodePage ReadCodePageChoice(platform::Env& env);
// Remembers `page`; a Latin-1 configuration that never had a choice gets no
// file. False when the file cannot be written.
bool WriteCodePageChoice(platform::Env& env, CodePage page);
