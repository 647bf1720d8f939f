#include "wizard/FrmSetup.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>

#include "platform/Platform.h"
#include "wizard/ControlIds.h"
#include "wizard/JpegImage.h"
#include "wizard/Layout.h"
#include "wizard/ResourceIds.h"

bool AbortRequested = false;
TfrmSetup* frmSetup = nullptr;

using wizard::Kind;
using wizard::Style;

namespace {

constexpr wchar_t kClassName[] = L"TfrmSetup";
constexpr int kClientWidth = 632;
constexpr int kClientHeight = 453;
constexpr UINT_PTR kTimerId = 1;
constexpr UINT_PTR kFlushTimerId = 2;
// The status line and the bar move 30 times a second: smooth to the eye,
// and half the paints of the display's own rate.
constexpr UINT kFrameMs = 33;
constexpr auto kFrame = std::chrono::milliseconds(kFrameMs);
constexpr auto kPumpInterval = std::chrono::milliseconds(5);
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

struct FontSpec {
  int height;
  int weight;
  COLORREF colour;
  BYTE charset;
};

const FontSpec& StyleOf(Style style) {
  constexpr COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0), black = RGB(0, 0, 0);
  static const FontSpec specs[wizard::kStyleCount] = {
      {11, FW_NORMAL, CLR_INVALID, DEFAULT_CHARSET},  // Default: window-text colour
      {19, FW_NORMAL, white, DEFAULT_CHARSET},        // PageHeading
      {16, FW_NORMAL, white, DEFAULT_CHARSET},        // WelcomeHeading
      {13, FW_BOLD, white, DEFAULT_CHARSET},          // SubHeading
      {13, FW_NORMAL, white, DEFAULT_CHARSET},        // Body
      {11, FW_NORMAL, white, DEFAULT_CHARSET},        // Small
      {13, FW_BOLD, red, DEFAULT_CHARSET},            // Product
      {11, FW_NORMAL, black, DEFAULT_CHARSET},        // Field
      {11, FW_NORMAL, black, EASTEUROPE_CHARSET},     // FieldCE
  };
  return specs[static_cast<int>(style)];
}

// The status line keeps its text itself, as a form's label does: naming a
// file in it then costs no trip to the window server, which under Wine is
// dearer than copying the file. It paints what it keeps, as a left-aligned
// static would; the window manager's copy of the text follows once a frame.
void PaintStatusLine(HWND hwnd, HDC dc, const std::wstring& text) {
  RECT r;
  GetClientRect(hwnd, &r);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(hwnd), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(hwnd)));
  FillRect(dc, &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
  auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_LEFT | DT_EXPANDTABS | DT_NOPREFIX | DT_SINGLELINE);
  if (old) SelectObject(dc, old);
}

LRESULT CALLBACK StatusLineProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                DWORD_PTR ref) {
  std::wstring& text = *reinterpret_cast<std::wstring*>(ref);
  switch (msg) {
    case WM_SETTEXT:
      text = lp ? reinterpret_cast<const wchar_t*>(lp) : L"";
      break;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(text.size());
    case WM_GETTEXT: {
      if (wp == 0) return 0;
      const size_t n = std::min<size_t>(text.size(), wp - 1);
      auto* out = reinterpret_cast<wchar_t*>(lp);
      std::copy_n(text.data(), n, out);
      out[n] = L'\0';
      return static_cast<LRESULT>(n);
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      PaintStatusLine(hwnd, BeginPaint(hwnd, &ps), text);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, StatusLineProc, 0);
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// The folder-choice buttons take no keyboard focus: the press is tracked
// here instead of by the button, which would focus itself.
LRESULT CALLBACK ToolButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  auto inside = [hwnd](LPARAM pos) {
    RECT r;
    GetClientRect(hwnd, &r);
    POINT p{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
    return PtInRect(&r, p) != FALSE;
  };
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd);
      SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (GetCapture() == hwnd) SendMessageW(hwnd, BM_SETSTATE, inside(lp), 0);
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd) {
        ReleaseCapture();
        SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        if (inside(lp))
          SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                       reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    case WM_CAPTURECHANGED:
      SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
      return 0;
    case WM_SETFOCUS:
      return 0;
    default:
      return DefSubclassProc(hwnd, msg, wp, lp);
  }
}

