// The one window base of the program's top-level windows (the wizard and
// the folder picker): the object is attached to its window at WM_NCCREATE,
// every message goes through one procedure that lets no exception out, and
// the dialog behaviour the keyboard routing (IsDialogMessage) asks for lives
// here once.
#pragma once

#include <windows.h>

#include <exception>

#include "platform/Handles.h"

namespace platform {

// The DPI of a window, or of the system before there is one: what Windows
// 10 tells per window, else the screen's (Windows 7 and 8, Wine).
UINT DpiOf(HWND window) noexcept;
// A length at 96 DPI at the given DPI.
inline int ScaleTo(int length, UINT dpi) noexcept {
  return MulDiv(length, static_cast<int>(dpi), 96);
}

class DialogWindow {
 public:
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Null once the window is gone.
  HWND Handle() const noexcept { return hwnd_; }
  // The DPI the window is laid out for (96: 100 %).
  UINT Dpi() const noexcept { return dpi_; }
  // A length at 96 DPI in the window's pixels.
  int Scale(int length) const noexcept { return ScaleTo(length, dpi_); }

 protected:
  struct WindowClass {
    const wchar_t* name;
    int iconId;  // icon resource of the program; 0: none
  };
  struct Frame {
    const wchar_t* caption;
    DWORD style;
    DWORD exStyle;
    int clientWidth, clientHeight;
    HWND owner;
  };

  DialogWindow() = default;
  // Destroys a window still there; its messages no longer reach the object.
  virtual ~DialogWindow();

  // Registers the class on first use and creates the window (hidden) with
  // the given client size. An exception raised by a handler while the window
  // is being created comes out here, the window gone; a window the system
  // refuses raises SetupError(failure).
  void CreateFrame(const WindowClass& windowClass, const Frame& frame, const wchar_t* failure);
  // Destroys the window now, while the derived object is whole: its
  // destructor and a constructor that fails after CreateFrame call this.
  void DestroyFrame() noexcept;

  // The derived window's messages; what it leaves to the system goes to
  // Default. An exception is shown by the default error display.
  virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) = 0;
  LRESULT Default(UINT msg, WPARAM wp, LPARAM lp) noexcept;

  // The push button Enter presses when no push button has the focus, and
  // the one Esc presses; each only while visible and enabled.
  virtual int DefaultButtonId() const noexcept = 0;
  virtual int CancelButtonId() const noexcept = 0;
  // The control the focus goes back to when the window is activated again.
  void RememberFocus(HWND control) noexcept { savedFocus_ = control; }
  // The window has moved to a monitor of another DPI (Dpi() is the new one,
  // the frame already has the size Windows suggests): the controls follow.
  virtual void OnDpiChanged() {}

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
  // The dialog behaviour; false for messages it leaves to the window.
  bool DialogMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  bool Pressable(HWND control) const noexcept;

  HWND hwnd_ = nullptr;  // attached from WM_NCCREATE to WM_NCDESTROY
  UniqueWindow window_;  // owns it meanwhile
  HWND savedFocus_ = nullptr;
  UINT dpi_ = 96;
  bool creating_ = false;
  std::exception_ptr creationError_;
};

}  // namespace platform
