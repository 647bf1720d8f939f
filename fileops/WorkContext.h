// What the long-running file work reports through and reads from: the wizard
// window implements it, tests implement it without a window.
#pragma once

#include <string>

namespace fileops {

class WorkContext {
 public:
  virtual ~WorkContext() = default;
  // Status line (lblCopyFile): new caption, repainted at once.
  virtual void SetStatus(const std::wstring& text) = 0;
  // ProgressBar1: one step.
  virtual void StepProgress() = 0;
  // Lets pending window messages run (abort button, timer, close request).
  virtual void ProcessMessages() = 0;
  // The program-wide ::AbortRequested flag, read by the long walks.
  virtual bool StopRequested() const = 0;
  // Stops the installation after a file that cannot be copied.
  virtual void StopInstall() = 0;
  // cbVzory / cbPriklady checked: that component stays on the CD-ROM.
  virtual bool LeaveVzoryOnCd() const = 0;
  virtual bool LeavePrikladyOnCd() const = 0;
  // A line for the hidden text sink Memo1.
  virtual void AddMemoLine(const std::wstring& line) = 0;
  // Caption of every message box (SetupTitle).
  virtual const std::wstring& SetupTitle() const = 0;
};

}  // namespace fileops
