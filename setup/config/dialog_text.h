// How the dialogs turn what the sysop typed into configuration fields and
// back. Every text field holds at most 254 characters and its zero.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A text field as typed, cut to what its 255-byte field holds.
std::string StoredText(std::string_view typed);

// A password field of 20 bytes: at most 19 characters.
std::string StoredPassword(std::string_view typed);

// A directory field: the processor appends file names directly to it, so a
// non-empty directory must end in a separator. One that ends in neither "\"
// nor "/" gets "\" when it is written with "\" only (C:\FIDO\IN), else "/".
// A text too long to take the separator loses its last character to it, so
// the value and its zero stay within the field.
std::string StoredDirectory(std::string_view typed);

// The UTC offset in whole hours as the General Options dialog shows it:
// "+3", "0", "-2".
std::string UtcOffsetText(int32_t hours);
// The typed offset: at most its first 24 characters, read as a decimal.
int32_t UtcOffsetValue(std::string_view typed);

// A domain's main zone as typed: at most 254 characters read as a decimal,
// of which the 16-bit field keeps the low bits (70000 is zone 4464, -1 is
// 65535).
uint16_t MainZoneValue(std::string_view typed);
std::string MainZoneText(uint16_t zone);
