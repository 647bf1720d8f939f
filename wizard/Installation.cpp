// The wizard's side of the installation: the user's choices gathered from
// the fields, the window as the installation's host, the fatal ending, the
// completion poll, the abort button and the stop.
#include "wizard/FrmSetup.h"

#include <commctrl.h>

#include <utility>

#include "install/Engine.h"
#include "install/Messages.h"
#include "platform/Platform.h"

// The window as the installation sees it. The file work's reports go to the
// window's own; the components left on the CD-ROM are those of the run.
class TfrmSetup::InstallLink final : public install::InstallHost {
 public:
  InstallLink(TfrmSetup& form, const install::InstallChoices& choices)
      : form_(form), choices_(choices) {}

  void SetStatus(const std::wstring& text) override { form_.SetStatus(text); }
  void StepProgress() override { form_.StepProgress(); }
  void ProcessMessages() override { form_.ProcessMessages(); }
  bool StopRequested() const override { return form_.StopRequested(); }
  void StopInstall() override { form_.StopInstall(); }
  bool LeaveVzoryOnCd() const override { return choices_.leaveVzoryOnCd; }
  bool LeavePrikladyOnCd() const override { return choices_.leavePrikladyOnCd; }
  void AddMemoLine(const std::wstring& line) override { form_.AddMemoLine(line); }
  const std::wstring& SetupTitle() const override { return form_.SetupTitle(); }

  void ClearStopRequest() override { ::AbortRequested = false; }
  void SetBottomBarVisible(bool visible) override { form_.SetVisible(L"pnlBottom", visible); }
  void ResetProgress() override {
    // Steps the frame limit still holds belong to the bar before.
    form_.FlushWork();
    SendMessageW(form_.Control(L"ProgressBar1"), PBM_SETPOS, 0, 0);
  }
  void SetProgressTotal(int total) override {
    SendMessageW(form_.Control(L"ProgressBar1"), PBM_SETRANGE32, 0, total);
  }
  void Redraw() override {
    // The bar and the status line first get what the frame limit held back.
    form_.FlushWork();
    RedrawWindow(form_.Handle(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  }
  void ShowError(const std::wstring& text) override {
    platform::ShowMessageBox(text, form_.SetupTitle(), MB_OK | MB_ICONERROR);
  }

 private:
  TfrmSetup& form_;
  const install::InstallChoices& choices_;
};

namespace {

// The buttons a run keeps unusable until it has returned.
const wchar_t* const kButtons[] = {L"pbNext", L"pbPrev", L"pbCancel"};

// What the fields say. A folder text loses one trailing "\" here, and its
// field shows the shorter text from now on.
// The folders page judges the trimmed texts (shown) as the run will take
// them, and leaves the fields as typed until the run.
install::InstallChoices GatherChoices(TfrmSetup& form, bool shown = true) {
  auto folder = [&form, shown](const wchar_t* field) {
    const std::wstring text = form.Text(field);
    std::wstring trimmed = install::TrimFolder(text);
    if (shown && trimmed != text) form.SetText(field, trimmed);
    return trimmed;
  };
  install::InstallChoices choices;
  choices.vantorPro = folder(L"txtVantorPro");
  choices.projekty = folder(L"txtProjekty");
  choices.vzory = folder(L"txtVzory");
  choices.priklady = folder(L"txtPriklady");
  choices.folderName = form.Text(L"txtFolderName");
  choices.name = form.Text(L"txtName");
  choices.company = form.Text(L"txtCompany");
  choices.leaveVzoryOnCd = form.Checked(L"cbVzory");
  choices.leavePrikladyOnCd = form.Checked(L"cbPriklady");
  choices.programsFolder = form.ProgramsFolder;
  return choices;
}

}  // namespace

bool TfrmSetup::ChosenFoldersAccepted() {
  platform::SetAppCursor(platform::Cursor::Wait);
  const install::FolderRefusal refusal = session_.JudgeFolders(GatherChoices(*this, false));
  platform::SetAppCursor(platform::Cursor::Default);
  if (refusal.message.empty()) return true;
  // The person stays on the page to choose another folder or to free room.
  platform::ShowMessageBox(refusal.message, SetupTitle(), MB_OK | MB_ICONEXCLAMATION);
  static const wchar_t* const fields[] = {L"txtVantorPro", L"txtProjekty", L"txtVzory"};
  SetFocus(fields[static_cast<int>(refusal.folder)]);
  return false;
}

void TfrmSetup::Install() {
  const install::InstallChoices choices = GatherChoices(*this);
  InstallLink link(*this, choices);
  // One run at a time: a stop shows the summary and its buttons while this
  // run is still unwinding, so they stay unusable until it has returned,
  // however it returns, an error raised inside included.
  class RunGuard {
   public:
    explicit RunGuard(TfrmSetup& form) : form_(form) {
      for (int i = 0; i < 3; ++i) {
        wasEnabled_[i] = form_.Enabled(kButtons[i]);
        form_.SetEnabled(kButtons[i], false);
      }
      form_.installRunning_ = true;
    }
    ~RunGuard() {
      form_.installRunning_ = false;
      for (int i = 0; i < 3; ++i) form_.SetEnabled(kButtons[i], wasEnabled_[i]);
    }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

   private:
    TfrmSetup& form_;
    bool wasEnabled_[3] = {};
  };
  install::InstallResult result;
  {
    RunGuard guard(*this);
    result = session_.Run(choices, link);
  }
  SourceDir = result.unpackFolder;
  // The window was closed while the run went on: the program ends with it,
  // a fatal ending still said.
  if (platform::Terminated() && result.ending != install::Ending::Done) {
    if (result.ending == install::Ending::Fatal) link.ShowError(result.message);
    RollBackRun();
    return;
  }
  if (result.ending == install::Ending::Cancelled) {
    // Files in use, or a medium that cannot be read, and the person chose
    // Cancel: back to the summary, with the PC as it was.
    RollBackRun();
    StopInstall();
    return;
  }
  if (result.ending != install::Ending::Fatal) return;
  // The end of the program: the window closes without the close question,
  // and the PC is as it was before the run.
  link.ShowError(result.message);
  RollBackRun();
  ::AbortRequested = true;
  CloseWithoutPrompt = true;
  Close();
}

void TfrmSetup::timSetupTimer() {
  if (!install::TakeCompletionFlag()) return;  // the next tick tries again
  SetTimerEnabled(false);
  SetVisible(L"pnlBottom", true);
  pbNextClick();
}

void TfrmSetup::pbPrerusitClick() {
  if (platform::ShowMessageBox(install::AbortQuestion(), SetupTitle(),
                               MB_YESNO | MB_ICONQUESTION) == IDYES)
    StopInstall();
}

void TfrmSetup::StopInstall() {
  platform::SetAppCursor(platform::Cursor::Default);
  ::AbortRequested = true;
  SetVisible(L"pnlBottom", true);
  ShowPage(4);
  CurrentPage = 4;
  Close();
}
