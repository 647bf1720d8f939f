#include "tests/e2e/Driver.h"

#include <cstdio>
#include <vector>

#include "platform/Platform.h"
#include "tests/support/TestUtil.h"

namespace e2e {

namespace {
const DWORD kSendTimeoutMs = 5000;
}

std::string Narrow(const std::wstring& text) {
  return platform::Utf8(text);
}

DriveError::DriveError(const std::wstring& what) : std::runtime_error(Narrow(what)) {}

std::wstring WindowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  std::wstring out = L"Z:" + path;
  for (wchar_t& c : out)
    if (c == L'/') c = L'\\';
  return out;
}

Process::Process(const std::wstring& exe, const std::wstring& arguments,
                 const std::wstring& currentDir) {
  std::wstring commandLine = L"\"" + exe + L"\"";
  if (!arguments.empty()) commandLine += L" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!testutil::StartProcess(exe.c_str(), commandLine, false, 0,
                              currentDir.empty() ? nullptr : currentDir.c_str(), startup, info))
    throw DriveError(L"cannot start " + exe + L" (error " + std::to_wstring(GetLastError()) + L")");
  const platform::UniqueHandle thread(info.hThread);
  handle_.reset(info.hProcess);
  id_ = info.dwProcessId;
}

Process::~Process() {
  if (Running()) {
    TerminateProcess(handle_.get(), 99);
    WaitForSingleObject(handle_.get(), 5000);
  }
}

bool Process::Running() const {
  return WaitForSingleObject(handle_.get(), 0) == WAIT_TIMEOUT;
}
void Process::Kill() {
  TerminateProcess(handle_.get(), 99);
  if (!WaitForExit(30000)) throw DriveError(L"the process did not end when it was terminated");
}
bool Process::WaitForExit(DWORD timeoutMs) const {
  return WaitForSingleObject(handle_.get(), timeoutMs) == WAIT_OBJECT_0;
}
DWORD Process::ExitCode() const {
  DWORD code = 0;
  GetExitCodeProcess(handle_.get(), &code);
  return code;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs,
               const std::function<void()>& check) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  for (;;) {
    if (check) check();
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(50);
  }
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

namespace {

struct TopSearch {
  DWORD pid;
  std::wstring className;
  HWND found;
};

BOOL CALLBACK FindTop(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TopSearch*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window) && ClassOf(window) == search->className) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

struct ControlSearch {
  int id;
  HWND found;
};

BOOL CALLBACK FindChild(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<ControlSearch*>(param);
  if (GetDlgCtrlID(window) == search->id) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStatic(HWND window, LPARAM param) {
  auto* text = reinterpret_cast<std::wstring*>(param);
  if (_wcsicmp(ClassOf(window).c_str(), L"Static") != 0) return TRUE;
  if ((GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return TRUE;
  std::wstring part;
  try {
    part = WindowText(window);
  } catch (const DriveError&) {
    return TRUE;  // no exception may cross the system's callback
  }
  if (!part.empty()) {
    if (!text->empty()) *text += L"\n";
    *text += part;
  }
  return TRUE;
}

}  // namespace

HWND FindTopWindow(DWORD pid, const std::wstring& className) {
  TopSearch search{pid, className, nullptr};
  EnumWindows(FindTop, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindControl(HWND parent, int id) {
  ControlSearch search{id, nullptr};
  EnumChildWindows(parent, FindChild, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring WindowText(HWND window) {
  bool answered = false;
  std::wstring text = testutil::WindowText(window, &answered);
  if (!answered)
    throw DriveError(L"the window (" + ClassOf(window) + L") does not answer WM_GETTEXT" +
                     (IsWindow(window) ? L"" : L": it is gone"));
  return text;
}

bool Shown(HWND window) {
  return window && IsWindowVisible(window);
}

void SetEditText(HWND edit, const std::wstring& text) {
  if (!Shown(edit) || !IsWindowEnabled(edit))
    throw DriveError(L"the edit field is not there to type into");
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                           SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) ||
      !result)
    throw DriveError(L"the edit field refused the text " + text);
}

void Click(HWND button) {
  if (!button) throw DriveError(L"no such button");
  const std::wstring caption = WindowText(button);
  if (!Shown(button)) throw DriveError(L"the button " + caption + L" is hidden");
  if (!IsWindowEnabled(button)) throw DriveError(L"the button " + caption + L" is disabled");
  // Posted, not sent: the click may start long work or a modal box, and the
  // driver must stay free to watch it.
  PostMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

bool MessageBoxWindow::HasButton(int id) const {
  HWND button = GetDlgItem(window, id);
  return button && IsWindowVisible(button);
}

std::optional<MessageBoxWindow> FindMessageBox(DWORD pid) {
  HWND window = FindTopWindow(pid, L"#32770");
  if (!window) return std::nullopt;
  MessageBoxWindow box;
  box.window = window;
  box.caption = WindowText(window);
  EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&box.text));
  return box;
}

namespace {

struct TitledSearch {
  const std::wstring* caption;
  HWND found;
};

BOOL CALLBACK FindTitled(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TitledSearch*>(param);
  wchar_t caption[256] = {};
  if (IsWindowVisible(window) && ClassOf(window) == L"#32770" &&
      GetWindowTextW(window, caption, 256) && *search->caption == caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

std::optional<MessageBoxWindow> FindMessageBoxTitled(const std::wstring& caption) {
  TitledSearch search{&caption, nullptr};
  EnumWindows(FindTitled, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return std::nullopt;
  MessageBoxWindow box;
  box.window = search.found;
  box.caption = caption;
  EnumChildWindows(search.found, CollectStatic, reinterpret_cast<LPARAM>(&box.text));
  return box;
}

std::string RunForOutput(const std::wstring& commandLine, DWORD timeoutMs) {
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherited, 0)) throw DriveError(L"no pipe");
  platform::UniqueHandle reader(read), writer(write);
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION info{};
  std::wstring line = commandLine;
  if (!testutil::StartProcess(nullptr, line, true, CREATE_NO_WINDOW, nullptr, startup, info))
    throw DriveError(L"cannot start " + commandLine);
  const platform::UniqueHandle process(info.hProcess), thread(info.hThread);
  writer.reset();  // the pipe ends when the program's copy of it closes
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got) output.append(buffer, got);
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0)
    throw DriveError(L"no end of " + commandLine);
  return output;
}

void Answer(const MessageBoxWindow& box, int id) {
  HWND button = GetDlgItem(box.window, id);
  if (!button || !IsWindowVisible(button))
    throw DriveError(L"the message box \"" + box.text + L"\" has no button " + std::to_wstring(id));
  PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

void Shot(const std::wstring& name, HWND window) {
  wchar_t folder[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"SV_E2E_SHOTS", folder, MAX_PATH)) return;
  static int number = 0;
  wchar_t prefix[8];
  swprintf(prefix, 8, L"%02d-", ++number);
  const std::wstring request = std::wstring(folder) + L"\\" + prefix + name + L".req";
  RECT r{};
  if (window) GetWindowRect(window, &r);
  // Let the window finish painting before it is taken.
  if (window) RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  FILE* f = _wfopen((request + L".tmp").c_str(), L"wb");
  if (!f) return;
  fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  fclose(f);
  MoveFileExW((request + L".tmp").c_str(), request.c_str(), MOVEFILE_REPLACE_EXISTING);
  // No shooter at work: carry on without the picture.
  if (!WaitUntil([&] { return GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES; },
                 10000))
    DeleteFileW(request.c_str());
}

}  // namespace e2e
