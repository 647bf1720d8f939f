// The wizard window: its making and ending, its messages, the command
// routing and the page book. The controls come from ControlFactory.cpp, the
// named-control access from NamedControls.cpp, what the file work shows
// from WorkOutput.cpp.
#include "wizard/FrmSetup.h"

#include "platform/Platform.h"
#include "wizard/ControlIds.h"

bool AbortRequested = false;
TfrmSetup* frmSetup = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"TfrmSetup";
constexpr int kAppIcon = 1;
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 453;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

// Which handler a control's notification runs. Esc reaches pbCancel's row
// through the window base, while pbCancel can be pressed.
struct CommandRoute {
  int id;
  int code;
  void (TfrmSetup::*handler)();
};

// clang-format off
constexpr CommandRoute kCommands[] = {
    {ids::pbNext,       BN_CLICKED,    &TfrmSetup::pbNextClick},
    {ids::pbPrev,       BN_CLICKED,    &TfrmSetup::pbPrevClick},
    {ids::pbCancel,     BN_CLICKED,    &TfrmSetup::pbCancelClick},
    {ids::pbPrerusit,   BN_CLICKED,    &TfrmSetup::pbPrerusitClick},
    {ids::SpeedButton1, BN_CLICKED,    &TfrmSetup::SpeedButton1Click},
    {ids::SpeedButton2, BN_CLICKED,    &TfrmSetup::SpeedButton2Click},
    {ids::SpeedButton3, BN_CLICKED,    &TfrmSetup::SpeedButton3Click},
    {ids::SpeedButton4, BN_CLICKED,    &TfrmSetup::SpeedButton4Click},
    {ids::cbVzory,      BN_CLICKED,    &TfrmSetup::cbVzoryClick},
    {ids::cbPriklady,   BN_CLICKED,    &TfrmSetup::cbPrikladyClick},
    {ids::lbFolders,    LBN_SELCHANGE, &TfrmSetup::lbFoldersClick},
};
// clang-format on

// The page's heading: the first line a screen reader says of a new page.
bool IsHeading(const TfrmSetup::Item& item) {
  return item.def->style == wizard::Style::PageHeading ||
         item.def->style == wizard::Style::WelcomeHeading;
}

}  // namespace

// ------------------------------------------------------------------ window

TfrmSetup::TfrmSetup(install::Session& session) : session_(session) {
  CreateFrame(
      {kClassName, kAppIcon},
      {L"Instalace aplikace VantorPro", kWindowStyle, 0, kClientWidth, kClientHeight, nullptr},
      L"Cannot create the wizard window");
  try {
    wizard::MakeArtwork(artwork_, Dpi());
    if (!frmSetup) frmSetup = this;
    if (!platform::MainWindow()) platform::SetMainWindow(Handle());
    CreateControls();
    FormCreate();
  } catch (...) {
    TearDown();
    throw;
  }
}

TfrmSetup::~TfrmSetup() {
  TearDown();
}

void TfrmSetup::TearDown() noexcept {
  HWND window = Handle();
  if (window) {
    KillTimer(window, kTimerId);
    KillTimer(window, kFlushTimerId);
    KillTimer(window, kAnnounceTimerId);
  }
  liveRegions_.Clear();
  DestroyFrame();
  if (window && platform::MainWindow() == window) platform::SetMainWindow(nullptr);
  if (frmSetup == this) frmSetup = nullptr;
}

void TfrmSetup::CreateControls() {
  SendMessageW(Handle(), WM_SETFONT,
               reinterpret_cast<WPARAM>(artwork_.Font(wizard::Style::Default)), FALSE);
  tooltip_ = wizard::CreateTooltip(Handle());
  items_ = wizard::CreateControls(Handle(), tooltip_, artwork_);
  const Item& status = *Find(L"lblCopyFile");
  statusLine_.Attach(status.hwnd, status.def->text);
  liveRegions_.Mark(status.hwnd);
  for (const Item& item : items_)
    if (IsHeading(item)) liveRegions_.Mark(item.hwnd);
  shownPage_ = 0;
  ApplyVisibility();
}

