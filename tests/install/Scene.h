// The installation sequence's own test scene without a window: a host that
// records what the sequence reports, and a medium, target folders and a Start
// menu of a test's own.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "install/Install.h"
#include "platform/Handles.h"
#include "platform/Platform.h"
#include "tests/install/MediumSupport.h"
#include "tests/support/TestUtil.h"

namespace install {
// Failures name the ending rather than its bytes.
inline void PrintTo(Ending ending, std::ostream* os) {
  static const char* const names[] = {"Done", "Stopped", "Fatal", "Cancelled"};
  *os << names[static_cast<int>(ending)];
}
}  // namespace install

namespace installtest {

inline const wchar_t kPreparing[] = L"Připravuji kopírování souborů";
inline const wchar_t kMaking[] = L"Vytvářím složku ";
inline const wchar_t kStartMenu[] = L"Aktualizuji nabídku start";
inline const wchar_t kRegistry[] = L"Zapisuji informace do registru";
inline const wchar_t kEngine[] = L"Konfiguruji BDE";

// Records what the sequence reports. The progress bar is a position and a
// total; a hook on the status line plays the user pressing "Přerušit".
class RecordingHost : public install::InstallHost {
 public:
  explicit RecordingHost(const install::InstallChoices& choices) : choices_(choices) {}

  void SetStatus(const std::wstring& text) override {
    statuses.push_back(text);
    if (onStatus) onStatus(text);
  }
  void StepProgress() override { ++position; }
  void ProcessMessages() override { platform::ProcessMessages(); }
  bool StopRequested() const override { return abort; }
  void StopInstall() override { abort = true; }
  bool LeaveVzoryOnCd() const override { return choices_.leaveVzoryOnCd; }
  bool LeavePrikladyOnCd() const override { return choices_.leavePrikladyOnCd; }
  void AddMemoLine(const std::wstring&) override {}
  const std::wstring& SetupTitle() const override { return title_; }
  void ClearStopRequest() override { abort = false; }
  void SetBottomBarVisible(bool visible) override { bottomBar = visible; }
  void ResetProgress() override { position = 0; }
  void SetProgressTotal(int value) override { total = value; }
  void Redraw() override {}
  void ShowError(const std::wstring& text) override { errors.push_back(text); }
  int Ask(const std::wstring& text, UINT flags) override {
    asked.push_back(text);
    return onAsk ? onAsk(text) : InstallHost::Ask(text, flags);
  }
  void OnCommitStep(size_t done, size_t all) override {
    if (onCommit) onCommit(done, all);
  }

  // The status line step by step: the per-file texts of the unpacking and
  // the copies left out, a text repeated at once counted once.
  std::vector<std::wstring> Steps() const {
    std::vector<std::wstring> steps;
    for (const std::wstring& s : statuses) {
      if (s.starts_with(L"Rozbaluji soubor") || s.starts_with(L"Kopíruji soubor")) continue;
      if (steps.empty() || steps.back() != s) steps.push_back(s);
    }
    return steps;
  }

  std::vector<std::wstring> statuses, errors;
  std::function<void(const std::wstring&)> onStatus;
  std::function<int(const std::wstring&)> onAsk;
  std::function<void(size_t done, size_t all)> onCommit;
  std::vector<std::wstring> asked;
  int position = 0;
  int total = -1;     // not counted yet
  bool abort = true;  // left from a run before: the sequence clears it
  bool bottomBar = true;

 private:
  const install::InstallChoices& choices_;
  std::wstring title_ = kTitle;
};

// A medium, target folders and a Start menu of their own, the installation's
// registry keys cleaned before and after; every message box outside the
// host is recorded rather than shown.
struct Scene {
  explicit Scene(const MediumSpec& layout) : payload(MakePayload(layout)) {
    CleanInstallationKeys();
    SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);  // the stub never reports
    WriteArchive(medium / L"Vaninst.pak", payload);
    testutil::MakeDirs(Programs());
    choices = ChoicesIn(work.Path(), medium.Path());
  }
  // The choices of a scene whose folders lie in work and whose archive in
  // medium.
  static install::InstallChoices ChoicesIn(const std::wstring& work, const std::wstring& medium) {
    install::InstallChoices c;
    c.vantorPro = work + L"\\Vantor Pro";
    c.projekty = work + L"\\Projekty";
    c.vzory = work + L"\\Vzory";
    c.priklady = work + L"\\Priklady";
    c.folderName = L"VantorPro";
    c.name = L"Jan Novák";
    c.company = L"Kůň a spol.";
    c.mediumDir = medium;
    c.programsFolder = work + L"\\Programy";
    return c;
  }
  ~Scene() { CleanInstallationKeys(); }

  std::wstring Programs() const { return work / L"Programy"; }
  std::wstring Group() const { return Programs() + L"\\VantorPro"; }
  std::wstring EngineTrace() const {
    return choices.vantorPro + L"\\Instalace\\Utility\\Bde\\Setup.exe.ran";
  }
  // The stub leaves its trace as it starts; once it has ended, its folder
  // can go with the scene.
  bool EngineRan() const {
    const std::wstring program = choices.vantorPro + L"\\Instalace\\Utility\\Bde\\Setup.exe";
    auto ended = [&] {
      const platform::UniqueFile file(CreateFileW(program.c_str(), DELETE, 0, nullptr,
                                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
      return static_cast<bool>(file);
    };
    return PumpUntil([&] { return platform::FileExists(program + L".ran"); }, 10000) &&
           PumpUntil(ended, 10000);
  }

  testutil::TempDir medium, work;
  testutil::ScriptedBoxes boxes;
  Payload payload;
  install::InstallChoices choices;
};

}  // namespace installtest
