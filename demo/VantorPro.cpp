// VantorPro, demo edition: the application the demo medium installs. It shows
// who it is registered to, as the wizard recorded it in the registry.
#include <windows.h>

#include <string>

#include "platform/Handles.h"

namespace {

const wchar_t kTitle[] = L"VantorPro V1.3";
const wchar_t kUnregistered[] = L"(neuvedeno)";

enum : int { idNameLabel = 100, idName, idCompanyLabel, idCompany, idClose };

// The wizard writes into the 32-bit view of HKLM; read the same view.
std::wstring ReadValue(HKEY key, const wchar_t* name) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(wchar_t))
    return {};
  std::wstring text(size / sizeof(wchar_t), L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return {};
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

struct Registration {
  std::wstring name, company;
};

Registration ReadRegistration() {
  Registration r;
  platform::UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quor\\Vantor", 0, KEY_READ | KEY_WOW64_32KEY,
                    key.put()) == ERROR_SUCCESS) {
    r.name = ReadValue(key.get(), L"Name");
    r.company = ReadValue(key.get(), L"Company");
  }
  return r;
}

// The message font of the system; empty when it cannot be had.
platform::UniqueFont UiFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    return platform::UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
  return {};
}

HWND Child(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int x, int y,
           int w, int h, int id, HFONT font) {
  HWND child = CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleW(nullptr), nullptr);
  SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  return child;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  static platform::UniqueFont ownFont;
  switch (message) {
    case WM_CREATE: {
      ownFont = UiFont();
      HFONT font = ownFont ? ownFont.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
      const Registration r = ReadRegistration();
      Child(window, L"STATIC", L"Licence pro:", SS_LEFT, 20, 20, 100, 20, idNameLabel, font);
      Child(window, L"STATIC", r.name.empty() ? kUnregistered : r.name, SS_LEFT | SS_NOPREFIX, 130,
            20, 260, 20, idName, font);
      Child(window, L"STATIC", L"Společnost:", SS_LEFT, 20, 48, 100, 20, idCompanyLabel, font);
      Child(window, L"STATIC", r.company.empty() ? kUnregistered : r.company, SS_LEFT | SS_NOPREFIX,
            130, 48, 260, 20, idCompany, font);
      Child(window, L"BUTTON", L"Zavřít", BS_DEFPUSHBUTTON | WS_TABSTOP, 300, 90, 90, 26, idClose,
            font);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == idClose || LOWORD(wParam) == IDCANCEL) DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"TfrmVantorPro";
  if (!RegisterClassExW(&wc)) return 1;

  RECT frame{0, 0, 410, 130};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRect(&frame, style, FALSE);
  HWND window = CreateWindowExW(0, wc.lpszClassName, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                                frame.right - frame.left, frame.bottom - frame.top, nullptr,
                                nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  UpdateWindow(window);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
