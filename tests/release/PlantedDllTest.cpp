// A medium with a DLL planted beside the program under the name of a system
// DLL that is not a KnownDLL (UxTheme.dll, MPR.dll, OLEACC.dll, which the
// wizard reaches through COM for its live regions). Wine loads such a file
// from beside the program where the DLL's load order says "native, then
// builtin", as Windows does for every non-KnownDLL: a control program proves
// that, and the built wizard must load the system's copies instead.
#include <windows.h>
#include <psapi.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/e2e/Wizard.h"
#include "tests/release/ReleaseTestSupport.h"
#include "tests/support/TestUtil.h"

namespace {

const wchar_t* const kPlanted[] = {L"uxtheme.dll", L"mpr.dll", L"oleacc.dll"};

// Wine's per-program DLL load order (HKCU\Software\Wine\AppDefaults\<exe>
// \DllOverrides), for the scope. The WINEDLLOVERRIDES variable would not do:
// a Wine program starts its children with its own start's value of it.
class NativeFirst {
 public:
  explicit NativeFirst(const std::wstring& exe,
                       std::initializer_list<const wchar_t*> dlls = {L"uxtheme", L"mpr", L"oleacc"})
      : key_(L"Software\\Wine\\AppDefaults\\" + exe) {
    platform::UniqueHkey overrides;
    RegCreateKeyExW(HKEY_CURRENT_USER, (key_ + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                    KEY_SET_VALUE, nullptr, overrides.put(), nullptr);
    const wchar_t order[] = L"native,builtin";
    for (const wchar_t* name : dlls)
      RegSetValueExW(overrides.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(order),
                     sizeof(order));
  }
  ~NativeFirst() { RegDeleteTreeW(HKEY_CURRENT_USER, key_.c_str()); }

 private:
  std::wstring key_;
};

// A network drive (as GetDriveType reports it) on a folder, made through
// Wine's mount manager: the folder picker asks MPR.dll for its share name.
class NetworkDrive {
 public:
  explicit NetworkDrive(const std::wstring& folder) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    letter_ = testutil::ClaimDriveLetter(claim_);
    char* path = unixName ? unixName(folder.c_str()) : nullptr;
    if (!letter_ || !path || !Define(letter_, path)) letter_ = 0;
    if (path) HeapFree(GetProcessHeap(), 0, path);
  }
  ~NetworkDrive() {
    if (letter_) Define(letter_, nullptr);
  }
  wchar_t Letter() const { return letter_; }

 private:
  struct Request {  // the mount manager's, as Wine's configuration tool fills it
    ULONG size, type, fsType;
    DWORD serial;
    ULONGLONG unixDev;
    WCHAR letter;
    USHORT mountPointOffset, deviceOffset, labelOffset;
  };
  static bool Define(wchar_t letter, const char* unixPath) {
    platform::UniqueFile manager(
        CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!manager) return false;
    const size_t length = unixPath ? std::strlen(unixPath) : 0;
    std::vector<char> buffer(sizeof(Request) + length + 1, '\0');
    auto* request = reinterpret_cast<Request*>(buffer.data());
    request->size = static_cast<ULONG>(buffer.size());
    request->letter = static_cast<WCHAR>(towlower(letter));
    if (unixPath) {
      request->type = DRIVE_REMOTE;
      request->mountPointOffset = sizeof(Request);
      std::memcpy(buffer.data() + sizeof(Request), unixPath, length);
    }
    DWORD returned = 0;
    return DeviceIoControl(
               manager.get(),
               CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS),
               buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
               nullptr) != FALSE;
  }
  wchar_t letter_ = 0;
  platform::UniqueHandle claim_;  // the letter, against other test programs
};

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// The DLLs a running process has loaded: lower-case file name -> full path.
std::map<std::wstring, std::wstring> LoadedModules(DWORD pid) {
  std::map<std::wstring, std::wstring> loaded;
  platform::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
  HMODULE modules[512];
  DWORD bytes = 0;
  if (!process || !K32EnumProcessModules(process.get(), modules, sizeof(modules), &bytes))
    return loaded;
  for (DWORD i = 0; i < bytes / sizeof(HMODULE); ++i) {
    wchar_t path[MAX_PATH] = {};
    if (!K32GetModuleFileNameExW(process.get(), modules[i], path, MAX_PATH)) continue;
    const std::wstring full = path;
    loaded[Lower(full.substr(full.find_last_of(L'\\') + 1))] = Lower(full);
  }
  return loaded;
}

