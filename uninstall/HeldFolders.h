// Ground the uninstaller holds: every folder is opened from the volume root
// one name at a time, relative to the folder above it, never through a link
// (junction or symbolic link), and held open until the folder is removed or
// the object goes. A path once opened is never resolved again: files are
// opened and removed relative to their held folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>

#include "platform/Handles.h"

namespace uninstall {

enum class Outcome {
  Removed,
  Missing,  // nothing of that name is there (or the folder above is gone)
  Kept,     // there, but changed, not empty, a link, behind a link or in use
};

class HeldFolders {
 public:
  // Removes the file when it holds exactly `size` bytes whose CRC-32 is `crc`.
  Outcome RemoveFile(const std::wstring& path, uint64_t size, uint32_t crc);
  // Removes the folder when it is empty.
  Outcome RemoveFolder(const std::wstring& path);

 private:
  struct Held {
    platform::UniqueFile handle;        // the folder, when it could be held
    Outcome absent = Outcome::Missing;  // else why not: Missing or Kept
  };
  // The folder, held open when it can be.
  Held& Folder(const std::wstring& path);

  std::map<std::wstring, Held> held_;  // by upper-case path
};

}  // namespace uninstall
