// Odinstalovat.exe: removes VantorPro as its installation recorded it. Started
// from the list of installed apps (it lies in the application folder), it
// asks, then hands the work to a copy of itself in a temporary folder and
// ends, so that the copy can remove the program file and the folder it lay
// in. The copy is deleted by the system when it ends.
#include <windows.h>

#include <string>

#include "install/InstallRecord.h"
#include "platform/Platform.h"
#include "uninstall/Removal.h"

extern "C" int WinMainCRTStartup();

// Ahead of the C runtime: a DLL loaded by name comes from the system folder
// only, never from beside the program (the temporary folder, say).
extern "C" int UninstallStart() {
  using SetDirs = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories = reinterpret_cast<SetDirs>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32))
    SetDllDirectoryW(L"");
  return WinMainCRTStartup();
}

namespace {

const wchar_t kAfter[] = L"--after=";
const std::wstring kProduct = install::kProductName;
// At most this many kept items are named; the rest are counted.
constexpr size_t kListed = 15;

int Show(const std::wstring& text, UINT flags) {
  return platform::ShowMessageBox(text, platform::ApplicationTitle(), flags | MB_SETFOREGROUND);
}

// The record, or a message saying why there is none; nothing is removed then.
bool Record(install::InstallRecord& record) {
  switch (install::ReadRecord(record)) {
    case install::RecordState::Present:
      return true;
    case install::RecordState::Missing:
      Show(L"Záznam o instalaci aplikace " + kProduct +
               L" nebyl nalezen.\r\nOdinstalace není možná, nic nebylo odebráno.",
           MB_OK | MB_ICONERROR);
      return false;
    case install::RecordState::Damaged:
      break;
  }
  Show(L"Záznam o instalaci aplikace " + kProduct +
           L" je poškozen.\r\nOdinstalace není možná, nic nebylo odebráno.",
       MB_OK | MB_ICONERROR);
  return false;
}

int Work() {
  install::InstallRecord record;
  if (!Record(record)) return 1;
  const std::vector<std::wstring> kept = uninstall::RemoveInstallation(record);
  std::wstring text = L"Aplikace " + kProduct + L" byla z tohoto počítače odebrána.";
  if (!kept.empty()) {
    text +=
        L"\r\n\r\nTyto soubory a složky zůstaly zachovány, protože byly po instalaci změněny, "
        L"obsahují jiné soubory nebo je nebylo možné bezpečně odebrat:";
    for (size_t i = 0; i < kept.size() && i < kListed; ++i) text += L"\r\n" + kept[i];
    if (kept.size() > kListed)
      text += L"\r\n… a další (" + std::to_wstring(kept.size() - kListed) + L")";
  }
  text += L"\r\n\r\nDatabázový ovladač BDE zůstává nainstalován: má vlastní instalaci.";
  Show(text, MB_OK | MB_ICONINFORMATION);
  return kept.empty() ? 0 : 2;
}

// The folder for the working copy: Windows' own temporary folder, where
// other accounts may add files but change none of ours, so the copy that
// runs elevated is the copy written. The user's temporary folder only when
// there is none.
std::wstring CopyFolder() {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
  if (length > 0 && length < MAX_PATH - 6) {
    const std::wstring temp = std::wstring(folder, length) + L"\\Temp\\";
    if (platform::FolderExists(temp)) return temp;
  }
  const DWORD tempLength = GetTempPathW(MAX_PATH, folder);
  return tempLength > 0 && tempLength < MAX_PATH ? std::wstring(folder, tempLength) : L"";
}

// Starts a copy of this program in a temporary folder that waits for this
// process to end and then does the work. The copy is opened for deletion on
// close and that handle is inherited: when the copy ends, the system deletes
// it. False when no copy could be started.
bool HandOver() {
  wchar_t self[MAX_PATH] = {};
  const DWORD selfLength = GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring folder = CopyFolder();
  if (selfLength == 0 || selfLength >= MAX_PATH || folder.empty()) return false;
  const std::wstring copy =
      folder + L"Odinstalace VantorPro " + std::to_wstring(GetCurrentProcessId()) + L".exe";
  if (!CopyFileW(self, copy.c_str(), TRUE)) return false;
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  platform::UniqueFile deleteOnClose(
      CreateFileW(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited,
                  OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!deleteOnClose) {
    DeleteFileW(copy.c_str());
    return false;
  }
  HANDLE me = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me,
                       SYNCHRONIZE, TRUE, 0))
    return false;
  const platform::UniqueHandle ownProcess(me);
  wchar_t handleText[32];
  swprintf(handleText, 32, L"%llx",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(me)));
  std::wstring commandLine = L"\"" + copy + L"\" " + kAfter + handleText;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // Started in the temporary folder: a current folder inside the application
  // folder would keep it from being removed.
  if (!CreateProcessW(copy.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                      NORMAL_PRIORITY_CLASS, nullptr, folder.c_str(), &startup, &info))
    return false;
  const platform::UniqueHandle process(info.hProcess), thread(info.hThread);
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  platform::SetApplicationTitle(L"Odinstalace VantorPro");
  const std::wstring arguments = commandLine ? commandLine : L"";
  if (arguments.starts_with(kAfter)) {
    // The copy: the program it came from must have ended before its file goes.
    const auto value = std::wcstoull(arguments.c_str() + wcslen(kAfter), nullptr, 16);
    const platform::UniqueHandle started(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)));
    if (WaitForSingleObject(started.get(), INFINITE) != WAIT_OBJECT_0) return 1;
    return Work();
  }
  install::InstallRecord record;
  if (!Record(record)) return 1;
  if (Show(L"Opravdu chcete z tohoto počítače odebrat aplikaci " + kProduct +
               L"?\r\n\r\nSoubory, které jste po instalaci změnili nebo vytvořili, zůstanou "
               L"zachovány.",
           MB_YESNO | MB_ICONQUESTION) != IDYES)
    return 0;
  if (HandOver()) return 0;
  // No copy could run: the work is done from here, and this program's own
  // file is named among what stays.
  return Work();
}
