// What a run wrote, on the disk before its journal says so: the data of a
// file, everything below a folder, and the folder's own entries.
#pragma once

#include <string>

#include "platform/HeldFolder.h"

namespace install {

// The held folder's own entries (the names it holds) written through.
// A file system that cannot flush a folder's entries on request (it keeps
// them written through itself) counts as flushed.
bool FlushFolder(const platform::HeldFolder& folder);
// The entry `name` of the folder: a file's data, or a folder's files and
// subfolders whole (the folder it is in is the caller's, once).
bool FlushEntry(const platform::HeldFolder& folder, const std::wstring& name, bool isFolder);

}  // namespace install
