// The window as the file work sees it: status line, progress, pump, abort
// flag, the text sink and the component choices.
#include "tests/wizard/WizardFixture.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>

namespace wiztest {
namespace {

class WorkContextTest : public WizardTest {};

TEST_F(WorkContextTest, StatusAndProgressAlwaysHoldTheLastValue) {
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  HWND bar = form.Control(L"ProgressBar1");
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 1000);
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Kopíruji soubor");
  {
    // The copy page shows; its installation finds no archive here and ends
    // with its message, which is answered. The program would end now.
    testutil::ScriptedBoxes boxes;
    form.CurrentPage = 5;
    form.ShowPage(5);
    ASSERT_EQ(boxes.Asked().size(), 1u);
    ASSERT_TRUE(platform::Terminated());
    platform::ResetTerminated();
    ::AbortRequested = false;
  }
  SendMessageW(bar, PBM_SETRANGE32, 0, 1000);
  SendMessageW(bar, PBM_SETPOS, 0, 0);

  const int count = 500;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    work.SetStatus(L"Kopíruji soubor C:\\Vantor\\soubor" + std::to_wstring(i) + L".dat");
    work.StepProgress();
    EXPECT_EQ(form.Text(L"lblCopyFile"),
              L"Kopíruji soubor C:\\Vantor\\soubor" + std::to_wstring(i) + L".dat");
  }
  const auto spent = std::chrono::steady_clock::now() - start;
  std::printf(
      "%d status changes and steps: %lld ms\n", count,
      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(spent).count()));
  EXPECT_LE(SendMessageW(bar, PBM_GETPOS, 0, 0), count);

  // What the last frame skipped reaches the screen by itself, with no more
  // work calling in: the window's own loop runs the flush.
  for (int i = 0; i < 10; ++i) {
    Sleep(10);
    platform::ProcessMessages();
  }
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), count);
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(form.Control(L"lblCopyFile"), &dirty, FALSE));
  EXPECT_FALSE(GetUpdateRect(bar, &dirty, FALSE));
  // The quiet change leaves the controls visible.
  EXPECT_TRUE(IsWindowVisible(form.Control(L"lblCopyFile")));
  EXPECT_TRUE(IsWindowVisible(bar));
}

TEST_F(WorkContextTest, StatusChangeOnAHiddenPageKeepsItHidden) {
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  work.SetStatus(L"Rozbaluji");
  work.StepProgress();
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Rozbaluji");
  EXPECT_FALSE(IsWindowVisible(form.Control(L"lblCopyFile")));
  EXPECT_FALSE(IsWindowVisible(form.Control(L"ProgressBar1")));
}

TEST_F(WorkContextTest, PumpRunsPendingHandlersAndStopSetsTheFlag) {
  testutil::ScriptedBoxes boxes({IDNO});
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  EXPECT_FALSE(work.AbortRequested());
  PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
  work.ProcessMessages();
  EXPECT_EQ(boxes.Asked().size(), 1u);  // the close request ran inside the pump
  work.StopInstall();
  EXPECT_TRUE(::AbortRequested);
  EXPECT_TRUE(work.AbortRequested());
  EXPECT_EQ(work.SetupTitle(), L"Instalace aplikace VantorPro DEMO");
}

TEST_F(WorkContextTest, MemoCollectsLinesAfterItsFirstLine) {
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  work.AddMemoLine(L"  inflating: Vantor.exe");
  work.AddMemoLine(L"");
  work.AddMemoLine(L"  creating: Vzory/");
  EXPECT_EQ(form.Text(L"Memo1"), L"Memo1\r\n  inflating: Vantor.exe\r\n\r\n  creating: Vzory/\r\n");
  // Far beyond the default limit of an edit field.
  const std::wstring line(200, L'x');
  for (int i = 0; i < 400; ++i) work.AddMemoLine(line);
  EXPECT_GT(form.Text(L"Memo1").size(), 400u * 200u);
}

TEST_F(WorkContextTest, ComponentsLeftOnCdFollowTheCheckBoxes) {
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  EXPECT_FALSE(work.LeaveVzoryOnCd());
  EXPECT_FALSE(work.LeavePrikladyOnCd());
  form.SetChecked(L"cbVzory", true);
  EXPECT_TRUE(work.LeaveVzoryOnCd());
  EXPECT_FALSE(work.LeavePrikladyOnCd());
  form.SetChecked(L"cbPriklady", true);
  EXPECT_TRUE(work.LeavePrikladyOnCd());
}

TEST_F(WorkContextTest, TimerRunsItsHandlerOnlyWhileEnabled) {
  TfrmSetup& form = Open();
  EXPECT_FALSE(form.TimerEnabled());
  EXPECT_EQ(TfrmSetup::kTimerInterval, 1000u);
  form.SetTimerEnabled(true);
  EXPECT_TRUE(form.TimerEnabled());
  form.SetTimerEnabled(false);
  EXPECT_FALSE(form.TimerEnabled());
  // No timer message is left to arrive.
  Sleep(1100);
  MSG msg;
  EXPECT_FALSE(PeekMessageW(&msg, form.Handle(), WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

}  // namespace
}  // namespace wiztest
