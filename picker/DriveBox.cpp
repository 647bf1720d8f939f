// The folder picker's drive box: the drives a folder can be chosen on, and
// the switch of the directory list to another drive.
#include <windows.h>
// After windows.h, which it needs.
#include <winnetwk.h>

#include <cwctype>

#include "picker/BrowseFolder.h"
#include "picker/Pictures.h"
#include "picker/PickerParts.h"
#include "platform/Platform.h"

namespace picker {

namespace {

std::wstring VolumeLabel(wchar_t letter) {
  QuietDrives quiet;
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(Root(letter).c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                             nullptr, 0))
    return {};
  return label;
}

}  // namespace

std::wstring DriveText(wchar_t letter, UINT type) {
  std::wstring text{static_cast<wchar_t>(std::towlower(letter)), L':'};
  switch (type) {
    case DRIVE_FIXED:
    case DRIVE_CDROM:
    case DRIVE_RAMDISK:
      text += L" [" + Lower(VolumeLabel(letter)) + L"]";
      break;
    case DRIVE_REMOTE: {
      const wchar_t local[] = {letter, L':', 0};
      wchar_t remote[MAX_PATH + 1] = {};
      DWORD size = MAX_PATH + 1;
      if (WNetGetConnectionW(local, remote, &size) == NO_ERROR && remote[0])
        text += L" " + Lower(remote);
      else
        text += L" [" + Lower(VolumeLabel(letter)) + L"]";
      break;
    }
    default:  // removable: reading a label would spin the drive up
      break;
  }
  return text;
}

void TfrmBrowseFldr::FitDriveBox() {
  // The field's frame differs between systems: its item height is tuned
  // until the closed box is 19 pixels (at 96 DPI) high.
  const int want = Scale(19);
  for (int field = Scale(13), tries = 0; tries < 3; ++tries) {
    SendMessageW(cmbDrive, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    RECT box;
    GetWindowRect(cmbDrive, &box);
    if (box.bottom - box.top == want) break;
    field += want - (box.bottom - box.top);
  }
  SendMessageW(cmbDrive, CB_SETITEMHEIGHT, 0, Scale(kItemHeight));
}

void TfrmBrowseFldr::FillDrives() {
  drives_.clear();
  SendMessageW(cmbDrive, CB_RESETCONTENT, 0, 0);
  const DWORD present = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(present & (1u << i))) continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + i);
    const UINT type = GetDriveTypeW(Root(letter).c_str());
    if (type != DRIVE_REMOVABLE && type != DRIVE_FIXED && type != DRIVE_REMOTE &&
        type != DRIVE_CDROM && type != DRIVE_RAMDISK)
      continue;
    DriveItem item{letter, type, DriveText(letter, type)};
    SendMessageW(cmbDrive, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.text.c_str()));
    drives_.push_back(std::move(item));
  }
}

wchar_t TfrmBrowseFldr::Drive() const {
  return directory_.empty() ? L'\0' : directory_[0];
}

void TfrmBrowseFldr::ShowDriveOfList() {
  int index = -1;
  for (size_t i = 0; i < drives_.size(); ++i)
    if (drives_[i].letter == Drive()) index = static_cast<int>(i);
  SendMessageW(cmbDrive, CB_SETCURSEL, index, 0);
}

bool TfrmBrowseFldr::SelectDrive(wchar_t letter) {
  letter = static_cast<wchar_t>(std::towupper(letter));
  if (letter == Drive()) return true;
  QuietDrives quiet;
  const std::wstring root = Root(letter);
  if (letter < L'A' || letter > L'Z' || !platform::FolderExists(root)) {
    ShowDriveOfList();
    platform::ShowError(L"Jednotku " + std::wstring{letter, L':'} + L" nelze přečíst");
    return false;
  }
  // The folder that was open on that drive, else the one the system keeps
  // as its current folder, else its root.
  std::wstring target = driveFolders_[letter - L'A'];
  if (target.empty() || !platform::FolderExists(target)) {
    const std::wstring drive{letter, L':'};
    wchar_t buffer[MAX_PATH * 2];
    const DWORD n = GetFullPathNameW(drive.c_str(), MAX_PATH * 2, buffer, nullptr);
    target = n > 0 && n < MAX_PATH * 2 ? std::wstring(buffer, n) : root;
    if (!platform::FolderExists(target)) target = root;
  }
  if (Open(target, true)) return true;
  ShowDriveOfList();
  return false;
}

void TfrmBrowseFldr::DrawDriveItem(const DRAWITEMSTRUCT& item) {
  if (item.itemID >= drives_.size()) {
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    return;
  }
  const DriveItem& d = drives_[item.itemID];
  DrawLine(item, item.rcItem.left + 2, d.text,
           [type = d.type](HDC dc, int x, int y) { DrawDrivePicture(dc, x, y, type); });
}

}  // namespace picker
