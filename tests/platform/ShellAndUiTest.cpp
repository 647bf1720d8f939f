#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "tests/support/TestUtil.h"

using testutil::ScriptedBoxes;
using testutil::TempDir;

TEST(ShellLink, SavedPropertiesReadBackAndAnExistingShortcutIsOverwritten) {
  TempDir dir;
  const std::wstring file = dir / L"Nápověda VantorPro.lnk";
  {
    platform::ShellLink link;
    link.SetPath(L"C:\\Vantor\\VantorPro.hlp");
    link.SetArguments(L"");
    link.SetWorkingDirectory(L"C:\\Vantor\\");
    link.SetDescription(L"Nápověda VantorPro");
    EXPECT_EQ(link.Save(file), S_OK);
  }
  platform::ShortcutInfo info;
  ASSERT_TRUE(platform::ReadShortcut(file, info));
  EXPECT_EQ(info.path, L"C:\\Vantor\\VantorPro.hlp");
  EXPECT_EQ(info.arguments, L"");
  EXPECT_EQ(info.workingDirectory, L"C:\\Vantor\\");
  EXPECT_EQ(info.description, L"Nápověda VantorPro");
  {
    platform::ShellLink link;
    link.SetPath(L"C:\\Other\\VantorPro.exe");
    link.SetDescription(L"VantorPro");
    link.Save(file);
  }
  ASSERT_TRUE(platform::ReadShortcut(file, info));
  EXPECT_EQ(info.path, L"C:\\Other\\VantorPro.exe");
  EXPECT_EQ(info.description, L"VantorPro");
}

TEST(ShellLink, SavingIntoAMissingFolderFailsQuietly) {
  TempDir dir;
  platform::ShellLink link;
  link.SetPath(L"C:\\Vantor\\VantorPro.exe");
  EXPECT_TRUE(FAILED(link.Save(dir / L"missing\\VantorPro.lnk")));
  EXPECT_FALSE(platform::FileExists(dir / L"missing\\VantorPro.lnk"));
}

TEST(ErrorDisplay, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(platform::ErrorDisplayText(L"Unable to create directory"),
            L"Unable to create directory.");
  EXPECT_EQ(platform::ErrorDisplayText(L"Hotovo!"), L"Hotovo!");
  EXPECT_EQ(platform::ErrorDisplayText(L"Done."), L"Done.");
  EXPECT_EQ(platform::ErrorDisplayText(L"a,"), L"a,");
  EXPECT_EQ(platform::ErrorDisplayText(L"value 1"), L"value 1.");
  EXPECT_EQ(platform::ErrorDisplayText(L"Chyba ř"), L"Chyba ř.");
  EXPECT_EQ(platform::ErrorDisplayText(L""), L"");
}

TEST(ErrorDisplay, AnErrorInAHandlerEndsItAndIsShownWithTheTitle) {
  platform::SetApplicationTitle(L"Instalace aplikace VantorPro DEMO");
  ScriptedBoxes boxes;
  bool after = false;
  platform::RunHandler([&] {
    throw platform::SetupError(L"Unable to create directory");
    after = true;
  });
  EXPECT_FALSE(after);
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].text, L"Unable to create directory.");
  EXPECT_EQ(boxes.Asked()[0].caption, L"Instalace aplikace VantorPro DEMO");
  EXPECT_EQ(boxes.Asked()[0].flags, 16u);
}

TEST(MessageBox, ARealBoxIsOwnedByTheMainWindowWhichIsDisabledMeanwhile) {
  HWND main = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200,
                              100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(main, nullptr);
  platform::SetMainWindow(main);
  SetActiveWindow(main);
  struct Probe {
    HWND main;
    bool disabled = false;
    bool found = false;
  } probe{main};
  // Closes the box from inside its own modal loop, noting what it saw.
  static Probe* active = nullptr;
  active = &probe;
  // The tick is dispatched only by the box's own loop; it acts once the box
  // is up, however long that takes.
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = FindWindowW(L"#32770", L"Caption");
    if (!box || !IsWindowVisible(box)) return;
    KillTimer(nullptr, id);
    active->found = true;
    active->disabled = !IsWindowEnabled(active->main);
    PostMessageW(box, WM_COMMAND, IDNO, 0);
  });
  const int answer = platform::ShowMessageBox(L"Question?", L"Caption", MB_YESNO | MB_ICONQUESTION);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(probe.found);
  EXPECT_TRUE(probe.disabled);
  EXPECT_EQ(answer, IDNO);
  EXPECT_TRUE(IsWindowEnabled(main));
  platform::SetMainWindow(nullptr);
  DestroyWindow(main);
}

TEST(MessageLoop, PendingMessagesRunAndTheLoopEndsAfterTerminate) {
  static int handled = 0;
  handled = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 1, [](HWND, UINT, UINT_PTR, DWORD) { ++handled; });
  EXPECT_TRUE(testutil::PumpUntil([] { return handled >= 1; }));
  KillTimer(nullptr, timer);

  // A close accepted inside a nested handler: the work in progress goes on,
  // and the main loop ends as soon as control is back there.
  platform::ResetTerminated();
  PostThreadMessageW(GetCurrentThreadId(), WM_APP, 0, 0);
  platform::Terminate();
  platform::ProcessMessages();  // must not swallow the end of the program
  EXPECT_TRUE(platform::Terminated());
  platform::RunMessageLoop();  // returns at once
  platform::ResetTerminated();
}

TEST(Processes, StartReportsWhetherTheProgramRan) {
  TempDir dir;
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  const std::wstring marker = dir / L"ran.txt";
  platform::UniqueHandle process;
  ASSERT_TRUE(platform::StartProcess(L"cmd.exe /c echo x> \"" + marker + L"\"", si, &process));
  ASSERT_EQ(WaitForSingleObject(process.get(), 60000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_TRUE(platform::FileExists(marker));
  EXPECT_FALSE(platform::StartProcess(dir / L"missing\\Setup.exe", si));
}

TEST(Restart, GoesThroughTheReplaceableHandler) {
  int calls = 0;
  platform::SetRestartHandler([&] { ++calls; });
  platform::RequestRestart();
  platform::SetRestartHandler({});
  EXPECT_EQ(calls, 1);
}

#include "platform/OneWizard.h"

namespace {

// The uninstaller's working copy joins the lock its first run took: once
// that run ends, no wizard starts until the copy is done.
TEST(OneWizard, AJoinedLockOutlivesTheRunThatTookIt) {
  auto first = std::make_unique<OneWizard>();
  ASSERT_TRUE(first->Take());
  auto copy = std::make_unique<OneWizard>();
  ASSERT_TRUE(copy->Join());
  first.reset();
  EXPECT_FALSE(OneWizard().Take());
  copy.reset();
  EXPECT_TRUE(OneWizard().Take());
}

}  // namespace
