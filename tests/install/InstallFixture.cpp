#include "tests/install/InstallFixture.h"

#include <commctrl.h>

#include "install/Journal.h"

namespace installtest {

namespace {

PollTicks* g_ticks = nullptr;
bool g_intervalPassed = false;

void CALLBACK IntervalPassed(HWND, UINT, UINT_PTR, DWORD) {
  g_intervalPassed = true;
}

}  // namespace

// ------------------------------------------------------------- WhenStatus

WhenStatus::WhenStatus(TfrmSetup& form, std::wstring prefix, std::function<void()> action)
    : form_(form), prefix_(std::move(prefix)), action_(std::move(action)) {
  form_.OnWorkPump = [this](const std::wstring& status) {
    if (fired_ || !status.starts_with(prefix_)) return;
    fired_ = true;
    seen_ = status;
    action_();
  };
}

WhenStatus::~WhenStatus() {
  form_.OnWorkPump = {};
}

// -------------------------------------------------------------- PollTicks

PollTicks::PollTicks(const TfrmSetup& form)
    : window_(form.Handle()),
      hook_(SetWindowsHookExW(WH_GETMESSAGE, &PollTicks::Hook, nullptr, GetCurrentThreadId())) {
  g_ticks = this;
}

PollTicks::~PollTicks() {
  g_ticks = nullptr;
}

LRESULT CALLBACK PollTicks::Hook(int code, WPARAM wp, LPARAM lp) {
  const auto* msg = reinterpret_cast<const MSG*>(lp);
  if (code == HC_ACTION && wp == PM_REMOVE && g_ticks && msg->message == WM_TIMER &&
      msg->hwnd == g_ticks->window_)
    ++g_ticks->count_;
  return CallNextHookEx(nullptr, code, wp, lp);
}

bool PollTicks::WaitFor(int n, DWORD timeoutMs) {
  const int until = count_ + n;
  return PumpUntil([&] { return count_ >= until; }, timeoutMs);
}

void PumpThroughOneInterval() {
  g_intervalPassed = false;
  const UINT_PTR probe = SetTimer(nullptr, 0, TfrmSetup::kTimerInterval, &IntervalPassed);
  EXPECT_TRUE(PumpUntil([] { return g_intervalPassed; }, 60000));
  KillTimer(nullptr, probe);
}

// ------------------------------------------------------------ InstallTest

InstallTest::InstallTest() {
  CleanInstallationKeys();
  testutil::MakeDirs(Programs());
  testutil::MakeDirs(Programs() + L"\\Příslušenství");
  wiztest::SetString(HKEY_CURRENT_USER, wiztest::kShellFolders, L"Programs", Programs());
  wiztest::SetString(HKEY_LOCAL_MACHINE, wiztest::kNtKey, L"RegisteredOwner", L"Jan Novák");
  wiztest::SetString(HKEY_LOCAL_MACHINE, wiztest::kNtKey, L"RegisteredOrganization",
                     L"Kůň a spol.");
  wchar_t cwd[MAX_PATH * 2] = {};
  GetCurrentDirectoryW(MAX_PATH * 2, cwd);
  savedCwd_ = cwd;
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"300");
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);
}

InstallTest::~InstallTest() {
  form_.reset();
  SetCurrentDirectoryW(savedCwd_.c_str());
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", nullptr);
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);
  CleanInstallationKeys();
}

TfrmSetup& InstallTest::OpenOnMedium(const MediumSpec& layout) {
  testutil::MakeDirs(Medium());
  payload_ = MakePayload(layout);
  WriteArchive(Medium() + L"\\Vaninst.pak", payload_);
  // The wizard takes the folder it starts in as the medium.
  EXPECT_TRUE(SetCurrentDirectoryW(Medium().c_str()));
  return Open();
}

void InstallTest::ToSummary() {
  while (Form().CurrentPage < 4) {
    const int before = Form().CurrentPage;
    Click(L"pbNext");
    ASSERT_EQ(Form().CurrentPage, before + 1) << "stuck on page " << before;
  }
  ASSERT_EQ(Form().ShownPageName(), L"pgStartCopy");
}

bool InstallTest::WaitForFinishPage(DWORD timeoutMs) {
  return PumpUntil([this] { return Form().ShownPage() == 6; }, timeoutMs);
}

bool InstallTest::WaitForEngineToEnd(DWORD timeoutMs) {
  const std::wstring program = Form().SourceDir + L"\\Utility\\Bde\\Setup.exe";
  return PumpUntil(
      [&] {
        HANDLE h = CreateFileW(program.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        CloseHandle(h);
        return true;
      },
      timeoutMs);
}

void InstallTest::ExpectFinished(const std::wstring& work) {
  EXPECT_FALSE(install::Journal::Load().has_value()) << "the finish left its journal";
  EXPECT_TRUE(testutil::PumpUntil([&] { return !platform::FolderExists(work); }))
      << "left in " << platform::Utf8(work) << ": "
      << testing::PrintToString(testutil::Names(work));
}

void InstallTest::SetFolders(const std::wstring& app, const std::wstring& projects,
                             const std::wstring& templates) {
  Form().SetText(L"txtVantorPro", app);
  Form().SetText(L"txtProjekty", projects);
  Form().SetText(L"txtVzory", templates);
}

int InstallTest::ProgressMax() const {
  return static_cast<int>(SendMessageW(form_->Control(L"ProgressBar1"), PBM_GETRANGE, FALSE, 0));
}

int InstallTest::ProgressPos() const {
  return static_cast<int>(SendMessageW(form_->Control(L"ProgressBar1"), PBM_GETPOS, 0, 0));
}

void InstallTest::ExpectFatal(const Boxes& boxes, const std::wstring& text) {
  ASSERT_EQ(boxes.Asked().size(), 1u) << "asked: " << boxes.Asked().size();
  EXPECT_EQ(boxes.Asked()[0].text, text);
  EXPECT_EQ(boxes.Asked()[0].caption, kTitle);
  EXPECT_EQ(boxes.Asked()[0].flags, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(platform::Terminated());
  EXPECT_TRUE(Form().CloseWithoutPrompt);
  EXPECT_TRUE(::AbortRequested);
  EXPECT_FALSE(Form().TimerEnabled());
  // Nothing more is asked while the program winds down.
  PumpThroughOneInterval();
  EXPECT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(Form().ShownPage(), 5);
}

}  // namespace installtest
