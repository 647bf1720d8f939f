#include "fileops/FileOps.h"
#include "platform/Platform.h"

namespace fileops {

void DeleteDir(const std::wstring& path) {
  {
    platform::FolderListing listing(path);
    platform::DirEntry entry;
    while (listing.Next(entry)) {
      if (entry.IsLink()) {
        // Only the link itself goes; what it points to is not this folder's.
        if (entry.IsFolder())
          platform::RemoveFolder(path + L"\\" + entry.name);
        else
          platform::DeleteFileAt(path + L"\\" + entry.name);
      } else if (entry.IsFolder()) {
        if (entry.name[0] != L'.') DeleteDir(path + L"\\" + entry.name);
      } else {
        platform::DeleteFileAt(path + L"\\" + entry.name);
      }
    }
  }  // the search handle is closed before the folder itself goes
  platform::RemoveFolder(path);
}

}  // namespace fileops
