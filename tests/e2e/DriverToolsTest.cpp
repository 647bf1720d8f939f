// The driver's own tools and the demo programs, worked from outside through
// real processes and real windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/e2e/Config.h"
#include "tests/e2e/Driver.h"
#include "tests/e2e/Wizard.h"

namespace e2e {

namespace {

enum : int { idPanel = 10, idEdit = 11, idShownButton = 12, idHiddenButton = 13 };

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && LOWORD(wParam) == idShownButton) {
    wchar_t text[256] = {};
    GetWindowTextW(FindControl(window, idEdit), text, 256);
    SetWindowTextW(window, text);
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wParam, lParam);
}

std::wstring Self() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return path;
}

}  // namespace

// A question as the wizard asks it; the answer becomes the exit code.
int ShowBoxForTest() {
  return MessageBoxW(nullptr, kAbortQuestion.c_str(), kTitle.c_str(), MB_YESNO | MB_ICONQUESTION);
}

// A small form whose edit sits inside a panel, as controls of a page do.
int ShowFormForTest() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = FormProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"E2EForm";
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  RegisterClassW(&wc);
  HWND form = CreateWindowW(L"E2EForm", L"form", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200,
                            nullptr, nullptr, wc.hInstance, nullptr);
  auto child = [&](HWND parent, const wchar_t* cls, DWORD style, int id) {
    return CreateWindowW(cls, L"", WS_CHILD | style, 10, 10, 120, 24, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
  };
  HWND panel = child(form, L"STATIC", WS_VISIBLE, idPanel);
  child(panel, L"EDIT", WS_VISIBLE, idEdit);
  child(form, L"BUTTON", WS_VISIBLE, idShownButton);
  child(form, L"BUTTON", 0, idHiddenButton);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

TEST(DriverTools, ReadsAndAnswersARealMessageBox) {
  for (int answer : {IDNO, IDYES}) {
    Process box(Self(), L"--show-box", L"");
    std::optional<MessageBoxWindow> found;
    ASSERT_TRUE(WaitUntil(
        [&] { return (found = FindMessageBox(box.Id())) && !found->text.empty(); }, 15000));
    EXPECT_EQ(found->caption, kTitle);
    EXPECT_EQ(found->text, kAbortQuestion);
    EXPECT_TRUE(found->HasButton(IDYES));
    EXPECT_TRUE(found->HasButton(IDNO));
    EXPECT_FALSE(found->HasButton(IDOK));
    EXPECT_THROW(Answer(*found, IDOK), DriveError);
    Answer(*found, answer);
    ASSERT_TRUE(box.WaitForExit(10000));
    EXPECT_EQ(box.ExitCode(), static_cast<DWORD>(answer));
  }
}

TEST(DriverTools, TypesIntoNestedControlsAndClicksOnlyWhatAPersonCould) {
  Process form(Self(), L"--show-form", L"");
  HWND window = nullptr;
  ASSERT_TRUE(WaitUntil([&] { return (window = FindTopWindow(form.Id(), L"E2EForm")); }, 15000));
  EXPECT_EQ(FindTopWindow(form.Id(), L"TfrmSetup"), nullptr);
  EXPECT_EQ(FindControl(window, 999), nullptr);

  // The window exists before its controls, and they before it is shown:
  // wait until a person could see the field.
  HWND edit = nullptr;
  ASSERT_TRUE(WaitUntil(
      [&] { return (edit = FindControl(window, idEdit)) && IsWindowVisible(edit); }, 5000))
      << "controls inside a panel must be found";
  const std::wstring text = L"Příliš žluťoučký kůň";
  SetEditText(edit, text);
  EXPECT_EQ(WindowText(edit), text);
  Click(FindControl(window, idShownButton));
  EXPECT_TRUE(WaitUntil([&] { return WindowText(window) == text; }, 5000));

  EXPECT_THROW(Click(FindControl(window, idHiddenButton)), DriveError);
  EXPECT_THROW(Click(nullptr), DriveError);
  EnableWindow(FindControl(window, idShownButton), FALSE);
  EXPECT_THROW(Click(FindControl(window, idShownButton)), DriveError);
  EXPECT_THROW(SetEditText(FindControl(window, idHiddenButton), L"x"), DriveError);

  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(form.WaitForExit(10000));
}

TEST(DriverTools, LinuxPathsAreReadThroughTheZDrive) {
  EXPECT_EQ(WindowsPath(L"/work/build/medium"), L"Z:\\work\\build\\medium");
  EXPECT_EQ(WindowsPath(L"C:\\Vantor"), L"C:\\Vantor");
}

// ------------------------------------------------------------ demo programs

namespace {

const wchar_t kQuor[] = L"Software\\Quor";
const wchar_t kVantor[] = L"Software\\Quor\\Vantor";
const wchar_t kFlag[] = L"Vantor_BDE_Inst_OK";

void SetValue(REGSAM view, const wchar_t* key, const wchar_t* name, const std::wstring& data) {
  platform::UniqueHkey k;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                            k.put(), nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                 static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
}

void DeleteValue(REGSAM view, const wchar_t* key, const wchar_t* name) {
  platform::UniqueHkey k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_SET_VALUE | view, k.put()) == ERROR_SUCCESS)
    RegDeleteValueW(k.get(), name);
}

