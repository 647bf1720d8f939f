#include "bench/BenchWindow.h"

#include <commctrl.h>

#include <string>

#include "platform/Platform.h"
#include "wizard/FrmSetup.h"

namespace bench {

namespace {

// The wizard window itself, on its copy page, as the installation sees it.
class WizardWindow : public WindowContext {
 public:
  explicit WizardWindow(unsigned omit)
      : session_(platform::CurrentDir()),
        form_(std::make_unique<TfrmSetup>(session_)),
        omit_(omit) {
    form_->Show();
    // Entering the copy page runs the installation; started where there is
    // no archive, it ends at once with its message, answered here. What is
    // left is the copy page with its status line and progress bar.
    platform::SetMessageBoxResponder(
        [](const std::wstring&, const std::wstring&, UINT) { return IDOK; });
    form_->CurrentPage = 5;
    form_->ShowPage(5);
    platform::SetMessageBoxResponder({});
    platform::ResetTerminated();
    ::AbortRequested = false;
    SetProgressMax(1000);
    Flush();
  }

  HWND Window() const override { return form_->Handle(); }
  void SetProgressMax(int max) override {
    HWND bar = form_->Control(L"ProgressBar1");
    SendMessageW(bar, PBM_SETPOS, 0, 0);
    SendMessageW(bar, PBM_SETRANGE32, 0, max);
  }
  void Flush() override {
    form_->ProcessMessages();
    UpdateWindow(form_->Handle());
  }

  void SetStatus(const std::wstring& text) override {
    if (!(omit_ & kOmitStatus)) form_->SetStatus(text);
  }
  void StepProgress() override {
    if (!(omit_ & kOmitProgress)) form_->StepProgress();
  }
  void ProcessMessages() override {
    if (!(omit_ & kOmitPump)) form_->ProcessMessages();
  }
  bool StopRequested() const override { return form_->StopRequested(); }
  void StopInstall() override { ::AbortRequested = true; }
  bool LeaveVzoryOnCd() const override { return form_->LeaveVzoryOnCd(); }
  bool LeavePrikladyOnCd() const override { return form_->LeavePrikladyOnCd(); }
  void AddMemoLine(const std::wstring& line) override { form_->AddMemoLine(line); }
  const std::wstring& SetupTitle() const override { return form_->SetupTitle(); }

 private:
  install::Session session_;
  std::unique_ptr<TfrmSetup> form_;
  unsigned omit_;
};

}  // namespace

std::unique_ptr<WindowContext> CreateWorkWindow(unsigned omit) {
  return std::make_unique<WizardWindow>(omit);
}

}  // namespace bench
