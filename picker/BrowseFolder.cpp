#include "picker/BrowseFolder.h"

#include <winnetwk.h>

#include <algorithm>
#include <cwctype>
#include <functional>

#include "picker/Pictures.h"
#include "platform/Platform.h"

namespace picker {

std::unique_ptr<TfrmBrowseFldr> frmBrowseFldr;

namespace {

const int kClientWidth = 333;
const int kClientHeight = 277;
const int kItemHeight = 16;
const int kIndent = 10;  // per level of the directory list
const int kPicture = 16;

// No "insert a disk" prompt while a drive is probed.
class QuietDrives {
 public:
  QuietDrives() : old_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~QuietDrives() { SetErrorMode(old_); }
  QuietDrives(const QuietDrives&) = delete;
  QuietDrives& operator=(const QuietDrives&) = delete;

 private:
  UINT old_;
};

std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

std::wstring Root(wchar_t letter) {
  return {letter, L':', L'\\'};
}

std::wstring VolumeLabel(wchar_t letter) {
  QuietDrives quiet;
  wchar_t label[MAX_PATH + 1] = {};
  if (!GetVolumeInformationW(Root(letter).c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr,
                             nullptr, 0))
    return {};
  return label;
}

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

// 8 points at the window's DPI.
platform::UniqueFont MakeFont(int weight, UINT dpi) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(8, static_cast<int>(dpi), 72);
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  wcscpy_s(lf.lfFaceName, L"MS Sans Serif");
  return platform::UniqueFont(CreateFontIndirectW(&lf));
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

TfrmBrowseFldr::TfrmBrowseFldr() {
  CreateFrame({kBrowseFldrClass, 0},
              {kBrowseFldrCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS,
               WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT, kClientWidth, kClientHeight,
               platform::MainWindow()},
              L"Nelze vytvořit okno výběru složky");
  try {
    font_ = MakeFont(FW_NORMAL, Dpi());
    boldFont_ = MakeFont(FW_BOLD, Dpi());
    SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    CreateControls();
    FillDrives();
    // The list starts on the program's current folder, or its drive's root.
    const std::wstring current = platform::CurrentDir();
    if (!Open(current, false) && current.size() >= 2) Open(current.substr(0, 2) + L"\\", false);
    FormCreate(Handle());
  } catch (...) {
    DestroyFrame();
    throw;
  }
}

TfrmBrowseFldr::~TfrmBrowseFldr() {
  DestroyFrame();
}

namespace {

// Places at 96 DPI, in the order the controls are made.
struct Placement {
  int id;
  int x, y, w, h;
};
// clang-format off
constexpr Placement kPlaces[] = {
    {idLblCaption, 1,   8,   330, 13},
    {idLbDir,      1,   72,  249, 177},
    {idLblDrive,   1,   256, 0,   0},
    {idCmbDrive,   1,   256, 249, 19 + 8 * kItemHeight},
    {idPbOk,       257, 48,  75,  25},
    {idPbCancel,   257, 80,  75,  25},
    {idLabel1,     1,   32,  60,  13},
    {idTxtPath,    1,   48,  249, 21},
};
// clang-format on

const Placement& PlaceOf(int id) {
  for (const Placement& p : kPlaces)
    if (p.id == id) return p;
  return kPlaces[0];
}

}  // namespace

HFONT TfrmBrowseFldr::FontOf(int id) const {
  return (id == idLblCaption ? boldFont_ : font_).get();
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

void TfrmBrowseFldr::OnDpiChanged() {
  // The old fonts go once no child uses them.
  const platform::UniqueFont oldFont = std::move(font_), oldBold = std::move(boldFont_);
  font_ = MakeFont(FW_NORMAL, Dpi());
  boldFont_ = MakeFont(FW_BOLD, Dpi());
  SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  for (HWND child = GetWindow(Handle(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const Placement& p = PlaceOf(GetDlgCtrlID(child));
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(p.id)), FALSE);
    SetWindowPos(child, nullptr, Scale(p.x), Scale(p.y), Scale(p.w), Scale(p.h),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  SendMessageW(lbDir, LB_SETITEMHEIGHT, 0, Scale(kItemHeight));
  FitDriveBox();
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TfrmBrowseFldr::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  // Each control at its place in kPlaces, in the window's DPI.
  auto make = [&](DWORD exStyle, const wchar_t* cls, const wchar_t* text, DWORD style, int id) {
    const Placement& p = PlaceOf(id);
    HWND child = CreateWindowExW(
        exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, Scale(p.x), Scale(p.y), Scale(p.w),
        Scale(p.h), Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!child) throw platform::SetupError(L"Nelze vytvořit okno výběru složky");
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(id)), FALSE);
    return child;
  };
  // Creation order is the tab order: the list first, the path field last.
  // "Složka:" stands right before its field so that screen readers name it.
  lblCaption = make(0, L"STATIC", L"", SS_LEFT | SS_NOPREFIX, idLblCaption);
  lbDir = make(WS_EX_CLIENTEDGE, L"LISTBOX", L"",
               WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                   LBS_NOINTEGRALHEIGHT,
               idLbDir);
  // The drive box's name for screen readers: a label of no size right
  // before it, so the look stays as it is.
  make(0, L"STATIC", L"Jednotka:", SS_LEFT | SS_NOPREFIX, idLblDrive);
  cmbDrive = make(0, L"COMBOBOX", L"",
                  WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS,
                  idCmbDrive);
  FitDriveBox();
  pbOk = make(0, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, idPbOk);
  pbCancel = make(0, L"BUTTON", L"Storno", WS_TABSTOP | BS_PUSHBUTTON, idPbCancel);
  Label1 = make(0, L"STATIC", L"Složka:", SS_LEFT, idLabel1);
  txtPath = make(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, idTxtPath);
  RememberFocus(lbDir);
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

// ------------------------------------------------------------ directory list

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

// ---------------------------------------------------------------- drive box

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

// ------------------------------------------------------------------ handlers

void TfrmBrowseFldr::FormCreate(HWND) {
  SelectedDir.clear();
  SetWindowTextW(lblCaption, L"");
  SendMessageW(lbDir, LB_SETCURSEL, 0, 0);
}

void TfrmBrowseFldr::FormShow(HWND) {
  // Opens the folders named up to the last "\"; the name after it is never
  // opened, and the walk stops at the first prefix that does not exist.
  if (!SelectedDir.empty()) {
    std::wstring prefix;
    size_t found = SelectedDir.find(L'\\');
    while (found != std::wstring::npos) {
      prefix += SelectedDir.substr(0, found + 1);
      if (!platform::FolderExists(prefix) || !OpenDirectory(prefix)) break;
      SelectedDir.erase(0, found + 1);
      found = SelectedDir.find(L'\\');
    }
  }
  lbDirClick(lbDir);
}

void TfrmBrowseFldr::lbDirClick(HWND) {
  const int index = static_cast<int>(SendMessageW(lbDir, LB_GETCURSEL, 0, 0));
  if (index >= 0) SetWindowTextW(txtPath, ItemPath(index).c_str());
}

void TfrmBrowseFldr::lbDirDblClick(HWND) {
  const int index = static_cast<int>(SendMessageW(lbDir, LB_GETCURSEL, 0, 0));
  if (index >= 0) OpenDirectory(ItemPath(index));
}

void TfrmBrowseFldr::pbOkClick(HWND) {
  const std::wstring path = platform::WindowText(txtPath);
  if (platform::FolderExists(path)) {
    SelectedDir = path;
    ModalResult = 1;
    return;
  }
  const std::wstring question = L"Složka \r\r" + path + L"\r\rneexistuje! Chcete ji vytvořit?";
  if (platform::ShowMessageBox(question, kBrowseFldrCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
    return;
  // An empty path raises here and the dialog stays open. Any other outcome
  // counts as accepted: the installation reports a folder it cannot make.
  platform::ForceDirectories(path);
  SelectedDir = path;
  ModalResult = 1;
}

void TfrmBrowseFldr::cmbDriveChange(HWND) {
  const int index = static_cast<int>(SendMessageW(cmbDrive, CB_GETCURSEL, 0, 0));
  if (index >= 0 && index < static_cast<int>(drives_.size()) && drives_[index].letter != Drive())
    SelectDrive(drives_[index].letter);
}

// ------------------------------------------------------------- modal showing

int TfrmBrowseFldr::ShowModal() {
  ModalResult = 0;
  HWND owner = platform::MainWindow();
  if (owner && !IsWindow(owner)) owner = nullptr;
  SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  const bool disableOwner = owner && IsWindowEnabled(owner);
  if (disableOwner) EnableWindow(owner, FALSE);

  platform::RunHandler([this] { FormShow(Handle()); });

  // Centred on the screen's work area.
  RECT work, frame;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(Handle(), &frame);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - w) / 2,
               work.top + (work.bottom - work.top - h) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RememberFocus(lbDir);
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  SetFocus(lbDir);

  MSG msg;
  while (ModalResult == 0 && Handle() && !platform::Terminated()) {
    if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
      platform::Terminate();  // WM_QUIT: the program is ending
      break;
    }
    platform::DispatchOne(msg);
  }
  if (ModalResult == 0) ModalResult = 2;

  // The owner is enabled before the dialog hides, so that it gets the
  // activation back.
  if (disableOwner) EnableWindow(owner, TRUE);
  if (Handle()) ShowWindow(Handle(), SW_HIDE);
  if (owner && IsWindowVisible(owner)) SetActiveWindow(owner);
  return ModalResult;
}

// ------------------------------------------------------------------ messages

LRESULT TfrmBrowseFldr::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
      return 0;
    case WM_CLOSE:
      ModalResult = 2;  // the caller hides and destroys the dialog
      return 0;
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      measure->itemHeight = static_cast<UINT>(Scale(
          measure->CtlID == idCmbDrive && measure->itemID == static_cast<UINT>(-1) ? 13
                                                                                   : kItemHeight));
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlID == idLbDir) DrawListItem(*item);
      if (item->CtlID == idCmbDrive) DrawDriveItem(*item);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    default:
      return Default(message, wParam, lParam);
  }
}

void TfrmBrowseFldr::OnCommand(int id, int code, HWND sender) {
  if (id == idPbOk && code == BN_CLICKED) {
    pbOkClick(sender);
  } else if (id == idPbCancel && code == BN_CLICKED) {
    ModalResult = 2;
  } else if (id == idLbDir && code == LBN_SELCHANGE) {
    lbDirClick(sender);
  } else if (id == idLbDir && code == LBN_DBLCLK) {
    lbDirDblClick(sender);
  } else if (id == idCmbDrive &&
             (code == CBN_CLOSEUP ||
              (code == CBN_SELCHANGE && !SendMessageW(cmbDrive, CB_GETDROPPEDSTATE, 0, 0)))) {
    // While the list is dropped down the choice is taken when it closes.
    cmbDriveChange(sender);
  }
}

// ------------------------------------------------------------------ painting

namespace {

// Picture and text of one owner-drawn line; the selection marks the text.
void DrawLine(const DRAWITEMSTRUCT& item, int x, const std::wstring& text,
              const std::function<void(HDC, int, int)>& picture) {
  HDC dc = item.hDC;
  const RECT& r = item.rcItem;
  FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
  picture(dc, x, r.top + (r.bottom - r.top - kPicture) / 2);
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  RECT t{x + kPicture + 2, r.top, std::min<LONG>(x + kPicture + 6 + extent.cx, r.right), r.bottom};
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  if (selected) FillRect(dc, &t, GetSysColorBrush(COLOR_HIGHLIGHT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT textRect{t.left + 2, t.top, t.right, t.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  if ((item.itemState & ODS_FOCUS) && !(item.itemState & ODS_NOFOCUSRECT)) DrawFocusRect(dc, &t);
}

}  // namespace

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
