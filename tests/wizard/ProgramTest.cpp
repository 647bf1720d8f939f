// The built SetupVantor.exe: started as its own process in a medium folder,
// its window found from outside and closed through the real message boxes;
// its icon, version information and manifest.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/Platform.h"
#include "tests/support/TestUtil.h"
#include "wizard/ControlIds.h"

namespace {

using testutil::ProgramPath;
using testutil::WindowText;

struct Search {
  DWORD process;
  const wchar_t* cls;
  HWND found;
};

// Looks at least once; with a timeout, again until the window is there.
HWND FindProcessWindow(DWORD process, const wchar_t* cls, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    Search search{process, cls, nullptr};
    EnumWindows(
        [](HWND hwnd, LPARAM lp) -> BOOL {
          auto* s = reinterpret_cast<Search*>(lp);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          wchar_t name[64] = {};
          GetClassNameW(hwnd, name, 64);
          if (owner == s->process && lstrcmpW(name, s->cls) == 0 && IsWindowVisible(hwnd)) {
            s->found = hwnd;
            return FALSE;
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found) return search.found;
    if (std::chrono::steady_clock::now() >= end) return nullptr;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Another process's state, looked at until pred holds; false after timeoutMs.
bool Eventually(const std::function<bool()>& pred, int timeoutMs = 10000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

std::wstring BoxText(HWND box) {
  std::wstring all;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (lstrcmpiW(cls, L"Static") == 0) all += WindowText(child);
  }
  return all;
}

TEST(Program, StartsInItsFolderAndClosesThroughTheRealQuestion) {
  testutil::TempDir medium;
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::wstring command = L"\"" + ProgramPath() + L"\"";
  ASSERT_TRUE(
      testutil::StartProcess(nullptr, command, false, 0, medium.Path().c_str(), startup, info))
      << GetLastError();
  const platform::UniqueHandle thread(info.hThread), process(info.hProcess);

  HWND wizard = FindProcessWindow(info.dwProcessId, L"TfrmSetup", 20000);
  ASSERT_NE(wizard, nullptr);
  EXPECT_EQ(WindowText(wizard), L"Instalace aplikace VantorPro DEMO");
  RECT client;
  GetClientRect(wizard, &client);
  EXPECT_EQ(client.right, 632);
  EXPECT_EQ(client.bottom, 453);
  EXPECT_EQ(WindowText(GetDlgItem(wizard, ids::pbNext)), L"&Další  >");
  EXPECT_EQ(WindowText(GetDlgItem(wizard, ids::txtVantorPro)), L"C:\\Vantor");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(wizard, ids::pbPrev)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(wizard, ids::cbVzory)));

  // A second start (a double click on the autorun) ends by itself, with no
  // window of its own and nothing written, while the first runs on.
  PROCESS_INFORMATION second{};
  std::wstring again = command;
  ASSERT_TRUE(
      testutil::StartProcess(nullptr, again, false, 0, medium.Path().c_str(), startup, second));
  const platform::UniqueHandle secondThread(second.hThread), secondProcess(second.hProcess);
  ASSERT_EQ(WaitForSingleObject(second.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD secondCode = 1;
  GetExitCodeProcess(second.hProcess, &secondCode);
  EXPECT_EQ(secondCode, 0u);
  EXPECT_EQ(FindProcessWindow(second.dwProcessId, L"TfrmSetup", 0), nullptr);
  EXPECT_EQ(platform::FolderListing(medium.Path()).StartResult(), 0u);
  int entries = 0;
  platform::FolderListing listing(medium.Path());
  for (platform::DirEntry entry; listing.Next(entry);) ++entries;
  EXPECT_EQ(entries, 2);  // "." and ".."
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));

  // Storno, answered No in the real message box: the wizard stays.
  PostMessageW(GetDlgItem(wizard, ids::pbCancel), BM_CLICK, 0, 0);
  HWND box = FindProcessWindow(info.dwProcessId, L"#32770", 10000);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WindowText(box), L"Instalace aplikace VantorPro DEMO");
  EXPECT_EQ(BoxText(box), L"Opravdu chcete ukončit instalaci?");
  ASSERT_NE(GetDlgItem(box, IDNO), nullptr);
  PostMessageW(GetDlgItem(box, IDNO), BM_CLICK, 0, 0);
  EXPECT_TRUE(Eventually([&] { return !IsWindow(box); }));
  // The box is gone; a program that ended after it would take no more
  // input. This one answers the next click: "&Další  >" enables "<  &Zpět".
  PostMessageW(GetDlgItem(wizard, ids::pbNext), BM_CLICK, 0, 0);
  EXPECT_TRUE(Eventually([&] { return IsWindowEnabled(GetDlgItem(wizard, ids::pbPrev)) != 0; }));
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_TRUE(IsWindow(wizard));

  // The title bar's close, answered Yes: the program ends.
  PostMessageW(wizard, WM_SYSCOMMAND, SC_CLOSE, 0);
  box = FindProcessWindow(info.dwProcessId, L"#32770", 10000);
  ASSERT_NE(box, nullptr);
  PostMessageW(GetDlgItem(box, IDYES), BM_CLICK, 0, 0);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 15000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, 0u);
  if (WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(info.hProcess, 1);
}

// A name taken by another program, as any account could take one, keeps no
// start from its window: the wizard's one-wizard name lives in a namespace
// only Administrators may make. Where the system has no private namespaces
// (Wine 8), the wizard takes the old global name, and a start it finds taken
// there says so instead of ending without a word.
TEST(Program, ANameTakenByAnotherProgramEndsNoStartWithoutAWord) {
  const bool namespaces =
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreatePrivateNamespaceW") != nullptr;
  struct Row {
    const wchar_t* name;
    bool blocksWithoutNamespaces;
  };
  const Row rows[] = {
      {L"Global\\SetupVantor.Wizard", true},  // the name the wizard took before
      {L"Global\\SetupVantor", false},        // a plain object named like the namespace
      {L"SetupVantor.Wizard", false},         // this session's
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << platform::Utf8(row.name));
    const platform::UniqueHandle squat(CreateMutexW(nullptr, TRUE, row.name));
    ASSERT_TRUE(squat);
    testutil::TempDir medium;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::wstring command = L"\"" + ProgramPath() + L"\"";
    ASSERT_TRUE(
        testutil::StartProcess(nullptr, command, false, 0, medium.Path().c_str(), startup, info));
    const platform::UniqueHandle thread(info.hThread), process(info.hProcess);
    if (!namespaces && row.blocksWithoutNamespaces) {
      HWND box = FindProcessWindow(info.dwProcessId, L"#32770", 20000);
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(BoxText(box),
                L"Instalace VantorPro již na tomto počítači běží pod jiným přihlášeným "
                L"uživatelem. Počkejte, až skončí, a potom ji spusťte znovu.");
      EXPECT_EQ(FindProcessWindow(info.dwProcessId, L"TfrmSetup", 0), nullptr);
      PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
      EXPECT_EQ(WaitForSingleObject(info.hProcess, 20000), static_cast<DWORD>(WAIT_OBJECT_0));
    } else {
      EXPECT_NE(FindProcessWindow(info.dwProcessId, L"TfrmSetup", 20000), nullptr);
      TerminateProcess(info.hProcess, 0);
      WaitForSingleObject(info.hProcess, 20000);
    }
  }
}

