// Writing messages into a JAM message base: the header file ".jhr" (a
// 1024-byte base header, then each message header with its subfields), the
// text file ".jdt" and the index file ".jdx". All numbers are little-endian.
//
// JAM(mbp) - Copyright 1993 Joaquim Homrighausen, Andrew Milner,
//            Mats Birch, Mats Wallin. ALL RIGHTS RESERVED.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "processor/log.h"
#include "processor/serials.h"

inline constexpr size_t kJamBaseHeaderSize = 1024;
inline constexpr size_t kJamMessageHeaderSize = 76;
inline constexpr size_t kJamSubfieldHeaderSize = 8;
inline constexpr size_t kJamIndexRecordSize = 8;

// The base header as it stands on disk; the reserved bytes of an existing
// base are carried over untouched.
using JamBaseHeader = std::array<unsigned char, kJamBaseHeaderSize>;

// Offsets of the base header's fields.
inline constexpr size_t kJamSignatureAt = 0;
inline constexpr size_t kJamDateCreatedAt = 4;
inline constexpr size_t kJamModCounterAt = 8;
inline constexpr size_t kJamActiveMsgsAt = 12;
inline constexpr size_t kJamPasswordCrcAt = 16;
inline constexpr size_t kJamBaseMsgNumAt = 20;

uint32_t GetJamField(const JamBaseHeader& header, size_t offset);
void SetJamField(JamBaseHeader& header, size_t offset, uint32_t value);

// JAM dates count seconds since 1970 in local time, with no time-zone
// correction; the leap-year rule holds for 1970 to 2099.
uint32_t JamTime(const platform::LocalTime& t);

// How long a writer waits for a reader's lock on the base before it gives up.
inline constexpr int kJamLockWaitMilliseconds = 5000;

// Opens the base at `base_path` (a path without extension), or creates it,
// and returns its ".jhr" file with byte 0 locked and `header` read from it;
// nullptr (logged) when it can be neither opened nor created, or when a
// reader keeps it locked.
platform::FilePtr OpenJamBase(platform::Env& env, Log& log, const std::string& base_path,
                              JamBaseHeader& header);

// Appends one local echomail message with its text, index record and the
// five subfields; false (logged) when the message could not be written whole.
// Its MSGID takes the next of `serials`.
bool AppendJamMessage(platform::Env& env, Log& log, Serials& serials, const std::string& base_path,
                      platform::File& jhr, JamBaseHeader& header, std::string_view text,
                      const std::string& sender_address, const std::string& sender_name,
                      const std::string& recipient_name, const std::string& subject);

// Writes the base header back, releases the lock and closes the ".jhr" file;
// false when the header could not be written.
bool CloseJamBase(Log& log, platform::File& jhr, const JamBaseHeader& header);
