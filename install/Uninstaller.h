// The uninstaller program, carried inside the installer as a resource and
// written into the application folder with the application's own files.
#pragma once

// Resource id of the uninstaller program (RCDATA).
#define IDR_UNINSTALLER 301

#ifndef RC_INVOKED
#include <string>

namespace install {

// Writes the uninstaller into the folder and returns its path; raises
// SetupError when the program carries none or it cannot be written.
std::wstring WriteUninstaller(const std::wstring& appFolder);

}  // namespace install
#endif
