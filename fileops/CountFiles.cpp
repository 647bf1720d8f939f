#include "fileops/FileOps.h"
#include "platform/HeldFolder.h"
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

// Through the held folder, each level below opened relative to it: a tree
// deeper than 260 characters counts whole.
int CountHeld(WorkContext& ctx, const platform::HeldFolder& folder) {
  int count = 0;
  for (const platform::DirEntry& entry : folder.List()) {
    ctx.ProcessMessages();
    if (ctx.StopRequested()) return count;
    if (entry.IsLink()) continue;  // CopyDir skips it too
    if (!entry.IsFolder()) {
      ++count;
    } else if (!SkippedFolder(ctx, entry.name)) {
      if (const platform::HeldFolder inner = folder.Child(entry.name))
        count += CountHeld(ctx, inner);
    }
  }
  return count;
}

}  // namespace

int CountFiles(WorkContext& ctx, const std::wstring& folder) {
  const platform::HeldFolder held = platform::HeldFolder::Open(folder);
  return held ? CountHeld(ctx, held) : 0;
}

}  // namespace fileops