TEST(Program, CarriesItsIdentity) {
  const std::wstring exe = ProgramPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> data(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, data.data()));
  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0405);
  EXPECT_EQ(translation[1], 1250);
  auto field = [&](const wchar_t* name) -> std::wstring {
    wchar_t* value = nullptr;
    UINT chars = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040504E2\\") + name;
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars))
      return L"(missing)";
    return chars ? std::wstring(value) : std::wstring();
  };
  EXPECT_EQ(field(L"FileVersion"), L"1.3.0.0");
  EXPECT_EQ(field(L"ProductVersion"), L"1.0.0.0");
  EXPECT_EQ(field(L"FileDescription"), L"Vantor Instalátor");
  EXPECT_EQ(field(L"InternalName"), L"SetupVantor");
  EXPECT_EQ(field(L"CompanyName"), L"Quor");
  for (const wchar_t* empty : {L"LegalCopyright", L"OriginalFilename", L"ProductName", L"Comments"})
    EXPECT_EQ(field(empty), L"") << platform::Utf8(empty);

  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
#pragma pack(push, 2)
  struct GroupEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bits;
    DWORD bytes;
    WORD id;
  };
  struct Group {
    WORD reserved, type, count;
    GroupEntry entries[1];
  };
#pragma pack(pop)
  HRSRC icon = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(icon, nullptr);
  const auto* group = static_cast<const Group*>(LockResource(LoadResource(module, icon)));
  ASSERT_EQ(group->count, 2);
  for (int i = 0; i < 2; ++i) {
    const GroupEntry& e = group->entries[i];
    EXPECT_EQ(e.width, i == 0 ? 32 : 16);
    EXPECT_EQ(e.colours, 16);
    EXPECT_EQ(e.bits, 4);
  }
  HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(manifest, nullptr);
  const std::string text(static_cast<const char*>(LockResource(LoadResource(module, manifest))),
                         SizeofResource(module, manifest));
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(text.find("requireAdministrator"), std::string::npos);
  // In the namespace Windows reads it from; in any other it is ignored.
  EXPECT_NE(text.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/"
                      "WindowsSettings\">true</longPathAware>"),
            std::string::npos);
  FreeLibrary(module);
}

}  // namespace