bool ValueExists(REGSAM view, const wchar_t* key, const wchar_t* name) {
  platform::UniqueHkey k;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, k.put()) != ERROR_SUCCESS)
    return false;
  return RegQueryValueExW(k.get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

class DemoPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TheConfig().vantorPro.empty()) << "--vantorpro= missing";
    ASSERT_FALSE(TheConfig().bdeSetup.empty()) << "--bde-setup= missing";
    Clean();
  }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      DeleteValue(view, kQuor, kFlag);
      DeleteValue(view, kVantor, L"Name");
      DeleteValue(view, kVantor, L"Company");
    }
    SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", nullptr);
  }

  // The two texts VantorPro shows, read from its running window.
  static void ReadShown(std::wstring& title, std::wstring& name, std::wstring& company) {
    Process app(TheConfig().vantorPro, L"", L"");
    HWND window = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (window = FindTopWindow(app.Id(), L"TfrmVantorPro")); }, 15000));
    title = WindowText(window);
    name = WindowText(FindControl(window, 101));
    company = WindowText(FindControl(window, 103));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitForExit(10000));
  }
};

}  // namespace

TEST_F(DemoPrograms, VantorProShowsTheRegistrationTheWizardWrote) {
  SetValue(KEY_WOW64_32KEY, kVantor, L"Name", L"Jan Zkoušek");
  SetValue(KEY_WOW64_32KEY, kVantor, L"Company", L"Zkušební s.r.o.");
  // A value in the other view is not the wizard's and must not be shown.
  SetValue(KEY_WOW64_64KEY, kVantor, L"Name", L"jiný pohled");
  std::wstring title, name, company;
  ReadShown(title, name, company);
  EXPECT_EQ(title, L"VantorPro V1.3");
  EXPECT_EQ(name, L"Jan Zkoušek");
  EXPECT_EQ(company, L"Zkušební s.r.o.");

  Clean();
  ReadShown(title, name, company);
  EXPECT_EQ(name, L"(neuvedeno)");
  EXPECT_EQ(company, L"(neuvedeno)");
}

TEST_F(DemoPrograms, EngineSetupReportsCompletionAfterItsWork) {
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"2000");
  Process setup(TheConfig().bdeSetup, L"", L"");
  HWND window = nullptr;
  ASSERT_TRUE(
      WaitUntil([&] { return (window = FindTopWindow(setup.Id(), L"VantorBdeSetup")); }, 15000))
      << "the progress window must show while the engine is set up";
  EXPECT_FALSE(ValueExists(KEY_WOW64_32KEY, kQuor, kFlag)) << "the flag came before the work";
  ASSERT_TRUE(setup.WaitForExit(20000));
  EXPECT_EQ(setup.ExitCode(), 0u);
  EXPECT_TRUE(ValueExists(KEY_WOW64_32KEY, kQuor, kFlag));
  EXPECT_FALSE(ValueExists(KEY_WOW64_64KEY, kQuor, kFlag)) << "the wizard polls the 32-bit view";
}

TEST_F(DemoPrograms, EngineSetupStartedTwiceWorksOnce) {
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"3000");
  Process first(TheConfig().bdeSetup, L"", L"");
  ASSERT_TRUE(
      WaitUntil([&] { return FindTopWindow(first.Id(), L"VantorBdeSetup") != nullptr; }, 15000));
  Process second(TheConfig().bdeSetup, L"", L"");
  ASSERT_TRUE(second.WaitForExit(10000)) << "a second copy must leave the work to the first";
  EXPECT_EQ(second.ExitCode(), 0u);
  EXPECT_TRUE(first.Running());
  EXPECT_FALSE(ValueExists(KEY_WOW64_32KEY, kQuor, kFlag));
  ASSERT_TRUE(first.WaitForExit(20000));
  EXPECT_TRUE(ValueExists(KEY_WOW64_32KEY, kQuor, kFlag));
}

}  // namespace e2e
