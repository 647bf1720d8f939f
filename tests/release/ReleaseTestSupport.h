// Where the release tests find the built program and the sources, as Wine
// sees the build's Linux paths (drive Z:).
#pragma once

#include <string>

#include "platform/Platform.h"

namespace releasetest {

inline std::wstring FromLinux(const char* path) {
  std::wstring windows = L"Z:" + platform::Wide(path);
  for (wchar_t& c : windows)
    if (c == L'/') c = L'\\';
  return windows;
}

inline std::wstring ProgramPath() {
  return FromLinux(SV_SETUP_EXE);
}

inline std::wstring SourcePath(const std::wstring& relative) {
  return FromLinux(SV_SOURCE_DIR) + L"\\" + relative;
}

}  // namespace releasetest
