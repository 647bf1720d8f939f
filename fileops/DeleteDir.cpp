#include "fileops/FileOps.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

// Everything relative to the held folder: a folder swapped for a link on the
// way is never entered.
void DeleteHeld(platform::HeldFolder& folder) {
  for (const platform::DirEntry& entry : folder.List()) {
    if (entry.IsLink()) {
      // Only the link itself goes; what it points to is not this folder's.
      folder.Remove(entry.name);
    } else if (entry.IsFolder()) {
      if (entry.name[0] == L'.') continue;
      platform::HeldFolder inner = folder.Child(entry.name);
      if (inner) DeleteHeld(inner);
    } else {
      folder.Remove(entry.name);
    }
  }
  folder.RemoveSelf();
}

}  // namespace

void DeleteDir(const std::wstring& path) {
  platform::HeldFolder folder = platform::HeldFolder::Open(path);
  if (folder) DeleteHeld(folder);
}

}  // namespace fileops
