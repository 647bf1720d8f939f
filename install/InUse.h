// The programs that hold files the commit replaces, named to the person and
// closed for them on their word: never ended by force.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "install/Install.h"
#include "platform/Handles.h"

namespace install {

// One running program, known by its process and the moment it started (an
// identifier the system may give again later is not enough).
struct RunningProgram {
  DWORD pid = 0;
  FILETIME started{};
  std::wstring name;  // its file name, as the person knows it
};

// The programs that hold any of `paths` (files the commit replaces, or
// folders it replaces whole): Restart Manager's answer; where it knows none
// (it answers an empty list under Wine), the running programs whose own
// file is one of them or lies below one.
class ProgramsInUse {
 public:
  explicit ProgramsInUse(const std::vector<std::wstring>& paths);

  const std::vector<RunningProgram>& Programs() const { return programs_; }
  std::vector<std::wstring> Names() const;

  // Asks each program to close as the person would (Restart Manager's
  // shutdown where it named them; else WM_CLOSE to their main windows) and
  // waits up to waitMs for them to end, the window answering meanwhile.
  void Close(DWORD waitMs);

 private:
  platform::UniqueRestartSession session_;
  bool namedByRestartManager_ = false;
  std::vector<RunningProgram> programs_;
};

// How long the closing waits for the programs to end.
inline constexpr DWORD kCloseWaitMs = 10000;

// The question before the commit: while programs hold `paths`, the person
// is asked to let the installation close them (OK) or to cancel; a program
// that did not end is named again, with Retry and Cancel. True when none
// holds them any longer; false when the person cancelled.
bool ProgramsLetGo(InstallHost& host, const std::vector<std::wstring>& paths,
                   DWORD waitMs = kCloseWaitMs);

}  // namespace install