bool IsPushButton(HWND hwnd) {
  return hwnd && (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) &
                  (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

}  // namespace

// ------------------------------------------------------------------ window

TfrmSetup::TfrmSetup() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (!GetClassInfoExW(instance, kClassName, &wc)) {
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);
  }
  black_ = CreateSolidBrush(RGB(0, 0, 0));
  face_ = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  white_ = CreateSolidBrush(GetSysColor(COLOR_WINDOW));

  RECT r{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&r, kWindowStyle, FALSE, 0);
  handle_ = CreateWindowExW(0, kClassName, L"Instalace aplikace VantorPro", kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                            nullptr, nullptr, instance, this);
  if (!handle_) throw platform::SetupError(L"Cannot create the wizard window");
  CreateControls();
  if (!frmSetup) frmSetup = this;
  if (!platform::MainWindow()) platform::SetMainWindow(handle_);
  FormCreate();
}

TfrmSetup::~TfrmSetup() {
  if (handle_) {
    KillTimer(handle_, kTimerId);
    KillTimer(handle_, kFlushTimerId);
    DestroyWindow(handle_);
  }
  if (platform::MainWindow() == handle_) platform::SetMainWindow(nullptr);
  if (frmSetup == this) frmSetup = nullptr;
  for (Item* item : items_) delete item;
  for (HFONT font : fonts_) DeleteObject(font);
  for (HBITMAP bitmap : bitmaps_) DeleteObject(bitmap);
  if (glyph_) DestroyIcon(glyph_);
  DeleteObject(black_);
  DeleteObject(face_);
  DeleteObject(white_);
}

