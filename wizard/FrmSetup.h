// The wizard window: installer state, controls, navigation and closing.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fileops/WorkContext.h"
#include "install/Session.h"
#include "platform/Handles.h"
#include "platform/HeldFolder.h"
#include "platform/Window.h"
#include "wizard/ControlFactory.h"
#include "wizard/LiveRegion.h"
#include "wizard/StatusLine.h"

// Program-wide: when true, the installation is to stop. The long-running work
// polls it. Inside TfrmSetup the name is the WorkContext query; the flag
// itself is ::AbortRequested there.
extern bool AbortRequested;

class TfrmSetup : public platform::DialogWindow, public fileops::WorkContext {
 public:
  // Creates the window (hidden) with every control of the layout and runs
  // FormCreate. A failure on the way raises, with no window left and the
  // program-wide references as they were. The session outlives the window.
  explicit TfrmSetup(install::Session& session);
  ~TfrmSetup() override;

  void Show();  // centred on the screen, activated

  // The caption of the window and of every message box of the wizard.
  static constexpr wchar_t kTitle[] = L"Instalace aplikace VantorPro DEMO";

  // ------------------------------------------------------- installer state
  int CurrentPage = 0;
  bool CloseWithoutPrompt = false;
  std::wstring ProgramsFolder;
  std::wstring SourceDir;
  // The installation itself: its runs, its rollback and its finish.
  install::Session& Session() { return session_; }
  // SetupTitle: the WorkContext accessor below; set once in FormCreate.

  // ------------------------------------------------------------ handlers
  void FormCreate();
  // Every close request; accept tells whether the window may go.
  void FormClose(bool& accept);
  void pbNextClick();
  // A run that did not complete goes back: the PC as it was before it.
  void RollBackRun();
  void pbPrevClick();
  void pbCancelClick();
  void pbPrerusitClick();
  void ntbkSetupPageChanged();
  void timSetupTimer();
  void lbFoldersClick();
  void cbVzoryClick();
  void cbPrikladyClick();
  void SpeedButton1Click() { SetPath(1); }
  void SpeedButton2Click() { SetPath(2); }
  void SpeedButton3Click() { SetPath(3); }
  void SpeedButton4Click() { SetPath(4); }
  // Lets the user choose the folder of component 1 to 4 for its field.
  void SetPath(int index);

  // The folders page's last check: the chosen folders judged as the run
  // will judge them; a refusal is shown and the page stays.
  bool ChosenFoldersAccepted();
  // The installation, run on entry to the copy page: the choices of the
  // fields go to the installation layer; a fatal ending closes the window.
  void Install();
  // The settings summary on the page before copying, line by line.
  std::vector<std::wstring> SettingsSummary() const;

  // Asks FormClose; an accepted close tells the application to terminate.
  // Whatever code is running goes on to its end.
  void Close();

  // ------------------------------------------------------------ page book
  static constexpr int kPageCount = 7;
  static const wchar_t* PageName(int index);
  int ShownPage() const { return shownPage_; }
  std::wstring ShownPageName() const { return PageName(shownPage_); }
  // Shows the page of that index; a change of page runs ntbkSetupPageChanged.
  // enter: the page's own action runs (the copy page's is the installation).
  void ShowPage(int index, bool enter = true);

  // ------------------------------------------------------------- controls
  // The window of a named control (nullptr for an unknown name).
  HWND Control(std::wstring_view name) const;
  std::wstring Text(std::wstring_view name) const;
  void SetText(std::wstring_view name, const std::wstring& text);
  std::wstring Hint(std::wstring_view name) const;
  void SetHint(std::wstring_view name, const std::wstring& hint);
  // The control's own Visible property; it shows only while its page or
  // panel shows too (pnlBottom carries the three navigation buttons).
  bool Visible(std::wstring_view name) const;
  void SetVisible(std::wstring_view name, bool visible);
  // Visible here and on every level above, the window itself aside.
  bool Showing(std::wstring_view name) const;
  bool Enabled(std::wstring_view name) const;
  void SetEnabled(std::wstring_view name, bool enabled);
  bool Checked(std::wstring_view name) const;
  void SetChecked(std::wstring_view name, bool checked);
  void SetFocus(std::wstring_view name);
  std::vector<std::wstring> ListItems(std::wstring_view name) const;

  void SetTimerEnabled(bool enabled);
  bool TimerEnabled() const { return timerEnabled_; }
  static constexpr UINT kTimerInterval = 1000;
  static constexpr UINT_PTR kTimerId = 1;          // timSetup
  static constexpr UINT_PTR kFlushTimerId = 2;     // what the frame limit held back
  static constexpr UINT_PTR kAnnounceTimerId = 3;  // the status line's waiting announcement

  // ----------------------------------------------- fileops::WorkContext
  void SetStatus(const std::wstring& text) override;
  void StepProgress() override;
  void ProcessMessages() override;
  bool StopRequested() const override;
  void StopInstall() override;
  bool LeaveVzoryOnCd() const override;
  bool LeavePrikladyOnCd() const override;
  void AddMemoLine(const std::wstring& line) override;
  const std::wstring& SetupTitle() const override { return setupTitle_; }
  // Runs at every point where the work lets messages through, before the
  // pump judges whether it is due, with the status the work gave last: the
  // moment a person's click would be handled there. A test acts through it
  // inside a run, whatever the machine's speed.
  std::function<void(const std::wstring& status)> OnWorkPump;

  using Item = wizard::Control;  // one control of the layout (Layout.cpp)

 private:
  LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  int DefaultButtonId() const noexcept override;
  int CancelButtonId() const noexcept override;
  void OnDpiChanged() override;
  void OnCommand(int id, int code);
  void CreateControls();
  // Destroys the window and lets go of the program-wide references to it.
  void TearDown() noexcept;
  Item* Find(std::wstring_view name);
  const Item* Find(std::wstring_view name) const;
  bool ParentShowing(const Item& item) const;
  void ApplyVisibility();
  // The status line and the progress bar reach the screen at most once a
  // display frame; what is pending is painted by the next change, pump or
  // the flush timer.
  void FlushWorkIfDue();
  void FlushWork();
  // The status line's change is announced once the pacer lets it, with the
  // text then on the screen; a timer announces what the work left waiting.
  void AnnounceStatusIfDue(std::chrono::steady_clock::time_point now);
  // The heading of the page now shown, announced at once.
  void AnnounceHeading();
  // The window as the installation's host (Installation.cpp).
  class InstallLink;

  wizard::Artwork artwork_;
  HWND tooltip_ = nullptr;
  std::vector<Item> items_;
  int shownPage_ = 0;
  bool timerEnabled_ = false;
  bool installRunning_ = false;  // the sequence is on the stack
  install::Session& session_;
  bool memoEndsWithBreak_ = false;
  std::wstring setupTitle_;
  std::chrono::steady_clock::time_point lastPaint_{};
  std::chrono::steady_clock::time_point lastPump_{};
  wizard::StatusLine statusLine_;
  int pendingSteps_ = 0;
  bool flushTimerArmed_ = false;
  wizard::LiveRegions liveRegions_;
  wizard::AnnouncePacer pacer_;
  // When the announce timer is set to fire; empty while it is not set.
  std::optional<std::chrono::steady_clock::time_point> announceTimerDue_;
};

// The wizard window, the application's main window.
extern TfrmSetup* frmSetup;
