// The least a file costs under this system, beside the installation's own
// move, and the chunk digest's speed.
#pragma once

#include <string>

namespace bench {

// Moves 2,000 empty files between two folders below Folder, three ways;
// prints microseconds per file for each, and the digest's MB/s.
int Floor(const std::wstring& folder);

}  // namespace bench
