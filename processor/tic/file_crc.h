// The CRC-32 that TIC files carry in their Crc line: the one of zip and PNG
// (IEEE 802.3, reflected polynomial 0xEDB88320).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

// Continues a CRC over `size` more bytes. Start with 0xFFFFFFFF and
// complement the end result; Crc32Of does both.
uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t size);
uint32_t Crc32Of(const std::string& bytes);

// The CRC-32 of a file's contents; 0 when the file cannot be opened.
uint32_t FileCrc32(platform::Env& env, const std::string& path);
