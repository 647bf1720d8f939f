// The one CRC-32 of the program (the ZIP archive's, which the record of an
// installation keeps too): of bytes in memory and of what an open file holds.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace platform {

// The CRC-32 of `size` bytes, continuing one taken so far (0 to begin).
uint32_t Crc32(const void* bytes, size_t size, uint32_t crc = 0);

// How many bytes an open file holds from where it is read now to its end,
// and their CRC-32. False when it cannot be read, or when it holds more than
// `most` bytes (it is then read no further).
bool ReadContentFacts(HANDLE file, uint64_t& size, uint32_t& crc, uint64_t most = UINT64_MAX);

// Whether an open file holds, from where it is read now, exactly `size`
// bytes whose CRC-32 is `crc`.
bool HoldsContent(HANDLE file, uint64_t size, uint32_t crc);

}  // namespace platform