void TfrmSetup::Show() {
  RECT r;
  GetWindowRect(handle_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  SetWindowPos(handle_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - w) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(handle_, SW_SHOW);
  SetForegroundWindow(handle_);
  UpdateWindow(handle_);
  if (!GetFocus() || GetAncestor(GetFocus(), GA_ROOT) != handle_ || GetFocus() == handle_)
    SetFocus(L"pbNext");
}

void TfrmSetup::CreateControls() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  for (int s = 0; s < wizard::kStyleCount; ++s) {
    const FontSpec& font = StyleOf(static_cast<Style>(s));
    fonts_.push_back(CreateFontW(-font.height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                                 font.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
  }
  SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[0]), FALSE);

  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, handle_, nullptr, instance, nullptr);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);

  HDC dc = GetDC(handle_);
  for (const wizard::ControlDef& def : wizard::Layout()) {
    auto* item = new Item;
    item->def = &def;
    item->visible = (def.flags & wizard::kHidden) == 0;
    item->hint = def.hint ? def.hint : L"";
    items_.push_back(item);

    const POINT origin = wizard::AreaOrigin(def.area);
    int w = def.w, h = def.h;
    const wchar_t* cls = WC_STATICW;
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    HFONT font = fonts_[static_cast<int>(def.style)];
    if (def.tab >= 0) style |= WS_TABSTOP;
    if (def.flags & wizard::kDisabled) style |= WS_DISABLED;
    switch (def.kind) {
      case Kind::Region:
      case Kind::Line:
        break;
      case Kind::Label:
        style |= SS_NOPREFIX | ((def.flags & wizard::kWrap) ? SS_LEFT : SS_LEFTNOWORDWRAP);
        if (w == 0) {
          HGDIOBJ old = SelectObject(dc, font);
          SIZE size{};
          GetTextExtentPoint32W(dc, def.text, lstrlenW(def.text), &size);
          TEXTMETRICW tm{};
          GetTextMetricsW(dc, &tm);
          SelectObject(dc, old);
          w = size.cx;
          h = tm.tmHeight;
        }
        break;
      case Kind::Picture:
        style |= SS_BITMAP;
        break;
      case Kind::Sink:
        // No word wrap: the field would reflow its whole text on every line
        // the unzip library reports.
        cls = WC_EDITW;
        style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Edit:
        cls = WC_EDITW;
        style |= ES_AUTOHSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Summary:
        cls = WC_EDITW;
        style |= ES_MULTILINE | ES_READONLY | WS_HSCROLL | WS_VSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Button:
        cls = WC_BUTTONW;
        style |= (def.flags & wizard::kDefault) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        break;
      case Kind::ToolButton:
        cls = WC_BUTTONW;
        style |= BS_PUSHBUTTON | BS_ICON;
        break;
      case Kind::CheckBox:
        cls = WC_BUTTONW;
        style |= BS_AUTOCHECKBOX;
        break;
      case Kind::Radio:
        cls = WC_BUTTONW;
        style |= BS_AUTORADIOBUTTON | ((def.flags & wizard::kGroup) ? WS_GROUP : 0);
        break;
      case Kind::List:
        cls = WC_LISTBOXW;
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL;
        exStyle = WS_EX_CLIENTEDGE;
        break;
      case Kind::Animation:
        // Frames advance in the pumps on this thread: an animation thread of
        // its own would have to be waited for whenever the window goes.
        cls = ANIMATE_CLASSW;
        style |= ACS_TIMER;
        break;
      case Kind::Progress:
        cls = PROGRESS_CLASSW;
        break;
    }
    item->hwnd = CreateWindowExW(
        exStyle, cls, def.text, style, origin.x + def.x, origin.y + def.y, w, h, handle_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)), instance, nullptr);
    HWND hwnd = item->hwnd;
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    switch (def.kind) {
      case Kind::Picture: {
        HBITMAP bitmap = wizard::LoadJpegResource(def.id == ids::Image1 ? IDR_SIDE_PICTURE
                                                                        : IDR_WELCOME_PICTURE);
        if (bitmap) {
          bitmaps_.push_back(bitmap);
          SendMessageW(hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
        }
        break;
      }
      case Kind::Sink:
        SendMessageW(hwnd, EM_SETLIMITTEXT, 0, 0);
        break;
      case Kind::ToolButton:
        if (!glyph_)
          glyph_ = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_BINOCULARS),
                                                 IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
        SendMessageW(hwnd, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(glyph_));
        SetWindowSubclass(hwnd, ToolButtonProc, 0, 0);
        break;
      case Kind::CheckBox:
      case Kind::Radio:
        // White text on black: the themed look would draw its own text colour.
        SetWindowTheme(hwnd, L"", L"");
        if (def.flags & wizard::kChecked) SendMessageW(hwnd, BM_SETCHECK, BST_CHECKED, 0);
        break;
      case Kind::List:
        SendMessageW(hwnd, LB_SETITEMHEIGHT, 0, 13);
        break;
      case Kind::Animation:
        SendMessageW(hwnd, ACM_OPENW, reinterpret_cast<WPARAM>(instance),
                     reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_FILECOPY_AVI)));
        SendMessageW(hwnd, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 26));
        break;
      case Kind::Progress:
        SendMessageW(hwnd, PBM_SETRANGE32, 0, 1000);
        SendMessageW(hwnd, PBM_SETSTEP, 1, 0);
        SendMessageW(hwnd, PBM_SETPOS, 0, 0);
        break;
      default:
        break;
    }
    if (def.id == ids::lblCopyFile) {
      statusText_ = def.text;
      SetWindowSubclass(hwnd, StatusLineProc, 0, reinterpret_cast<DWORD_PTR>(&statusText_));
    }
    if (!item->hint.empty()) {
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof(tool);
      tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
      tool.hwnd = handle_;
      tool.uId = reinterpret_cast<UINT_PTR>(hwnd);
      tool.lpszText = item->hint.data();
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
  }
  ReleaseDC(handle_, dc);

  // Stacking order is the Tab order: the fields of each page, then the
  // navigation buttons, then everything without a tab stop, the black
  // panels at the bottom.
  std::vector<Item*> order(items_.begin(), items_.end());
  auto rank = [](const Item* item) {
    const wizard::ControlDef& d = *item->def;
    if (d.kind == Kind::Region) return 4;
    if (d.kind == Kind::Line) return 3;
    if (d.tab < 0) return 2;
    return d.area == wizard::kBottom ? 1 : 0;
  };
  std::stable_sort(order.begin(), order.end(), [&](const Item* a, const Item* b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    if (rank(a) == 0 && a->def->area != b->def->area) return a->def->area < b->def->area;
    if (rank(a) <= 1) return a->def->tab < b->def->tab;
    // pnlBottom lies under the line on its edge.
    return false;
  });
  HWND after = HWND_TOP;
  for (Item* item : order) {
    SetWindowPos(item->hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = item->hwnd;
  }
  shownPage_ = 0;
  ApplyVisibility();
}

