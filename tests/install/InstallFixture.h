// The installation suites: a medium made by the test (a real Vaninst.pak with
// a real engine setup program), the wizard opened in it, target folders and a
// Start menu of the test's own, the registry keys of the installation cleaned
// before and after.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "tests/install/MediumSupport.h"
#include "tests/support/TestUtil.h"
#include "tests/wizard/WizardFixture.h"

namespace installtest {

// Every message box, answered by a rule (IDOK without one).
using Boxes = testutil::ScriptedBoxes;

// Runs an action once, at the first point where the work lets messages
// through while the status line starts with a prefix: a person reacting to
// what the copy page shows, handled where the work would handle the click.
class WhenStatus {
 public:
  WhenStatus(TfrmSetup& form, std::wstring prefix, std::function<void()> action);
  ~WhenStatus();
  WhenStatus(const WhenStatus&) = delete;
  WhenStatus& operator=(const WhenStatus&) = delete;
  bool Fired() const { return fired_; }
  const std::wstring& StatusSeen() const { return seen_; }

 private:
  TfrmSetup& form_;
  std::wstring prefix_;
  std::function<void()> action_;
  bool fired_ = false;
  std::wstring seen_;
};

// Counts the completion poll's ticks as the wizard window takes them from
// its queue. While the copy page waits, the poll is the window's only timer.
class PollTicks {
 public:
  explicit PollTicks(const TfrmSetup& form);
  ~PollTicks();
  PollTicks(const PollTicks&) = delete;
  PollTicks& operator=(const PollTicks&) = delete;
  int Count() const { return count_; }
  // Runs the program's messages until n more ticks have come.
  bool WaitFor(int n, DWORD timeoutMs = 30000);

 private:
  struct HookTraits {
    using Type = HHOOK;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type hook) noexcept { UnhookWindowsHookEx(hook); }
  };
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  HWND window_;
  int count_ = 0;
  platform::Unique<HookTraits> hook_;
};

// Runs the program's messages until a timer of the poll's interval, set
// now, has fired: a poll left running would have ticked first.
void PumpThroughOneInterval();

class InstallTest : public wiztest::WizardTest {
 public:
  InstallTest();
  ~InstallTest() override;

  // Writes the medium (its archive) and opens the wizard in it.
  TfrmSetup& OpenOnMedium(const MediumSpec& layout);
  // Pages 0 to 4 with the current field texts; the summary page is shown.
  void ToSummary();
  // "&Další  >" on the summary page: the installation runs inside.
  void StartInstall() { Click(L"pbNext"); }
  // The completion poll brings the finish page.
  bool WaitForFinishPage(DWORD timeoutMs = 30000);
  // The engine's setup program writes the flag as its last act and ends a
  // moment later; until then its file in the unpack folder is in use. A
  // person reads the last page first.
  bool WaitForEngineToEnd(DWORD timeoutMs = 10000);
  // "&Dokončit" pressed: the finish reported the run finished (its journal
  // is gone) and the work folder goes. Wine unlinks a folder marked for
  // removal at the last close of any handle on it, whoever holds one.
  void ExpectFinished(const std::wstring& work);

  void SetFolders(const std::wstring& app, const std::wstring& projects,
                  const std::wstring& templates);
  int ProgressMax() const;
  int ProgressPos() const;

  // The fatal ending: exactly that message, once, and no close question.
  void ExpectFatal(const Boxes& boxes, const std::wstring& text);

  std::wstring Medium() const { return medium_ / L"CD"; }
  std::wstring Work() const { return work_.Path(); }
  std::wstring Programs() const { return programsDir_ / L"Nabídka Start\\Programy"; }

  Payload payload_;

 private:
  testutil::TempDir medium_;
  testutil::TempDir work_;
  std::wstring savedCwd_;
};

}  // namespace installtest
