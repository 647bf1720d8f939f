// The small pictures of the folder picker's lists, drawn in a 16 x 16 cell.
#pragma once

#include <windows.h>

namespace picker {

enum class FolderPicture { Opened, Current, Closed };

void DrawFolderPicture(HDC dc, int x, int y, FolderPicture picture);
// type is a GetDriveType result: removable, fixed, remote, CD-ROM or RAM disk.
void DrawDrivePicture(HDC dc, int x, int y, UINT type);

}  // namespace picker
