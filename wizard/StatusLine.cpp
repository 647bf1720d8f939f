#include "wizard/StatusLine.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "platform/Platform.h"

namespace wizard {

StatusLine::~StatusLine() {
  if (label_) RemoveWindowSubclass(label_, &Procedure, 0);
}

void StatusLine::Attach(HWND label, const wchar_t* text) {
  text_ = text;
  label_ = label;
  SetWindowSubclass(label_, &Procedure, 0, reinterpret_cast<DWORD_PTR>(this));
}

void StatusLine::Flush() {
  if (!dirty_ || !label_) return;
  // Only the window manager's copy: the line keeps its own.
  DefWindowProcW(label_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text_.c_str()));
  if (IsWindowVisible(label_)) {
    HDC dc = GetDC(label_);
    Paint(dc);
    ReleaseDC(label_, dc);
  }
  dirty_ = false;
}

void StatusLine::Paint(HDC dc) const {
  RECT r;
  GetClientRect(label_, &r);
  auto brush = reinterpret_cast<HBRUSH>(SendMessageW(GetParent(label_), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(label_)));
  FillRect(dc, &r, brush ? brush : GetSysColorBrush(COLOR_BTNFACE));
  auto font = reinterpret_cast<HFONT>(SendMessageW(label_, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &r,
            DT_LEFT | DT_EXPANDTABS | DT_NOPREFIX | DT_SINGLELINE);
  if (old) SelectObject(dc, old);
}

LRESULT CALLBACK StatusLine::Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                       DWORD_PTR self) noexcept {
  try {
    return reinterpret_cast<StatusLine*>(self)->OnMessage(msg, wp, lp);
  } catch (...) {
    platform::ShowCurrentError();
    return DefSubclassProc(hwnd, msg, wp, lp);
  }
}

LRESULT StatusLine::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SETTEXT:
      text_ = lp ? reinterpret_cast<const wchar_t*>(lp) : L"";
      break;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(text_.size());
    case WM_GETTEXT: {
      if (wp == 0) return 0;
      const size_t n = std::min<size_t>(text_.size(), wp - 1);
      auto* out = reinterpret_cast<wchar_t*>(lp);
      std::copy_n(text_.data(), n, out);
      out[n] = L'\0';
      return static_cast<LRESULT>(n);
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      Paint(BeginPaint(label_, &ps));
      EndPaint(label_, &ps);
      return 0;
    }
    case WM_NCDESTROY: {
      HWND label = std::exchange(label_, nullptr);
      RemoveWindowSubclass(label, &Procedure, 0);
      return DefSubclassProc(label, msg, wp, lp);
    }
  }
  return DefSubclassProc(label_, msg, wp, lp);
}

}  // namespace wizard