TEST(PlantedDlls, TheProgramLoadsSystemDllsFromTheSystemFolderOnly) {
  testutil::TempDir medium;
  const std::wstring program = medium / L"SetupVantor.exe";
  const std::wstring control = medium / L"PlantControl.exe";
  ASSERT_TRUE(CopyFileW(testutil::ProgramPath().c_str(), program.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(testutil::FromBuild(SV_PLANT_CONTROL).c_str(), control.c_str(), FALSE));
  for (const wchar_t* name : kPlanted)
    ASSERT_TRUE(
        CopyFileW(testutil::FromBuild(SV_PLANTED_DLL).c_str(), (medium / name).c_str(), FALSE));
  const auto planted = [&](const wchar_t* name) {
    return platform::FileExists(medium / (std::wstring(name) + L".loaded"));
  };
  NativeFirst controlOrder(L"PlantControl.exe"), programOrder(L"SetupVantor.exe");
  NetworkDrive drive(medium.Path());
  ASSERT_NE(drive.Letter(), 0) << "no network drive for the folder picker to ask MPR.dll about";
  ASSERT_EQ(GetDriveTypeW((std::wstring(1, drive.Letter()) + L":\\").c_str()),
            static_cast<UINT>(DRIVE_REMOTE));

  // The control: imported the ordinary way, every planted file is loaded.
  {
    e2e::Process run(control, L"", medium.Path());
    ASSERT_TRUE(run.WaitForExit(30000));
    for (const wchar_t* name : kPlanted) {
      EXPECT_TRUE(planted(name)) << platform::Utf8(name) << " was not loaded from the medium";
      DeleteFileW((medium / (std::wstring(name) + L".loaded")).c_str());
    }
  }

  // The wizard: its window is up (the check boxes' theme is set through
  // UxTheme.dll, the live regions marked through OLEACC.dll) and the folder
  // picker has listed the drives (the network drive's share through
  // MPR.dll). Every one of them is the system's.
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  e2e::Wizard wizard(medium.Path());
  wizard.Sync();
  const auto loaded = LoadedModules(wizard.Program().Id());
  for (const wchar_t* name : kPlanted) {
    const auto found = loaded.find(name);
    ASSERT_NE(found, loaded.end()) << platform::Utf8(name) << " was never loaded";
    EXPECT_EQ(found->second, Lower(std::wstring(system) + L"\\" + name));
  }
  PostMessageW(wizard.Window(), WM_CLOSE, 0, 0);
  e2e::Answer(wizard.WaitForQuestion(), IDYES);
  EXPECT_TRUE(wizard.WaitForExit());
  for (const wchar_t* name : kPlanted)
    EXPECT_FALSE(planted(name)) << platform::Utf8(name) << " beside the program was loaded";
}

// The uninstaller's copy used to run from the system's temporary folder,
// where every account may leave a file: a bcrypt.dll put there beforehand is
// loaded by the control beside it, never by the uninstaller.
TEST(PlantedDlls, TheUninstallerLoadsNoDllFromTheSystemsTemporaryFolder) {
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring temp = std::wstring(windows) + L"\\Temp\\";
  const std::wstring dll = temp + L"bcrypt.dll", marker = dll + L".loaded";
  const std::wstring uninstaller = temp + L"Odinstalovat.exe", control = temp + L"PlantControl.exe";
  struct Cleanup {
    std::vector<std::wstring> files;
    ~Cleanup() {
      for (const std::wstring& file : files) DeleteFileW(file.c_str());
    }
  } cleanup{{uninstaller, control, dll, marker}};
  ASSERT_TRUE(CopyFileW(testutil::FromBuild(SV_UNINSTALL_EXE).c_str(), uninstaller.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(testutil::FromBuild(SV_PLANT_CONTROL).c_str(), control.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(testutil::FromBuild(SV_PLANTED_DLL).c_str(), dll.c_str(), FALSE));
  NativeFirst controlOrder(L"PlantControl.exe", {L"bcrypt"}),
      uninstallerOrder(L"Odinstalovat.exe", {L"bcrypt"});
  {
    e2e::Process run(control, L"", temp);
    ASSERT_TRUE(run.WaitForExit(30000));
    ASSERT_TRUE(platform::FileExists(marker)) << "the control did not load the planted DLL";
    ASSERT_TRUE(DeleteFileW(marker.c_str()));
  }
  // Its first message (no installation to remove, or its question) is up
  // once everything it imports is loaded.
  e2e::Process run(uninstaller, L"", temp);
  std::optional<e2e::MessageBoxWindow> box;
  ASSERT_TRUE(
      e2e::WaitUntil([&] { return (box = e2e::FindMessageBox(run.Id())).has_value(); }, 60000));
  e2e::Answer(*box, box->HasButton(IDNO) ? IDNO : IDOK);
  ASSERT_TRUE(run.WaitForExit(30000));
  EXPECT_FALSE(platform::FileExists(marker)) << "the uninstaller loaded the planted bcrypt.dll";
}

}  // namespace
