// What the long-running file work reports through and reads from: the wizard
// window implements it, tests implement it without a window.
#pragma once

#include <string>

namespace fileops {

// A part of a copy that failed, named by its path: the copy shows nothing,
// the installation says it to the person.
struct CopyFailure {
  enum class What {
    FolderNotMade,    // path: the target folder that could not be made
    FolderNotCopied,  // path: the source folder that could not be listed
    FileNotCopied,    // path: the source file; the installation stops
  };
  What what;
  std::wstring path;
  bool operator==(const CopyFailure&) const = default;
};

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
  // A copy's failure the moment it happens, before the copy goes on (or,
  // for a file, stops): the installation shows it there. The copy also
  // returns every failure to its caller.
  virtual void CopyFailed(const CopyFailure& /*failure*/) {}
};

}  // namespace fileops
