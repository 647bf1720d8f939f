// The file work of the installation: removal, counting, copying, unpacking.
#pragma once

#include <string>

#include "fileops/WorkContext.h"

namespace fileops {

// Removes Path with everything in it, depth first; folders whose names begin
// with "." are left alone. Silent: every failure is ignored.
void DeleteDir(const std::wstring& path);

}  // namespace fileops
