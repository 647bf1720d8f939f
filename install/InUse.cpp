#include "install/InUse.h"

#include <tlhelp32.h>

#include <algorithm>

#include "install/Messages.h"
#include "platform/Platform.h"

namespace install {

namespace {

bool SameMoment(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

FILETIME StartOf(HANDLE process) {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  return created;
}

// The program of that identity, still running, held for the wait.
platform::UniqueHandle Reopen(const RunningProgram& program) {
  platform::UniqueHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, program.pid));
  if (process && !SameMoment(StartOf(process.get()), program.started)) process.reset();
  return process;
}

struct WindowsOf {
  DWORD pid;
  std::vector<HWND> found;
};

// A program's main windows: its visible top-level windows that no other
// window owns, as the person closes them.
BOOL CALLBACK CollectMainWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowsOf*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == search->pid && IsWindowVisible(window) && !GetWindow(window, GW_OWNER))
    search->found.push_back(window);
  return TRUE;
}

}  // namespace

ProgramsInUse::ProgramsInUse(const std::vector<std::wstring>& paths) {
  if (paths.empty()) return;
  wchar_t key[CCH_RM_SESSION_KEY + 1] = {};
  if (RmStartSession(session_.put(), 0, key) != ERROR_SUCCESS) session_.release();
  if (session_) {
    std::vector<LPCWSTR> files;
    for (const std::wstring& path : paths) files.push_back(path.c_str());
    UINT needed = 0, count = 0;
    DWORD reasons = 0;
    std::vector<RM_PROCESS_INFO> infos;
    DWORD status = RmRegisterResources(session_.get(), static_cast<UINT>(files.size()),
                                       files.data(), 0, nullptr, 0, nullptr);
    if (status == ERROR_SUCCESS) status = ERROR_MORE_DATA;
    while (status == ERROR_MORE_DATA) {
      infos.resize(needed + 4);
      count = static_cast<UINT>(infos.size());
      status = RmGetList(session_.get(), &needed, &count, infos.data(), &reasons);
    }
    if (status == ERROR_SUCCESS)
      for (UINT i = 0; i < count; ++i)
        if (infos[i].Process.dwProcessId != GetCurrentProcessId())
          programs_.push_back({infos[i].Process.dwProcessId, infos[i].Process.ProcessStartTime,
                               infos[i].strAppName});
    namedByRestartManager_ = !programs_.empty();
    if (namedByRestartManager_) return;
  }
  // What Restart Manager cannot name: the programs started from a file the
  // commit replaces, or from a folder it replaces whole.
  std::vector<std::wstring> wanted;
  for (const std::wstring& path : paths) wanted.push_back(platform::ComparablePath(path));
  const platform::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    const platform::UniqueHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    // One that has ended holds nothing, whoever still holds its handle.
    if (!process || WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0) continue;
    wchar_t image[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    if (!QueryFullProcessImageNameW(process.get(), 0, image, &size)) continue;
    const std::wstring path = platform::ComparablePath(std::wstring(image, size));
    const bool holds = std::any_of(wanted.begin(), wanted.end(), [&](const std::wstring& w) {
      return path == w || (path.starts_with(w) && path[w.size()] == L'\\');
    });
    if (holds)
      programs_.push_back(
          {entry.th32ProcessID, StartOf(process.get()), platform::ExtractFileName(image)});
  }
}

std::vector<std::wstring> ProgramsInUse::Names() const {
  std::vector<std::wstring> names;
  for (const RunningProgram& program : programs_)
    if (std::find(names.begin(), names.end(), program.name) == names.end())
      names.push_back(program.name);
  return names;
}

void ProgramsInUse::Close(DWORD waitMs) {
  if (namedByRestartManager_) {
    // Not forced: a program that refuses stays, and is named again.
    RmShutdown(session_.get(), 0, nullptr);
    return;
  }
  std::vector<platform::UniqueHandle> going;
  for (const RunningProgram& program : programs_) {
    platform::UniqueHandle process = Reopen(program);
    if (!process) continue;
    WindowsOf windows{program.pid, {}};
    EnumWindows(CollectMainWindow, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows.found) PostMessageW(window, WM_CLOSE, 0, 0);
    going.push_back(std::move(process));
  }
  const ULONGLONG deadline = GetTickCount64() + waitMs;
  for (const platform::UniqueHandle& process : going) {
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline ||
        !platform::WaitPumping(process.get(), static_cast<DWORD>(deadline - now)))
      return;
  }
}

bool ProgramsLetGo(InstallHost& host, const std::vector<std::wstring>& paths, DWORD waitMs) {
  for (;;) {
    ProgramsInUse inUse(paths);
    if (inUse.Programs().empty()) return true;
    if (host.Ask(ProgramsRunning(inUse.Names()), MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
      return false;
    inUse.Close(waitMs);
    const ProgramsInUse left(paths);
    if (left.Programs().empty()) return true;
    if (host.Ask(ProgramsStillRunning(left.Names()), MB_RETRYCANCEL | MB_ICONEXCLAMATION) !=
        IDRETRY)
      return false;
  }
}

}  // namespace install
