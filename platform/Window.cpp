#include "platform/Window.h"

#include <utility>

#include "platform/Platform.h"

namespace platform {

namespace {

bool IsPushButton(HWND hwnd) {
  return hwnd && (SendMessageW(hwnd, WM_GETDLGCODE, 0, 0) &
                  (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

void RegisterOnce(const wchar_t* name, int iconId, WNDPROC procedure) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  if (GetClassInfoExW(instance, name, &wc)) return;
  wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = procedure;
  wc.hInstance = instance;
  if (iconId) {
    // Shared icons: the system keeps them for the life of the class.
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(iconId));
    wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, 16,
                                               16, LR_DEFAULTCOLOR | LR_SHARED));
  }
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

template <typename F>
F UserProc(const char* name) {
  // Windows 10 only: looked up where it runs.
  return reinterpret_cast<F>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

void AdjustForDpi(RECT& r, DWORD style, DWORD exStyle, UINT dpi) {
  using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = UserProc<Adjust>("AdjustWindowRectExForDpi");
  if (!adjust || !adjust(&r, style, FALSE, exStyle, dpi))
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
}

}  // namespace

UINT DpiOf(HWND window) noexcept {
  using ForWindow = UINT(WINAPI*)(HWND);
  using ForSystem = UINT(WINAPI*)();
  static const auto forWindow = UserProc<ForWindow>("GetDpiForWindow");
  static const auto forSystem = UserProc<ForSystem>("GetDpiForSystem");
  UINT dpi = 0;
  if (window && forWindow) dpi = forWindow(window);
  if (!dpi && forSystem) dpi = forSystem();
  if (!dpi) {
    HDC screen = GetDC(nullptr);
    dpi = static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);
  }
  return dpi ? dpi : 96;
}

DialogWindow::~DialogWindow() {
  if (window_) {
    // The derived part is gone: what the window still says goes to the
    // system alone.
    SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    window_.reset();
  }
}

void DialogWindow::CreateFrame(const WindowClass& windowClass, const Frame& frame,
                               const wchar_t* failure) {
  RegisterOnce(windowClass.name, windowClass.iconId, &Procedure);
  // The outer size for the client area at the window's DPI.
  const auto outer = [&] {
    RECT r{0, 0, Scale(frame.clientWidth), Scale(frame.clientHeight)};
    AdjustForDpi(r, frame.style, frame.exStyle, dpi_);
    return SIZE{r.right - r.left, r.bottom - r.top};
  };
  // The system's DPI until the window tells its own.
  dpi_ = DpiOf(nullptr);
  const UINT systemDpi = dpi_;
  const SIZE size = outer();
  creating_ = true;
  creationError_ = nullptr;
  HWND created = CreateWindowExW(frame.exStyle, windowClass.name, frame.caption, frame.style,
                                 CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, frame.owner,
                                 nullptr, GetModuleHandleW(nullptr), this);
  creating_ = false;
  if (created && !creationError_) {
    // Made on a monitor of another DPI than the system's: sized for it.
    if (dpi_ != systemDpi) {
      const SIZE own = outer();
      SetWindowPos(created, nullptr, 0, 0, own.cx, own.cy,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return;
  }
  DestroyFrame();
  if (creationError_) std::rethrow_exception(std::exchange(creationError_, nullptr));
  throw SetupError(failure);
}

void DialogWindow::DestroyFrame() noexcept {
  window_.reset();
}

LRESULT DialogWindow::Default(UINT msg, WPARAM wp, LPARAM lp) noexcept {
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

LRESULT CALLBACK DialogWindow::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept {
  if (msg == WM_NCCREATE) {
    auto* created =
        static_cast<DialogWindow*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    created->hwnd_ = hwnd;
    created->window_.reset(hwnd);
    created->dpi_ = DpiOf(hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  auto* self = reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
  LRESULT result = 0;
  try {
    result = self->Dispatch(msg, wp, lp);
  } catch (...) {
    if (self->creating_) {
      // Creation fails; CreateFrame raises the first error again.
      if (!self->creationError_) self->creationError_ = std::current_exception();
      result = msg == WM_CREATE ? -1 : 0;
    } else {
      ShowCurrentError();
      result = 0;
    }
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->window_.release();  // already gone
    self->hwnd_ = nullptr;
    self->savedFocus_ = nullptr;
  }
  return result;
}

LRESULT DialogWindow::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (DialogMessage(msg, wp, lp, result)) return result;
  return OnMessage(msg, wp, lp);
}

bool DialogWindow::Pressable(HWND control) const noexcept {
  return control && GetParent(control) == hwnd_ && IsWindowVisible(control) &&
         IsWindowEnabled(control);
}

bool DialogWindow::DialogMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_DPICHANGED: {
      // The rectangle Windows suggests keeps the window where the user
      // dragged it; the layout follows at the new DPI.
      dpi_ = HIWORD(wp) ? HIWORD(wp) : DpiOf(hwnd_);
      const auto* suggested = reinterpret_cast<const RECT*>(lp);
      SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      OnDpiChanged();
      result = 0;
      return true;
    }
    case DM_GETDEFID: {
      // Enter presses the focused push button, else the default button.
      HWND focus = GetFocus();
      const int id = IsPushButton(focus) && Pressable(focus)           ? GetDlgCtrlID(focus)
                     : Pressable(GetDlgItem(hwnd_, DefaultButtonId())) ? DefaultButtonId()
                                                                       : 0;
      result = id ? MAKELRESULT(id, DC_HASDEFID) : 0;
      return true;
    }
    case WM_COMMAND: {
      // Esc (and the cancel button itself, when it carries IDCANCEL): the
      // cancel button's click, while it can be pressed.
      if (LOWORD(wp) != IDCANCEL || HIWORD(wp) != BN_CLICKED) return false;
      HWND cancel = GetDlgItem(hwnd_, CancelButtonId());
      if (Pressable(cancel))
        result = OnMessage(WM_COMMAND, MAKEWPARAM(CancelButtonId(), BN_CLICKED),
                           reinterpret_cast<LPARAM>(cancel));
      return true;
    }
    case WM_NEXTDLGCTL: {
      // Tab and the arrow keys, as the dialog keyboard routing asks for them.
      HWND target =
          LOWORD(lp) ? reinterpret_cast<HWND>(wp) : GetNextDlgTabItem(hwnd_, GetFocus(), wp != 0);
      if (target) {
        SetFocus(target);
        if (SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
          SendMessageW(target, EM_SETSEL, 0, -1);
      }
      return true;
    }
    case WM_ACTIVATE: {
      // A plain window forgets its focused control while another window (a
      // message box) is active; the dialog habit is to give it back.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
        return true;
      }
      if (savedFocus_ && IsWindow(savedFocus_) && IsWindowVisible(savedFocus_) &&
          IsWindowEnabled(savedFocus_)) {
        SetFocus(savedFocus_);
        return true;
      }
      return false;
    }
    default:
      return false;
  }
}

}  // namespace platform
