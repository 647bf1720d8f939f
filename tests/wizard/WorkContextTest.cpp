// The window as the file work sees it: status line, progress, pump, abort
// flag, the text sink and the component choices.
#include "tests/wizard/WizardFixture.h"

#include "platform/Handles.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace wiztest {
namespace {

class WorkContextTest : public WizardTest {
 protected:
  // The copy page shows; its installation finds no archive here and ends
  // with its message, which is answered. The program would end now; it is
  // kept for the test.
  void ToCopyPage(TfrmSetup& form) {
    testutil::ScriptedBoxes boxes;
    form.CurrentPage = 5;
    form.ShowPage(5);
    ASSERT_EQ(boxes.Asked().size(), 1u);
    ASSERT_TRUE(platform::Terminated());
    platform::ResetTerminated();
    ::AbortRequested = false;
  }
};

// The client area of a window as it is on the screen now, one value a pixel.
std::vector<uint32_t> ScreenPixels(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = r.right;
  info.bmiHeader.biHeight = -r.bottom;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  HDC screen = GetDC(hwnd);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  const platform::UniqueBitmap bitmap(
      CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  HGDIOBJ old = SelectObject(memory, bitmap.get());
  BitBlt(memory, 0, 0, r.right, r.bottom, screen, 0, 0, SRCCOPY);
  GdiFlush();
  std::vector<uint32_t> pixels(static_cast<uint32_t*>(bits),
                               static_cast<uint32_t*>(bits) + r.right * r.bottom);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(hwnd, screen);
  return pixels;
}

size_t LitPixels(const std::vector<uint32_t>& pixels) {
  return static_cast<size_t>(
      std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0; }));
}

std::wstring WindowManagersText(HWND hwnd) {
  wchar_t text[256] = L"";
  InternalGetWindowText(hwnd, text, 256);
  return text;
}

TEST_F(WorkContextTest, StatusAndProgressAlwaysHoldTheLastValue) {
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  HWND bar = form.Control(L"ProgressBar1");
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 1000);
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Kopíruji soubor");
  ToCopyPage(form);
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
  const std::wstring last = form.Text(L"lblCopyFile");
  HWND label = form.Control(L"lblCopyFile");
  testutil::PumpUntil([&] { return WindowManagersText(label) == last; });
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), count);
  RECT dirty;
  EXPECT_FALSE(GetUpdateRect(form.Control(L"lblCopyFile"), &dirty, FALSE));
  EXPECT_FALSE(GetUpdateRect(bar, &dirty, FALSE));
  // The quiet change leaves the controls visible.
  EXPECT_TRUE(IsWindowVisible(form.Control(L"lblCopyFile")));
  EXPECT_TRUE(IsWindowVisible(bar));
}

TEST_F(WorkContextTest, StatusLinePaintsTheTextItKeeps) {
  TfrmSetup& form = Open();
  fileops::WorkContext& work = form;
  ToCopyPage(form);
  HWND label = form.Control(L"lblCopyFile");

  work.SetStatus(L"Kopíruji soubor první.dat");
  testutil::PumpUntil([&] { return WindowManagersText(label) == L"Kopíruji soubor první.dat"; });
  const std::vector<uint32_t> first = ScreenPixels(label);
  EXPECT_GT(LitPixels(first), 20u);
  EXPECT_EQ(WindowManagersText(label), L"Kopíruji soubor první.dat");
  // The quick paint of the flush is what a full repaint gives.
  InvalidateRect(label, nullptr, TRUE);
  UpdateWindow(label);
  EXPECT_EQ(ScreenPixels(label), first);

  // Read back at once, painted within the frame.
  work.SetStatus(L"Kopíruji soubor druhý a delší.dat");
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Kopíruji soubor druhý a delší.dat");
  testutil::PumpUntil(
      [&] { return WindowManagersText(label) == L"Kopíruji soubor druhý a delší.dat"; });
  const std::vector<uint32_t> second = ScreenPixels(label);
  EXPECT_NE(second, first);
  EXPECT_GT(LitPixels(second), LitPixels(first));
  EXPECT_EQ(WindowManagersText(label), L"Kopíruji soubor druhý a delší.dat");

  // Set the ordinary way, the line shows the new text without the work.
  form.SetText(L"lblCopyFile", L"Kopíruji soubor první.dat");
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Kopíruji soubor první.dat");
  testutil::PumpUntil([&] { return !GetUpdateRect(label, nullptr, FALSE); });
  EXPECT_EQ(ScreenPixels(label), first);

  // A caller with a small buffer gets the start of the text, terminated.
  wchar_t small[8];
  EXPECT_EQ(SendMessageW(label, WM_GETTEXT, 8, reinterpret_cast<LPARAM>(small)), 7);
  EXPECT_EQ(std::wstring(small), L"Kopíruj");
  EXPECT_EQ(SendMessageW(label, WM_GETTEXTLENGTH, 0, 0), 25);
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
  EXPECT_FALSE(work.StopRequested());
  PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
  work.ProcessMessages();
  EXPECT_EQ(boxes.Asked().size(), 1u);  // the close request ran inside the pump
  work.StopInstall();
  EXPECT_TRUE(::AbortRequested);
  EXPECT_TRUE(work.StopRequested());
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
  // No timer message is left to arrive: a timer of the same interval set
  // afterwards comes due after any tick of the stopped one would have.
  constexpr UINT_PTR kProbe = 99;
  SetTimer(form.Handle(), kProbe, TfrmSetup::kTimerInterval, nullptr);
  MSG msg;
  while (!PeekMessageW(&msg, form.Handle(), WM_TIMER, WM_TIMER, PM_NOREMOVE)) WaitMessage();
  KillTimer(form.Handle(), kProbe);
  if (msg.wParam == kProbe) PeekMessageW(&msg, form.Handle(), WM_TIMER, WM_TIMER, PM_REMOVE);
  EXPECT_FALSE(PeekMessageW(&msg, form.Handle(), WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

}  // namespace
}  // namespace wiztest
