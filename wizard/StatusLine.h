// The copy page's status line (lblCopyFile). It keeps its text itself, as a
// form's label does: naming a file in it then costs no trip to the window
// server, which under Wine is dearer than copying the file. It paints what
// it keeps, as a left-aligned static would; the window manager's copy of the
// text follows when the line is flushed.
#pragma once

#include <windows.h>

#include <string>

namespace wizard {

class StatusLine {
 public:
  StatusLine() = default;
  ~StatusLine();
  StatusLine(const StatusLine&) = delete;
  StatusLine& operator=(const StatusLine&) = delete;

  // Takes over the static control label, which shows text.
  void Attach(HWND label, const wchar_t* text);

  const std::wstring& Text() const { return text_; }
  // The new text, kept here only; the screen follows with Flush.
  void SetQuietly(const std::wstring& text) {
    text_ = text;
    dirty_ = true;
  }
  bool Dirty() const { return dirty_; }
  // The window manager's copy of a changed text, and the text straight onto
  // the screen, without a round through the update region.
  void Flush();

 private:
  static LRESULT CALLBACK Procedure(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                    DWORD_PTR self) noexcept;
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
  void Paint(HDC dc) const;

  HWND label_ = nullptr;
  std::wstring text_;
  bool dirty_ = false;
};

}  // namespace wizard
