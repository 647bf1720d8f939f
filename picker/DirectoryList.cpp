// The folder picker's directory list: the chain of folders down to the open
// one and its sub-folders, as the drive's file system spells them.
#include <algorithm>
#include <cwctype>

#include "picker/BrowseFolder.h"
#include "picker/Pictures.h"
#include "picker/PickerParts.h"
#include "platform/Platform.h"

namespace picker {

namespace {

// Whether the drive's file system keeps the case of names; when it cannot
// be asked, names are shown as stored.
bool KeepsCase(wchar_t letter) {
  QuietDrives quiet;
  DWORD flags = 0;
  if (!GetVolumeInformationW(Root(letter).c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr,
                             0))
    return true;
  return (flags & FS_CASE_IS_PRESERVED) != 0;
}

// The absolute form of a folder path on a lettered drive: upper-case letter,
// no trailing "\" except at the root, each name as stored. Empty for paths
// the list cannot show (UNC and device paths).
std::wstring FullFolderPath(const std::wstring& path) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH * 2, buffer, nullptr);
  if (n == 0 || n >= MAX_PATH * 2) return {};
  std::wstring full(buffer, n);
  if (full.size() < 3 || !std::iswalpha(full[0]) || full[1] != L':' || full[2] != L'\\') return {};
  full[0] = static_cast<wchar_t>(std::towupper(full[0]));
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();

  std::wstring out = full.substr(0, 3);
  size_t pos = 3;
  while (pos < full.size()) {
    size_t end = full.find(L'\\', pos);
    if (end == std::wstring::npos) end = full.size();
    std::wstring name = full.substr(pos, end - pos);
    if (!name.empty()) {
      const std::wstring parent = out.back() == L'\\' ? out : out + L"\\";
      if (name.find_first_of(L"*?") == std::wstring::npos) {
        WIN32_FIND_DATAW data;
        if (platform::UniqueFind find(FindFirstFileW((parent + name).c_str(), &data)); find)
          name = data.cFileName;
      }
      out = parent + name;
    }
    pos = end + 1;
  }
  return out;
}

bool NameLess(const std::wstring& a, const std::wstring& b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                        b.c_str(), static_cast<int>(b.size())) == CSTR_LESS_THAN;
}

}  // namespace

bool TfrmBrowseFldr::OpenDirectory(const std::wstring& path) {
  return Open(path, true);
}

bool TfrmBrowseFldr::Open(const std::wstring& path, bool report) {
  QuietDrives quiet;
  const std::wstring folder = FullFolderPath(path);
  if (folder.empty() || !platform::FolderExists(folder)) {
    if (report) platform::ShowError(L"Složku " + path + L" nelze otevřít");
    return false;
  }
  std::vector<std::wstring> subFolders;
  {
    // A root is listed as "C:" + "\*.*".
    platform::FolderListing listing(folder.size() == 3 ? folder.substr(0, 2) : folder);
    if (!listing.Started() && listing.StartResult() != ERROR_FILE_NOT_FOUND &&
        listing.StartResult() != ERROR_NO_MORE_FILES) {
      if (report) platform::ShowError(L"Složku " + folder + L" nelze přečíst");
      return false;
    }
    platform::DirEntry entry;
    while (listing.Next(entry)) {
      if (!entry.IsFolder() || entry.name == L"." || entry.name == L"..") continue;
      if (entry.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
      subFolders.push_back(entry.name);
    }
  }
  std::sort(subFolders.begin(), subFolders.end(), NameLess);
  Rebuild(folder, subFolders, KeepsCase(folder[0]));
  return true;
}

void TfrmBrowseFldr::Rebuild(const std::wstring& folder,
                             const std::vector<std::wstring>& subFolders, bool keepCase) {
  auto shown = [keepCase](const std::wstring& name) { return keepCase ? name : Lower(name); };
  directory_ = folder;
  items_.clear();
  items_.push_back({DirItem::Chain, 0, folder.substr(0, 3), folder.substr(0, 3)});
  size_t pos = 3;
  while (pos < folder.size()) {
    size_t end = folder.find(L'\\', pos);
    if (end == std::wstring::npos) end = folder.size();
    items_.push_back({DirItem::Chain, static_cast<int>(items_.size()),
                      shown(folder.substr(pos, end - pos)), folder.substr(0, end)});
    pos = end + 1;
  }
  const int open = static_cast<int>(items_.size()) - 1;
  items_[open].kind = DirItem::Open;
  const std::wstring parent = folder.back() == L'\\' ? folder : folder + L"\\";
  for (const auto& name : subFolders)
    items_.push_back({DirItem::Sub, open + 1, shown(name), parent + name});

  SendMessageW(lbDir, WM_SETREDRAW, FALSE, 0);
  SendMessageW(lbDir, LB_RESETCONTENT, 0, 0);
  for (const auto& item : items_)
    SendMessageW(lbDir, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.name.c_str()));
  SendMessageW(lbDir, LB_SETCURSEL, open, 0);
  SendMessageW(lbDir, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(lbDir, nullptr, TRUE);

  driveFolders_[folder[0] - L'A'] = folder;
  ShowDriveOfList();
}

std::wstring TfrmBrowseFldr::ItemPath(int index) const {
  if (index < 0 || index >= static_cast<int>(items_.size())) return {};
  return items_[index].path;
}

void TfrmBrowseFldr::DrawListItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID >= items_.size()) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
    return;
  }
  const DirItem& d = items_[item.itemID];
  const FolderPicture picture = d.kind == DirItem::Sub    ? FolderPicture::Closed
                                : d.kind == DirItem::Open ? FolderPicture::Current
                                                          : FolderPicture::Opened;
  DrawLine(item, item.rcItem.left + Scale(2 + d.level * kIndent), d.name,
           [picture](HDC dc, int x, int y) { DrawFolderPicture(dc, x, y, picture); });
}

}  // namespace picker