LRESULT CALLBACK TfrmSetup::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
    auto* self = static_cast<TfrmSetup*>(create->lpCreateParams);
    self->handle_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TfrmSetup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && self->handle_ == hwnd) return self->OnMessage(msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT TfrmSetup::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(LOWORD(wp), HIWORD(wp));
      return 0;
    case DM_GETDEFID: {
      // Enter presses the focused push button, else pbNext while it can be
      // pressed.
      HWND focus = ::GetFocus();
      if (IsPushButton(focus) && GetParent(focus) == handle_ && IsWindowVisible(focus) &&
          IsWindowEnabled(focus))
        return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
      if (Showing(L"pbNext") && Enabled(L"pbNext")) return MAKELRESULT(ids::pbNext, DC_HASDEFID);
      return 0;
    }
    case WM_NEXTDLGCTL: {
      // Tab and Shift+Tab, as the dialog keyboard handling asks for them; a
      // plain window leaves this message to the dialog procedure it lacks.
      HWND target = LOWORD(lp) ? reinterpret_cast<HWND>(wp)
                               : GetNextDlgTabItem(handle_, ::GetFocus(), wp != 0);
      if (target) {
        ::SetFocus(target);
        if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
          SendMessageW(target, EM_SETSEL, 0, -1);
      }
      return 0;
    }
    case WM_CLOSE:
      platform::RunHandler([this] { Close(); });
      return 0;
    case WM_CTLCOLORSTATIC: {
      HWND control = reinterpret_cast<HWND>(lp);
      HDC dc = reinterpret_cast<HDC>(wp);
      const int id = GetDlgCtrlID(control);
      for (const Item* item : items_) {
        if (item->def->id != id) continue;
        switch (item->def->kind) {
          case Kind::Line:
            return reinterpret_cast<LRESULT>(face_);
          case Kind::Summary:
            SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            return reinterpret_cast<LRESULT>(white_);
          case Kind::Edit:
          case Kind::Sink:
          case Kind::List:
            return DefWindowProcW(handle_, msg, wp, lp);
          default: {
            const FontSpec& font = StyleOf(item->def->style);
            SetTextColor(dc, font.colour == CLR_INVALID ? RGB(255, 255, 255) : font.colour);
            SetBkColor(dc, RGB(0, 0, 0));
            return reinterpret_cast<LRESULT>(black_);
          }
        }
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
      if (wp == kTimerId) platform::RunHandler([this] { timSetupTimer(); });
      if (wp == kFlushTimerId) FlushWork();
      return 0;
    case WM_ACTIVATE:
      // A plain window forgets its focused control when another window (a
      // message box) was active; the dialog habit is to give it back.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && GetParent(focus) == handle_) lastFocus_ = focus;
        return 0;
      }
      if (lastFocus_ && IsWindow(lastFocus_) && IsWindowVisible(lastFocus_) &&
          IsWindowEnabled(lastFocus_)) {
        ::SetFocus(lastFocus_);
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(handle_, msg, wp, lp);
}

void TfrmSetup::OnCommand(int id, int code) {
  auto run = [](auto&& handler) { platform::RunHandler(handler); };
  switch (id) {
    case IDCANCEL:  // Esc, routed by the dialog keyboard handling
      if (Showing(L"pbCancel") && Enabled(L"pbCancel")) run([this] { pbCancelClick(); });
      return;
    case ids::pbNext:
      if (code == BN_CLICKED) run([this] { pbNextClick(); });
      return;
    case ids::pbPrev:
      if (code == BN_CLICKED) run([this] { pbPrevClick(); });
      return;
    case ids::pbCancel:
      if (code == BN_CLICKED) run([this] { pbCancelClick(); });
      return;
    case ids::pbPrerusit:
      if (code == BN_CLICKED) run([this] { pbPrerusitClick(); });
      return;
    case ids::SpeedButton1:
      if (code == BN_CLICKED) run([this] { SpeedButton1Click(); });
      return;
    case ids::SpeedButton2:
      if (code == BN_CLICKED) run([this] { SpeedButton2Click(); });
      return;
    case ids::SpeedButton3:
      if (code == BN_CLICKED) run([this] { SpeedButton3Click(); });
      return;
    case ids::SpeedButton4:
      if (code == BN_CLICKED) run([this] { SpeedButton4Click(); });
      return;
    case ids::cbVzory:
      if (code == BN_CLICKED) run([this] { cbVzoryClick(); });
      return;
    case ids::cbPriklady:
      if (code == BN_CLICKED) run([this] { cbPrikladyClick(); });
      return;
    case ids::lbFolders:
      if (code == LBN_SELCHANGE) run([this] { lbFoldersClick(); });
      return;
    default:
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

void TfrmSetup::ShowPage(int index) {
  if (index < 0 || index >= kPageCount || index == shownPage_) return;
  shownPage_ = index;
  ApplyVisibility();
  // The focused control may have gone with the old page.
  HWND focus = ::GetFocus();
  if (GetActiveWindow() == handle_ &&
      (!focus || focus == handle_ || !IsWindowVisible(focus) || !IsWindowEnabled(focus)))
    SetFocus(L"pbNext");
  ntbkSetupPageChanged();
}

bool TfrmSetup::ParentShowing(const Item& item) const {
  const int area = item.def->area;
  if (area == wizard::kForm) return true;
  if (area == wizard::kSide) return Visible(L"Panel1");
  if (area == wizard::kBottom) return Visible(L"pnlBottom");
  return Visible(L"ntbkSetup") && area == shownPage_;
}

void TfrmSetup::ApplyVisibility() {
  for (Item* item : items_) {
    const bool show = item->visible && ParentShowing(*item);
    const bool shown = (GetWindowLongW(item->hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
    if (shown != show) ShowWindow(item->hwnd, show ? SW_SHOWNA : SW_HIDE);
  }
}

// ------------------------------------------------------------- controls

TfrmSetup::Item* TfrmSetup::Find(std::wstring_view name) {
  for (Item* item : items_)
    if (name == item->def->name) return item;
  return nullptr;
}

const TfrmSetup::Item* TfrmSetup::Find(std::wstring_view name) const {
  for (const Item* item : items_)
    if (name == item->def->name) return item;
  return nullptr;
}

HWND TfrmSetup::Control(std::wstring_view name) const {
  const Item* item = Find(name);
  return item ? item->hwnd : nullptr;
}

std::wstring TfrmSetup::Text(std::wstring_view name) const {
  HWND hwnd = Control(name);
  if (!hwnd) return {};
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size())));
  return text;
}

void TfrmSetup::SetText(std::wstring_view name, const std::wstring& text) {
  if (HWND hwnd = Control(name)) SetWindowTextW(hwnd, text.c_str());
}

std::wstring TfrmSetup::Hint(std::wstring_view name) const {
  const Item* item = Find(name);
  return item ? item->hint : std::wstring();
}

void TfrmSetup::SetHint(std::wstring_view name, const std::wstring& hint) {
  Item* item = Find(name);
  if (!item) return;
  item->hint = hint;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = handle_;
  tool.uId = reinterpret_cast<UINT_PTR>(item->hwnd);
  tool.lpszText = item->hint.data();
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

bool TfrmSetup::Visible(std::wstring_view name) const {
  const Item* item = Find(name);
  return item && item->visible;
}

void TfrmSetup::SetVisible(std::wstring_view name, bool visible) {
  Item* item = Find(name);
  if (!item || item->visible == visible) return;
  item->visible = visible;
  ApplyVisibility();
}

bool TfrmSetup::Showing(std::wstring_view name) const {
  const Item* item = Find(name);
  return item && item->visible && ParentShowing(*item);
}

bool TfrmSetup::Enabled(std::wstring_view name) const {
  HWND hwnd = Control(name);
  return hwnd && IsWindowEnabled(hwnd);
}

void TfrmSetup::SetEnabled(std::wstring_view name, bool enabled) {
  HWND hwnd = Control(name);
  if (!hwnd) return;
  // A control that loses its focus by being disabled passes it on, so the
  // keyboard keeps working.
  const bool hadFocus = !enabled && ::GetFocus() == hwnd;
  EnableWindow(hwnd, enabled);
  if (hadFocus) SetFocus(L"pbNext");
}

bool TfrmSetup::Checked(std::wstring_view name) const {
  HWND hwnd = Control(name);
  return hwnd && SendMessageW(hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TfrmSetup::SetChecked(std::wstring_view name, bool checked) {
  const Item* item = Find(name);
  if (!item) return;
  SendMessageW(item->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  if (checked && item->def->kind == Kind::Radio)
    for (const Item* other : items_)
      if (other != item && other->def->kind == Kind::Radio && other->def->area == item->def->area)
        SendMessageW(other->hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
}

void TfrmSetup::SetFocus(std::wstring_view name) {
  HWND hwnd = Control(name);
  if (hwnd && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) ::SetFocus(hwnd);
}

std::vector<std::wstring> TfrmSetup::ListItems(std::wstring_view name) const {
  std::vector<std::wstring> items;
  HWND hwnd = Control(name);
  if (!hwnd) return items;
  const LRESULT count = SendMessageW(hwnd, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring text(static_cast<size_t>(SendMessageW(hwnd, LB_GETTEXTLEN, i, 0)) + 1, L'\0');
    text.resize(static_cast<size_t>(
        SendMessageW(hwnd, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
    items.push_back(text);
  }
  return items;
}

void TfrmSetup::SetTimerEnabled(bool enabled) {
  if (enabled == timerEnabled_) return;
  timerEnabled_ = enabled;
  if (enabled)
    SetTimer(handle_, kTimerId, kTimerInterval, nullptr);
  else
    KillTimer(handle_, kTimerId);
}

// ----------------------------------------------- fileops::WorkContext

// Under Wine every paint and every look at the message queue is a round
// trip to the server, costlier than copying a small file. Nobody reads a
// file name that is shown for a millisecond: the status text is set for
// every file, but the label and the bar go to the screen at most once a
// frame, always with their latest state; a flush timer paints what the last
// change left.
void TfrmSetup::FlushWorkIfDue() {
  if (!statusDirty_ && pendingSteps_ == 0) return;
  if (std::chrono::steady_clock::now() - lastPaint_ >= kFrame) {
    FlushWork();
  } else if (!flushTimerArmed_) {
    flushTimerArmed_ = SetTimer(handle_, kFlushTimerId, kFrameMs, nullptr) != 0;
  }
}

void TfrmSetup::FlushWork() {
  if (flushTimerArmed_) KillTimer(handle_, kFlushTimerId);
  flushTimerArmed_ = false;
  if (pendingSteps_ > 0) {
    SendMessageW(Control(L"ProgressBar1"), PBM_DELTAPOS, pendingSteps_, 0);
    pendingSteps_ = 0;
  }
  if (statusDirty_) {
    HWND label = Control(L"lblCopyFile");
    // Only the window manager's copy: the line keeps its own.
    DefWindowProcW(label, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(statusText_.c_str()));
    // Straight onto the screen, without a round through the update region.
    if (IsWindowVisible(label)) {
      HDC dc = GetDC(label);
      PaintStatusLine(label, dc, statusText_);
      ReleaseDC(label, dc);
    }
    statusDirty_ = false;
  }
  lastPaint_ = std::chrono::steady_clock::now();
}

void TfrmSetup::SetStatus(const std::wstring& text) {
  // The line's caption; the screen follows within a frame.
  statusText_ = text;
  statusDirty_ = true;
  FlushWorkIfDue();
}

void TfrmSetup::StepProgress() {
  ++pendingSteps_;
  FlushWorkIfDue();
}

void TfrmSetup::ProcessMessages() {
  FlushWorkIfDue();
  // A click that arrives in between waits a few milliseconds at most.
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ < kPumpInterval) return;
  lastPump_ = now;
  platform::ProcessMessages();
}

bool TfrmSetup::AbortRequested() const {
  return ::AbortRequested;
}

bool TfrmSetup::LeaveVzoryOnCd() const {
  return Checked(L"cbVzory");
}

bool TfrmSetup::LeavePrikladyOnCd() const {
  return Checked(L"cbPriklady");
}

void TfrmSetup::AddMemoLine(const std::wstring& line) {
  HWND memo = Control(L"Memo1");
  const int length = GetWindowTextLengthW(memo);
  std::wstring add = (length > 0 && !memoEndsWithBreak_) ? L"\r\n" : L"";
  add += line + L"\r\n";
  SendMessageW(memo, EM_SETSEL, length, length);
  SendMessageW(memo, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(add.c_str()));
  memoEndsWithBreak_ = true;
}
