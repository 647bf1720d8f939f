// The SHA-256 of an installation archive, read through the handle that the
// unpacking then reads the archive through.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>

namespace fileops {

using ArchiveDigest = std::array<uint8_t, 32>;

// The SHA-256 of everything `file` holds, read from its start; nothing when
// it cannot be read. The file position is left at the end.
std::optional<ArchiveDigest> DigestOf(HANDLE file);

}  // namespace fileops
