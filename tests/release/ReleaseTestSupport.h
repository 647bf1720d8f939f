// Where the release tests find the built program and the sources, as Wine
// sees the build's Linux paths (drive Z:).
#pragma once

#include <string>

#include "tests/support/TestUtil.h"

namespace releasetest {

inline std::wstring SourcePath(const std::wstring& relative) {
  return testutil::FromBuild(SV_SOURCE_DIR) + L"\\" + relative;
}

}  // namespace releasetest
