#include "platform/HeldGround.h"

#include "platform/Access.h"
#include "platform/Platform.h"

namespace platform {

namespace {

// The folder's path and the last name; false for a drive's root or a path
// that is not a plain full one on a drive.
bool SplitLast(const std::wstring& path, std::wstring& parent, std::wstring& name) {
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && trimmed.back() == L'\\') trimmed.pop_back();
  const size_t slash = trimmed.find_last_of(L'\\');
  if (trimmed.size() < 4 || trimmed[1] != L':' || slash == std::wstring::npos || slash < 2)
    return false;
  name = trimmed.substr(slash + 1);
  parent = trimmed.substr(0, slash);
  // "C:\\x" (a drive root kept its "\" before one was added) is C:\x.
  while (parent.size() > 2 && parent.back() == L'\\') parent.pop_back();
  return !name.empty() && name != L"." && name != L"..";
}

// A link met on the way, followed only as the installation was: when it
// and the folder holding it are controlled by trusted accounts alone
// (JudgeLink), so that what the record names through it is what was
// installed. Any other link is never entered.
HeldFolder FollowSoundLink(const HeldFolder& above, const std::wstring& name, bool aboveIsRoot) {
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const std::wstring at = above.Path() + L'\\' + name;
  const UniqueFile holder(CreateFileW(above.Path().c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                      kShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                      nullptr));
  const UniqueFile link(
      CreateFileW(at.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES, kShare, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  // The holder judged is the one held, not another put under its path.
  if (!holder || !link || !(IdentityOf(holder.get()) == above.Identity()) ||
      !Acceptable(JudgeLink(link.get(), holder.get(), aboveIsRoot))) {
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return {};
  }
  return HeldFolder::Open(at);
}

}  // namespace

bool HeldGround::Made(const std::wstring& path) const {
  const std::wstring key = AsciiUpper(path);
  for (const std::wstring& folder : made_) {
    const std::wstring made = AsciiUpper(folder);
    if (key == made || key.starts_with(made + L"\\")) return true;
  }
  return false;
}

HeldGround::Held& HeldGround::Folder(const std::wstring& path) {
  const std::wstring key = AsciiUpper(path);
  if (auto found = held_.find(key); found != held_.end()) return found->second;
  Held held;
  std::wstring parent, name;
  if (path.size() == 2 && path[1] == L':') {
    // The volume's root, where every walk starts.
    held.folder = HeldFolder::Open(path + L"\\");
  } else if (!SplitLast(path, parent, name)) {
    held.absent = Removal::Kept;
  } else if (const Held& above = Folder(parent); !above.folder) {
    held.absent = above.absent;
  } else {
    held.folder = above.folder.Pass(name);
    if (!held.folder && GetLastError() == ERROR_CANT_ACCESS_FILE && !Made(path))
      held.folder = FollowSoundLink(above.folder, name, parent.size() == 2);
    if (!held.folder)
      held.absent = GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND
                        ? Removal::Missing
                        : Removal::Kept;  // a link is never entered, whatever it leads to
  }
  return held_.emplace(key, std::move(held)).first->second;
}

HeldGround::Removal HeldGround::RemoveFile(const std::wstring& path, uint64_t size, uint32_t crc) {
  std::wstring parent, name;
  if (!SplitLast(path, parent, name)) return Removal::Kept;
  const Held& folder = Folder(parent);
  if (!folder.folder) return folder.absent;
  return folder.folder.RemoveIfHolds(name, size, crc);
}

HeldGround::Removal HeldGround::RemoveFolder(const std::wstring& path) {
  std::wstring parent, name;
  if (!SplitLast(path, parent, name)) return Removal::Kept;
  Held& folder = Folder(path);
  if (!folder.folder) return folder.absent;
  // What is held below it is done with; its handles would keep it.
  const std::wstring prefix = AsciiUpper(path) + L"\\";
  std::erase_if(held_, [&](const auto& item) { return item.first.starts_with(prefix); });
  const bool gone = folder.folder.RemoveSelf();
  folder.folder.Release();
  folder.absent = Removal::Kept;
  // Looked for again through the folder above, still held: a file system
  // may take the removal and keep a folder that is not empty.
  if (!gone || Folder(parent).folder.AttributesOf(name) != INVALID_FILE_ATTRIBUTES)
    return Removal::Kept;
  folder.absent = Removal::Missing;
  return Removal::Removed;
}

}  // namespace platform
