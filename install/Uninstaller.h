// The uninstaller program, carried inside the installer as a resource and
// written into the application folder with the application's own files.
#pragma once

// Resource id of the uninstaller program (RCDATA).
#define IDR_UNINSTALLER 301

#ifndef RC_INVOKED
#include "install/InstallRecord.h"
#include "platform/HeldFolder.h"

namespace install {

// Writes the uninstaller into the held application folder and returns its
// path, size and checksum; raises SetupError when the program carries none
// or it cannot be written. An uninstaller already there is replaced only by
// a complete one.
RecordedFile WriteUninstaller(const platform::HeldFolder& appFolder);

}  // namespace install
#endif
