// Whether the TIC being processed says a system has seen its file.
#pragma once

#include <string>

// True when `address` is the same system as one of the TIC's Seenby values.
// A value that lists several addresses counts as its first one: the rest
// must not be read as a point number of the first.
bool InTicSeenBy(const std::string& address);
