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

}  // namespace

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
  RECT r{0, 0, frame.clientWidth, frame.clientHeight};
  AdjustWindowRectEx(&r, frame.style, FALSE, frame.exStyle);
  creating_ = true;
  creationError_ = nullptr;
  HWND created = CreateWindowExW(frame.exStyle, windowClass.name, frame.caption, frame.style,
                                 CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left, r.bottom - r.top,
                                 frame.owner, nullptr, GetModuleHandleW(nullptr), this);
  creating_ = false;
  if (created && !creationError_) return;
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
