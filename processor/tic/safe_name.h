// A TIC's File and Area values become parts of paths (the inbound file, the
// echo directory, the announce database file). A value that could name
// something outside those directories, or a device, must never reach the
// file system.
#pragma once

#include <string>
#include <string_view>

// Why `name` cannot be used as one plain name inside a directory, or
// nullptr when it can. An empty name counts as safe: the callers decide
// what an empty value means.
const char* UnsafeNameReason(std::string_view name);

// Why `name` cannot be the name of an arrived file: the reasons above, the
// name of the listing every echo directory keeps and of the bad-TIC index,
// which the file would replace, and a name the receiver's search would
// take for a TIC. nullptr when it can be.
const char* UnsafeFileNameReason(std::string_view name);

