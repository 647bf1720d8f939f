#include "fileops/FileOps.h"
#include "platform/Platform.h"

namespace fileops {

namespace {

bool SkippedFolder(WorkContext& ctx, const std::wstring& name) {
  if (name.empty() || name[0] == L'.') return true;
  // Only a-z are upper-cased: "Příklady" must not match "PRIKLADY".
  const std::wstring upper = platform::AsciiUpper(name);
  if (upper == L"UTILITY" || upper == L"NAVOD") return true;
  // The check boxes are read each time: the user may change them meanwhile.
  if (upper == L"VZORY" && ctx.LeaveVzoryOnCd()) return true;
  if (upper == L"PRIKLADY" && ctx.LeavePrikladyOnCd()) return true;
  return false;
}

}  // namespace

int CountFiles(WorkContext& ctx, const std::wstring& folder) {
  platform::FolderListing listing(folder);
  if (!listing.Started()) return 0;
  int count = 0;
  platform::DirEntry entry;
  while (listing.Next(entry)) {
    ctx.ProcessMessages();
    if (ctx.StopRequested()) return count;
    if (entry.IsLink()) continue;  // CopyDir skips it too
    if (entry.IsFolder()) {
      if (!SkippedFolder(ctx, entry.name)) count += CountFiles(ctx, folder + L"\\" + entry.name);
    } else {
      ++count;
    }
  }
  return count;
}

}  // namespace fileops
