#include "picker/BrowseFolder.h"

#include <algorithm>
#include <cwctype>
#include <functional>

#include "picker/PickerParts.h"
#include "picker/Pictures.h"
#include "platform/Access.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace picker {

std::unique_ptr<TfrmBrowseFldr> frmBrowseFldr;

namespace {

const int kClientWidth = 333;
const int kClientHeight = 277;

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
  if (path.empty()) throw platform::SetupError(L"Unable to create directory");
  // Each level made relative to the one above, with the list the run gives
  // a level above its folders: only administrators may change it, so that
  // the run does not refuse it, as it would one that took the list of C:\.
  const platform::FolderAccess access(platform::FolderUse::Application);
  platform::HeldFolder::Open(path, true, nullptr, access.Descriptor());
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

}  // namespace picker