void TfrmSetup::OnDpiChanged() {
  wizard::ScaleControls(Handle(), items_, artwork_, Dpi());
  SendMessageW(Handle(), WM_SETFONT,
               reinterpret_cast<WPARAM>(artwork_.Font(wizard::Style::Default)), FALSE);
}

void TfrmSetup::Show() {
  RECT r;
  GetWindowRect(Handle(), &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(Handle(), nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  UpdateWindow(Handle());
  if (!GetFocus() || GetAncestor(GetFocus(), GA_ROOT) != Handle() || GetFocus() == Handle())
    SetFocus(L"pbNext");
}

// ---------------------------------------------------------------- messages

int TfrmSetup::DefaultButtonId() const noexcept {
  return ids::pbNext;
}

int TfrmSetup::CancelButtonId() const noexcept {
  return ids::pbCancel;
}

LRESULT TfrmSetup::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      for (const Item& item : items_)
        if (item.def->id == id) {
          if (HBRUSH brush =
                  wizard::StaticColours(item, reinterpret_cast<HDC>(wp), artwork_, items_))
            return reinterpret_cast<LRESULT>(brush);
          break;
        }
      break;
    }
    case WM_SETCURSOR:
      if (platform::ApplyAppCursor()) return TRUE;
      if (reinterpret_cast<HWND>(wp) == Control(L"pbPrerusit") && LOWORD(lp) == HTCLIENT) {
        SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
        return TRUE;
      }
      break;
    case WM_TIMER:
      if (wp == kTimerId) timSetupTimer();
      if (wp == kFlushTimerId) FlushWork();
      if (wp == kAnnounceTimerId) {
        KillTimer(Handle(), kAnnounceTimerId);
        announceTimerDue_.reset();
        AnnounceStatusIfDue(std::chrono::steady_clock::now());
      }
      return 0;
    default:
      break;
  }
  return Default(msg, wp, lp);
}

void TfrmSetup::OnCommand(int id, int code) {
  for (const CommandRoute& route : kCommands)
    if (route.id == id && route.code == code) {
      (this->*route.handler)();
      return;
    }
}

// ------------------------------------------------------------ page book

const wchar_t* TfrmSetup::PageName(int index) {
  static const wchar_t* const names[kPageCount] = {L"pgUvod",    L"pgUserInfo",  L"pgCesty",
                                                   L"pgNabidka", L"pgStartCopy", L"pgCopyFiles",
                                                   L"pgHotovo"};
  return index >= 0 && index < kPageCount ? names[index] : L"";
}

void TfrmSetup::ShowPage(int index, bool enter) {
  if (index < 0 || index >= kPageCount || index == shownPage_) return;
  shownPage_ = index;
  ApplyVisibility();
  // The focused control may have gone with the old page.
  HWND focus = ::GetFocus();
  if (GetActiveWindow() == Handle() &&
      (!focus || focus == Handle() || !IsWindowVisible(focus) || !IsWindowEnabled(focus)))
    SetFocus(L"pbNext");
  AnnounceHeading();
  if (enter) ntbkSetupPageChanged();
}

void TfrmSetup::AnnounceHeading() {
  for (const Item& item : items_)
    if (item.def->area == shownPage_ && IsHeading(item)) {
      if (!IsWindowVisible(item.hwnd)) return;
      wizard::LiveRegions::Announce(item.hwnd);
      pacer_.PageAnnounced(std::chrono::steady_clock::now());
      return;
    }
}

bool TfrmSetup::ParentShowing(const Item& item) const {
  const int area = item.def->area;
  if (area == wizard::kForm) return true;
  if (area == wizard::kSide) return Visible(L"Panel1");
  if (area == wizard::kBottom) return Visible(L"pnlBottom");
  return Visible(L"ntbkSetup") && area == shownPage_;
}

void TfrmSetup::ApplyVisibility() {
  for (const Item& item : items_) {
    const bool show = item.visible && ParentShowing(item);
    const bool shown = (GetWindowLongW(item.hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != show) ShowWindow(item.hwnd, show ? SW_SHOWNA : SW_HIDE);
  }
}
