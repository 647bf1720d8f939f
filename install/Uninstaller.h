// The uninstaller program, carried inside the installer as a resource and
// written into the application folder with the application's own files.
#pragma once

// Resource id of the uninstaller program (RCDATA).
#define IDR_UNINSTALLER 301

#ifndef RC_INVOKED
#include "install/InstallRecord.h"
#include "platform/HeldFolder.h"

namespace install {

// Writes the uninstaller, complete, into the held application folder under
// a new name that begins with prefix (temp receives it; the commit gives it
// its own), and returns its path, size and checksum there once committed;
// raises SetupError when the program carries none or it cannot be written.
RecordedFile WriteUninstaller(const platform::HeldFolder& appFolder, const std::wstring& prefix,
                              std::wstring& temp);

}  // namespace install
#endif
