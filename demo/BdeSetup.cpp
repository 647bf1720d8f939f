// Stand-in for the database engine's own setup program on the demo medium.
// It "installs" for a few seconds behind a progress window and then reports
// success the only way the wizard listens for: the completion flag.
//
// The working time is 4 s; the environment variable VANTOR_BDE_SETUP_MS
// (inherited from whoever started the wizard) shortens or lengthens it.
// Only one copy works at a time: a copy started while another one is working
// leaves the job to that one and ends at once.
#include <windows.h>
#include <commctrl.h>

#include <cwchar>
#include <cwctype>

#include "platform/Handles.h"

namespace {

const wchar_t kFlagKey[] = L"Software\\Quor";
const wchar_t kFlagValue[] = L"Vantor_BDE_Inst_OK";
const UINT kTickMs = 100;
enum : int { idText = 100, idProgress };

DWORD WorkingTime() {
  wchar_t text[32];
  const DWORD n = GetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", text, 32);
  if (n == 0 || n >= 32) return 4000;
  wchar_t* end = nullptr;
  const unsigned long ms = std::wcstoul(text, &end, 10);
  if (end == text || *end != L'\0' || ms > 600000) return 4000;
  return static_cast<DWORD>(ms);
}

// The wizard polls the 32-bit view of HKLM; write the flag there.
bool WriteFlag() {
  platform::UniqueHkey key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFlagKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                      nullptr, key.put(), nullptr) != ERROR_SUCCESS)
    return false;
  const wchar_t data[] = L"1";
  return RegSetValueExW(key.get(), kFlagValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                        sizeof(data)) == ERROR_SUCCESS;
}

struct Work {
  DWORD total = 0, started = 0;
  bool flagWritten = false;
};
Work work;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: {
      HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
      HWND text = CreateWindowExW(0, L"STATIC", L"Instaluji databázový stroj BDE…",
                                  WS_CHILD | WS_VISIBLE | SS_LEFT, 16, 16, 300, 20, window,
                                  reinterpret_cast<HMENU>(idText), nullptr, nullptr);
      SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
      HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 16, 44, 300, 18,
                                 window, reinterpret_cast<HMENU>(idProgress), nullptr, nullptr);
      SendMessageW(bar, PBM_SETRANGE32, 0, 100);
      SetTimer(window, 1, kTickMs, nullptr);
      return 0;
    }
    case WM_TIMER: {
      const DWORD elapsed = GetTickCount() - work.started;
      const DWORD percent =
          work.total ? (elapsed >= work.total ? 100 : elapsed * 100 / work.total) : 100;
      SendDlgItemMessageW(window, idProgress, PBM_SETPOS, percent, 0);
      if (elapsed >= work.total) {
        KillTimer(window, 1);
        work.flagWritten = WriteFlag();
        DestroyWindow(window);
      }
      return 0;
    }
    case WM_CLOSE:
      return 0;  // the work is not interrupted halfway
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Held until the program ends.
  const platform::UniqueHandle single(CreateMutexW(nullptr, FALSE, L"VantorBdeSetupRunning"));
  if (single && GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  work.total = WorkingTime();
  work.started = GetTickCount();

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_APPSTARTING);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"VantorBdeSetup";
  RegisterClassExW(&wc);

  RECT frame{0, 0, 332, 78};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION;
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExW(0, wc.lpszClassName, L"Instalace BDE", style, CW_USEDEFAULT,
                                CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                                nullptr, nullptr, instance, nullptr);
  if (window) {
    ShowWindow(window, SW_SHOWNORMAL);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  } else {
    Sleep(work.total);
    work.flagWritten = WriteFlag();
  }
  return work.flagWritten ? 0 : 1;
}
