// SHA-256 through the processor's SHA instructions, where it has them.
#pragma once

#include <cstddef>

#include "fileops/ArchiveDigest.h"

namespace fileops {

// Whether this processor has the SHA, SSSE3 and SSE4.1 instructions.
bool HasShaInstructions();
// The digest of a run of bytes; only where HasShaInstructions().
ArchiveDigest Sha256Ni(const void* bytes, size_t size);

}  // namespace fileops
