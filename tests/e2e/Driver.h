// Drives another process's windows from outside, the way a person works them:
// finds windows and controls, types into edits, clicks buttons, reads and
// answers message boxes. Nothing here links the program being driven.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/Handles.h"

namespace e2e {

// A step of the drive could not be done (a window did not come, a button was
// not there for a person to press, an unexpected question was asked).
class DriveError : public std::runtime_error {
 public:
  explicit DriveError(const std::wstring& what);
};

// A path handed to us from the Linux side ("/x/y") as Wine sees it ("Z:\x\y");
// Windows paths pass unchanged.
std::wstring WindowsPath(const std::wstring& path);

// A started program. Ended by force when the object goes while it still runs,
// so that a failed drive leaves nothing behind.
class Process {
 public:
  Process(const std::wstring& exe, const std::wstring& arguments, const std::wstring& currentDir);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  DWORD Id() const { return id_; }
  bool Running() const;
  bool WaitForExit(DWORD timeoutMs) const;
  DWORD ExitCode() const;
  // Ends it at once, as a crash or a power cut would, and waits for the end.
  void Kill();

 private:
  platform::UniqueHandle handle_;
  DWORD id_ = 0;
};

// Polls condition every 50 ms until it holds or timeoutMs passes. The check
// runs first on every round: it may throw to end the wait early.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs,
               const std::function<void()>& check = {});

// The visible top-level window of the given class that belongs to process pid.
HWND FindTopWindow(DWORD pid, const std::wstring& className);
// A control with the given child-window id anywhere below parent.
HWND FindControl(HWND parent, int id);

std::wstring WindowText(HWND window);  // WM_GETTEXT, as the control holds it now
std::wstring ClassOf(HWND window);
bool Shown(HWND window);  // the window and all its parents are visible
void SetEditText(HWND edit, const std::wstring& text);
// Presses a button as its click would: the parent is told BN_CLICKED. A
// person can press only a button that is shown and enabled; anything else is
// a DriveError.
void Click(HWND button);

// A message box (dialog class #32770) of process pid.
struct MessageBoxWindow {
  HWND window = nullptr;
  std::wstring caption, text;
  bool HasButton(int id) const;
};
std::optional<MessageBoxWindow> FindMessageBox(DWORD pid);
// A message box of any process with this caption: the box of a program that
// another program started.
std::optional<MessageBoxWindow> FindMessageBoxTitled(const std::wstring& caption);
// Presses the box's button id (IDOK, IDYES, IDNO, ...); DriveError when the
// box has no such button.
void Answer(const MessageBoxWindow& box, int id);

// Screen shots on request: when the environment variable SV_E2E_SHOTS names a
// folder, Shot writes NN-name.req there holding the area to take ("x y w h",
// all zero for the whole screen) and waits until a shooter on the Linux side
// has taken the picture and removed the request.
void Shot(const std::wstring& name, HWND window);

std::string Narrow(const std::wstring& text);

// Runs a command line to its end and returns what it wrote to its standard
// output; DriveError when it does not end within timeoutMs.
std::string RunForOutput(const std::wstring& commandLine, DWORD timeoutMs = 60000);

}  // namespace e2e
