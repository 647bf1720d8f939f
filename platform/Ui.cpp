#include "platform/Platform.h"

#include <cstring>

namespace platform {

SetupError::SetupError(std::wstring message)
    : std::runtime_error(Utf8(message)), message_(std::move(message)) {}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::wstring Utf8OrOem(const char* text) {
  if (!text || !*text) return {};
  const int length = static_cast<int>(std::strlen(text));
  UINT codePage = CP_UTF8;
  DWORD flags = MB_ERR_INVALID_CHARS;
  int n = MultiByteToWideChar(codePage, flags, text, length, nullptr, 0);
  if (n == 0) {
    codePage = CP_OEMCP;
    flags = 0;
    n = MultiByteToWideChar(codePage, flags, text, length, nullptr, 0);
  }
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, flags, text, length, out.data(), n);
  return out;
}

std::wstring AsciiUpper(std::wstring text) {
  for (auto& c : text)
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  return text;
}

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ListBoxItem(HWND list, LRESULT index) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == LB_ERR ? 0 : static_cast<size_t>(copied));
  return text;
}

namespace {
std::wstring g_title;
HWND g_mainWindow = nullptr;
MessageBoxResponder g_responder;
bool g_terminated = false;
Cursor g_cursor = Cursor::Default;
}  // namespace

void SetApplicationTitle(const std::wstring& title) {
  g_title = title;
}
const std::wstring& ApplicationTitle() {
  return g_title;
}
void SetMainWindow(HWND window) {
  g_mainWindow = window;
}
HWND MainWindow() {
  return g_mainWindow;
}

void SetMessageBoxResponder(MessageBoxResponder responder) {
  g_responder = std::move(responder);
}

int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags) {
  if (g_responder) return g_responder(text, caption, flags);
  // Owned by the window the user works in, so the program's other windows
  // stay disabled while the box is up.
  HWND owner = GetActiveWindow();
  if (!owner) owner = g_mainWindow;
  return MessageBoxW(owner, text.c_str(), caption.c_str(), flags);
}

void ShowMessage(const std::wstring& text) {
  ShowMessageBox(text, g_title, MB_OK);
}

std::wstring ErrorDisplayText(const std::wstring& message) {
  if (!message.empty() && message.back() > L'.') return message + L".";
  return message;
}

void ShowError(const std::wstring& message) {
  ShowMessageBox(ErrorDisplayText(message), g_title, MB_OK | MB_ICONHAND);
}

void ShowCurrentError() noexcept {
  try {
    try {
      throw;
    } catch (const SetupError& e) {
      ShowError(e.Message());
    } catch (const std::exception& e) {
      ShowError(Wide(e.what()));
    } catch (...) {
      ShowError(L"Neočekávaná chyba");
    }
  } catch (...) {
    // The display itself failed (no memory left for the text): nothing more
    // can be shown, and nothing may leave the handler.
  }
}

void RunHandler(const std::function<void()>& handler) noexcept {
  try {
    handler();
  } catch (...) {
    ShowCurrentError();
  }
}

void DispatchOne(MSG& msg) {
  // Dialog keyboard routing (Tab, Enter, Esc, accelerators) for whichever of
  // our top-level windows the message is for.
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  if (root && IsDialogMessageW(root, &msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      g_terminated = true;
      continue;
    }
    DispatchOne(msg);
  }
}

void RunMessageLoop() {
  MSG msg;
  while (!g_terminated) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) break;
    DispatchOne(msg);
  }
}

bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    if (g_terminated) return false;
    const ULONGLONG spent = GetTickCount64() - start;
    if (timeoutMs != INFINITE && spent >= timeoutMs) return false;
    const DWORD left = timeoutMs == INFINITE ? INFINITE : static_cast<DWORD>(timeoutMs - spent);
    const DWORD count = handle ? 1 : 0;
    const DWORD woke = MsgWaitForMultipleObjects(count, &handle, FALSE, left, QS_ALLINPUT);
    if (count && woke == WAIT_OBJECT_0) return true;
    if (woke == WAIT_FAILED) return false;
    ProcessMessages();
  }
}

void Terminate() {
  g_terminated = true;
  // Wakes the main loop if it is waiting in GetMessage.
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
}

bool Terminated() {
  return g_terminated;
}
void ResetTerminated() {
  g_terminated = false;
}

void SetAppCursor(Cursor cursor) {
  g_cursor = cursor;
  ApplyAppCursor();
  if (cursor == Cursor::Default) {
    POINT p;
    GetCursorPos(&p);
    SetCursorPos(p.x, p.y);  // lets the window under the mouse set its own cursor again
  }
}

Cursor AppCursor() {
  return g_cursor;
}

bool ApplyAppCursor() {
  switch (g_cursor) {
    case Cursor::AppStart:
      SetCursor(LoadCursorW(nullptr, IDC_APPSTARTING));
      return true;
    case Cursor::Wait:
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      return true;
    default:
      return false;
  }
}

}  // namespace platform
