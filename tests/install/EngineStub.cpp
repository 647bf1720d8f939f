// A database-engine setup program for the installation tests. It leaves a
// trace that it ran ("<its own path>.ran", holding its command line, and
// "<its own path>.cwd", holding the folder it was started in) and,
// when SV_STUB_FLAG_MS names a delay, writes the completion flag after it;
// without that variable it never reports completion. After the report it
// lingers while the event "SvEngineStubLinger" exists and is not set.
#include <windows.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH * 2] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  const std::wstring trace = std::wstring(self) + L".ran";
  HANDLE file = CreateFileW(trace.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(std::wcslen(line) * sizeof(wchar_t)), &written,
              nullptr);
    CloseHandle(file);
  }
  wchar_t current[MAX_PATH * 2] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH * 2, current);
  file = CreateFileW((std::wstring(self) + L".cwd").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, current, length * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
  }

  wchar_t delay[32] = {};
  const DWORD n = GetEnvironmentVariableW(L"SV_STUB_FLAG_MS", delay, 32);
  if (n == 0 || n >= 32) return 0;
  Sleep(static_cast<DWORD>(std::wcstoul(delay, nullptr, 10)));
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Quor", 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return 1;
  const wchar_t data[] = L"1";
  const LONG rc = RegSetValueExW(key, L"Vantor_BDE_Inst_OK", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(data), sizeof(data));
  RegCloseKey(key);
  // A test that holds this event open keeps the program running after its
  // report until the test sets it.
  HANDLE linger = OpenEventW(SYNCHRONIZE, FALSE, L"SvEngineStubLinger");
  if (linger) {
    WaitForSingleObject(linger, 60000);
    CloseHandle(linger);
  }
  return rc == ERROR_SUCCESS ? 0 : 1;
}
