// What the folder picker's dialog, directory list and drive box share.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace picker {

// Heights and steps at 96 DPI.
inline constexpr int kItemHeight = 16;  // a line of the list and of the drive box
inline constexpr int kIndent = 10;      // per level of the directory list
inline constexpr int kPicture = 16;

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

inline std::wstring Lower(std::wstring text) {
  if (!text.empty()) CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

inline std::wstring Root(wchar_t letter) {
  return {letter, L':', L'\\'};
}

// Picture and text of one owner-drawn line; the selection marks the text.
void DrawLine(const DRAWITEMSTRUCT& item, int x, const std::wstring& text,
              const std::function<void(HDC, int, int)>& picture);

}  // namespace picker
