// The removal of one installation, exactly as its record names it.
#pragma once

#include <string>
#include <vector>

#include "install/InstallRecord.h"

namespace uninstall {

// Removes the unchanged files, the registry values, the keys and folders
// the installation made when they are left empty, then the product's entry
// in the list of installed apps, then the uninstaller itself (which must
// have ended when it ran from there) and the folders it leaves empty.
// Returns what was kept: files changed since, and folders that still hold
// something. Nothing is removed through a link.
std::vector<std::wstring> RemoveInstallation(const install::InstallRecord& record);

}  // namespace uninstall
