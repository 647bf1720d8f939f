// Odinstalovat.exe: removes VantorPro as its installation recorded it. Started
// from the list of installed apps (it lies in the application folder), it
// asks, then hands the work to a copy of itself in a temporary folder and
// ends, so that the copy can remove the program file and the folder it lay
// in. The copy is written from the program file held since before the
// question and checked against the record (HandOver.h); the system deletes it
// when it ends.
#include <windows.h>

#include <string>

#include "install/InstallRecord.h"
#include "install/Journal.h"
#include "install/Messages.h"
#include "platform/OneWizard.h"
#include "platform/Platform.h"
#include "uninstall/HandOver.h"
#include "uninstall/Removal.h"

extern "C" int WinMainCRTStartup();

// Ahead of the C runtime: a DLL loaded by name comes from the system folder
// only, never from beside the program (the temporary folder, say).
extern "C" int UninstallStart() {
  platform::LoadDllsFromSystemOnly();
  return WinMainCRTStartup();
}

namespace {

using uninstall::Show;

const wchar_t kAfter[] = L"--after=";
const std::wstring kProduct = install::kProductName;
// At most this many kept items are named; the rest are counted.
constexpr size_t kListed = 15;

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

// The wizard's lock is another's: nothing is removed meanwhile.
int SayWizardRuns() {
  Show(L"Na tomto počítači právě probíhá instalace aplikace " + kProduct +
           L".\r\nOdinstalace není možná, nic nebylo odebráno. Počkejte, až instalace skončí, "
           L"a odinstalaci opakujte.",
       MB_OK | MB_ICONERROR);
  return 1;
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

// Starts the working copy, which waits for this process to end and then
// does the work. The copy inherits the handle that deletes it when closed:
// when the copy ends, the system deletes it. It is started only when the
// program the system made the process from is the very file written (by
// its file ID). False when it could not start.
bool StartCopy(const uninstall::WorkingCopy& copy, const std::wstring& folder) {
  if (!SetHandleInformation(copy.deleteOnClose.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
    return false;
  HANDLE me = nullptr;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &me,
                       SYNCHRONIZE, TRUE, 0))
    return false;
  const platform::UniqueHandle ownProcess(me);
  // Set by the copy once it holds the wizard's lock with this run: this run
  // lets go of it only then, so that no wizard comes in between.
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  const platform::UniqueHandle joined(CreateEventW(&inherited, TRUE, FALSE, nullptr));
  if (!joined) return false;
  wchar_t handles[96];
  swprintf(handles, 96, L"%llx %llx %llx",
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(me)),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(copy.deleteOnClose.get())),
           static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(joined.get())));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  platform::UniqueHandle process;
  // Started in the temporary folder: a current folder inside the application
  // folder would keep it from being removed.
  if (!platform::StartProcess(L"\"" + copy.path + L"\" " + kAfter + handles, startup, &process,
                              copy.deleteOnClose.get(), folder, true))
    return false;
  const HANDLE either[] = {joined.get(), process.get()};
  WaitForMultipleObjects(2, either, FALSE, INFINITE);
  return true;
}

// This program's own file, as the system started it.
std::wstring OwnPath() {
  wchar_t self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(self, length) : std::wstring();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
  platform::SetApplicationTitle(L"Odinstalace VantorPro");
  const std::wstring arguments = commandLine ? commandLine : L"";
  if (arguments.starts_with(kAfter)) {
    // The copy: the program it came from must have ended before its file
    // goes. Until its work is done it holds the wizard's lock with it, so
    // that no wizard installs while it removes.
    wchar_t* rest = nullptr;
    const auto started = std::wcstoull(arguments.c_str() + wcslen(kAfter), &rest, 16);
    const auto own = std::wcstoull(rest, &rest, 16);
    const auto joined = std::wcstoull(rest, nullptr, 16);
    const auto handle = [](unsigned long long value) {
      return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value));
    };
    const platform::UniqueHandle startedBy(handle(started));
    const platform::UniqueFile ownFile(handle(own));
    int result = 1;
    {
      OneWizard lock;
      const bool held = lock.Join();
      if (joined) {
        const platform::UniqueHandle told(handle(joined));
        SetEvent(told.get());
      }
      if (WaitForSingleObject(startedBy.get(), INFINITE) != WAIT_OBJECT_0) return 1;
      result = held ? Work() : SayWizardRuns();
    }
    uninstall::LeaveCopyFolder(ownFile.get(), OwnPath());
    return result;
  }
  // Holding the wizard's own lock: no wizard runs, or starts, meanwhile; the
  // working copy takes it on. A run of the installer that was ended at once
  // is put back first (never one that is still running), so that the record
  // read next is the one before it. Once, in the first run only: the copy
  // reads the record this run left.
  OneWizard lock;
  if (!lock.Take()) return SayWizardRuns();
  // Ground this program cannot judge, or that a rollback could not put back
  // whole: nothing is removed over it.
  const std::wstring nothingRemoved = L"Odinstalace není možná, nic nebylo odebráno.";
  const install::Recovery recovery = install::RecoverUnfinishedRun();
  if (recovery.state == install::Recovery::State::Unreadable) {
    Show(install::UnfinishedRunUnreadable(nothingRemoved), MB_OK | MB_ICONERROR);
    return 1;
  }
  if (recovery.state == install::Recovery::State::Left) {
    Show(install::RollBackLeft(recovery.left) + L"\r" + nothingRemoved, MB_OK | MB_ICONERROR);
    return 1;
  }
  install::InstallRecord record;
  if (!Record(record)) return 1;
  const std::wstring folder = uninstall::CopyFolder();
  uninstall::WorkingCopy copy;
  switch (uninstall::AskAndCopy(record, OwnPath(), folder, copy)) {
    case uninstall::Asked::No:
      return 0;
    case uninstall::Asked::Refused:
      return 1;
    case uninstall::Asked::CopyReady:
      if (StartCopy(copy, folder)) return 0;
      break;
    case uninstall::Asked::NoCopy:
      break;
  }
  // No copy could run: the work is done from here, and this program's own
  // file is named among what stays.
  return Work();
}
