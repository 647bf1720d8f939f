// Both windows at 150 %. Wine reads LogPixels when a process starts, so the
// suite sets it and starts itself again; the child lays the windows out and
// measures them. The value is put back when the parent's case ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "picker/BrowseFolder.h"
#include "platform/Window.h"
#include "tests/wizard/WizardFixture.h"
#include "wizard/Layout.h"

namespace {

constexpr UINT kDpi = 144;
constexpr wchar_t kChildVariable[] = L"SV_DPI_CHILD";

bool InChild() {
  return GetEnvironmentVariableW(kChildVariable, nullptr, 0) > 0;
}

int At150(int length) {
  return MulDiv(length, kDpi, 96);
}

// As the program's manifest asks; a Windows without the v2 context takes the
// process as system aware.
void BecomeDpiAware() {
  using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  auto set = reinterpret_cast<SetContext>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (!set || !set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) SetProcessDPIAware();
}

RECT ClientRectOf(HWND control) {
  RECT r;
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LONG FontHeight(HWND control) {
  auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW lf{};
  if (!font || !GetObjectW(font, sizeof(lf), &lf)) return 0;
  return lf.lfHeight;
}

TEST(Dpi, WindowsAt150PercentAreLaidOutForIt) {
  if (InChild()) GTEST_SKIP() << "the child runs the measuring cases";
  wiztest::SavedValue saved(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
  const DWORD dpi = kDpi;
  wiztest::SetRaw(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi,
                  sizeof(dpi));
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" --gtest_filter=DpiChild.*";
  SetEnvironmentVariableW(kChildVariable, L"1");
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  const BOOL started = testutil::StartProcess(nullptr, command, false, 0, nullptr, startup, info);
  SetEnvironmentVariableW(kChildVariable, nullptr);
  ASSERT_TRUE(started) << GetLastError();
  const platform::UniqueHandle thread(info.hThread), process(info.hProcess);
  ASSERT_EQ(WaitForSingleObject(info.hProcess, 120000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  EXPECT_EQ(code, 0u) << "the child's failures are in the output above";
}

class DpiChild : public wiztest::WizardTest {
 protected:
  void SetUp() override {
    if (!InChild()) GTEST_SKIP() << "run by Dpi.WindowsAt150PercentAreLaidOutForIt";
    BecomeDpiAware();
    ASSERT_EQ(platform::DpiOf(nullptr), kDpi);
  }
};

TEST_F(DpiChild, WizardFieldsSitAtOneAndAHalfTimesTheirPlace) {
  TfrmSetup& form = Open();
  RECT client;
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, 948);
  EXPECT_EQ(client.bottom, 680);
  for (const wizard::ControlDef& def : wizard::Layout()) {
    SCOPED_TRACE(platform::Utf8(def.name));
    HWND control = form.Control(def.name);
    ASSERT_NE(control, nullptr);
    const RECT r = ClientRectOf(control);
    const POINT origin = wizard::AreaOrigin(def.area);
    if (def.kind == wizard::Kind::Animation) {
      // The clip keeps its frames' size, centred on its scaled place.
      const int w = r.right - r.left, h = r.bottom - r.top;
      EXPECT_EQ(r.left, At150(origin.x + def.x) + (At150(w) - w) / 2);
      EXPECT_EQ(r.top, At150(origin.y + def.y) + (At150(h) - h) / 2);
      continue;
    }
    EXPECT_EQ(r.left, At150(origin.x + def.x));
    EXPECT_EQ(r.top, At150(origin.y + def.y));
    if (def.w > 0) {
      EXPECT_EQ(r.right - r.left, At150(def.w));
      EXPECT_EQ(r.bottom - r.top, At150(def.h));
    }
  }
  // The pictures resampled to 1.5 times their size (the side picture is
  // 123 x 308 at 100 %), the glyph taken at 24 pixels.
  const RECT side = ClientRectOf(form.Control(L"Image1"));
  EXPECT_EQ(side.right - side.left, At150(123));
  EXPECT_EQ(side.bottom - side.top, At150(308));
  auto glyph = reinterpret_cast<HICON>(
      SendMessageW(form.Control(L"SpeedButton1"), BM_GETIMAGE, IMAGE_ICON, 0));
  ICONINFO icon{};
  ASSERT_TRUE(GetIconInfo(glyph, &icon));
  const platform::UniqueBitmap mask(icon.hbmMask), colour(icon.hbmColor);
  BITMAP bits{};
  GetObjectW(mask.get(), sizeof(bits), &bits);
  EXPECT_EQ(bits.bmWidth, 24);
  // The texts in fonts made for 144 DPI: 11, 13 and 19 pixels at 96.
  EXPECT_EQ(FontHeight(form.Control(L"pbNext")), -17);
  EXPECT_EQ(FontHeight(form.Control(L"Label18")), -20);
  EXPECT_EQ(FontHeight(form.Control(L"txtName")), -17);
  EXPECT_EQ(FontHeight(form.Control(L"lbl3_1")), -29);
  EXPECT_EQ(SendMessageW(form.Control(L"lbFolders"), LB_GETITEMHEIGHT, 0, 0), 20);
}

TEST_F(DpiChild, PickerIsLaidOutForItsDpi) {
  // 333 x 277 at 100 %; the halves round up.
  picker::TfrmBrowseFldr dialog;
  RECT client;
  GetClientRect(dialog.Handle(), &client);
  EXPECT_EQ(client.right, 500);
  EXPECT_EQ(client.bottom, 416);
  const RECT list = ClientRectOf(dialog.lbDir), ok = ClientRectOf(dialog.pbOk),
             path = ClientRectOf(dialog.txtPath);
  EXPECT_EQ(list.left, 2);
  EXPECT_EQ(list.top, 108);
  EXPECT_EQ(list.right - list.left, At150(249));
  EXPECT_EQ(ok.left, At150(257));
  EXPECT_EQ(ok.top, 72);
  EXPECT_EQ(ok.bottom - ok.top, At150(25));
  EXPECT_EQ(path.top, 72);
  // The closed drive box is as high as 19 pixels at 100 %.
  const RECT drive = ClientRectOf(dialog.cmbDrive);
  EXPECT_EQ(drive.top, 384);
  EXPECT_EQ(drive.bottom - drive.top, At150(19));
  EXPECT_EQ(FontHeight(dialog.lbDir), -16);  // 8 points
}

}  // namespace
