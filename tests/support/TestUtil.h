// Helpers shared by the test suites: scratch folders, files, message-box
// answers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Platform.h"

namespace testutil {

// A fresh folder below the prefix's temporary folder, removed with its
// contents by the destructor.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& Path() const { return path_; }
  std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

void WriteFile(const std::wstring& path, const std::string& content);
std::string ReadFile(const std::wstring& path);
void MakeDirs(const std::wstring& path);
void RemoveTree(const std::wstring& path);  // clears read-only bits on the way

// Runs the program's messages (dialog routing included) until done() holds,
// sleeping only while no message is there. False when it still does not
// hold after the limit, which only keeps a broken program from hanging the
// suite.
bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 10000);

// While it lives, the system refuses to make child windows with this
// identifier on this thread, as it does when it runs out of resources.
class RefusedChild {
 public:
  explicit RefusedChild(int id);
  ~RefusedChild();
  RefusedChild(const RefusedChild&) = delete;
  RefusedChild& operator=(const RefusedChild&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
  static inline int id_ = 0;
  HHOOK hook_;
};

// One message box as the program asked for it.
struct AskedBox {
  std::wstring text, caption;
  unsigned flags = 0;
};

// Stands in for every message box while it lives: records what was asked
// and answers by a rule, or else with the next answer of a script (IDOK
// when the script is used up). The rule may act first (a nested click, a
// pause in which messages run as in a real modal box). Real boxes again
// when destroyed.
class ScriptedBoxes {
 public:
  using Rule = std::function<int(const AskedBox&)>;
  explicit ScriptedBoxes(std::vector<int> answers = {});
  explicit ScriptedBoxes(Rule rule);
  ~ScriptedBoxes();
  ScriptedBoxes(const ScriptedBoxes&) = delete;
  ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;
  const std::vector<AskedBox>& Asked() const { return asked_; }
  std::vector<std::wstring> Texts() const;
  void Add(int answer) { answers_.push_back(answer); }
  void SetRule(Rule rule) { rule_ = std::move(rule); }
  void Clear() { asked_.clear(); }
  // A rule for tests that expect no box at all: each one fails the test.
  static int Unexpected(const AskedBox& box);

 private:
  std::vector<int> answers_;
  size_t next_ = 0;
  Rule rule_;
  std::vector<AskedBox> asked_;
};

// A folder's entries by name, sorted; and whether it is there and empty.
std::vector<std::wstring> Names(const std::wstring& folder);
bool IsEmptyFolder(const std::wstring& folder);

// A window's text, asked by WM_GETTEXT so that another process's window
// answers too; answered false (and "") when the window does not answer.
std::wstring WindowText(HWND window, bool* answered = nullptr);

// CreateProcessW, started again when the start fails with
// ERROR_INTERNAL_ERROR. Under Wine that error means the new process ended
// before it reported itself to the server, before any code of its own ran: a
// program that does nothing meets it now and then on a busy machine. The
// command line is copied, as CreateProcessW may write into it.
bool StartProcess(const wchar_t* application, std::wstring commandLine, bool inherit, DWORD flags,
                  const wchar_t* folder, STARTUPINFOW& startup, PROCESS_INFORMATION& info);

// A path of the build (a Linux path) as Wine sees it, on drive Z:.
std::wstring FromBuild(const char* unixPath);
#ifdef SV_SETUP_EXE
// The built wizard, in the test programs that are told where it is.
inline std::wstring ProgramPath() {
  return FromBuild(SV_SETUP_EXE);
}
#endif

}  // namespace testutil

namespace testutil {

// The Unix path Wine keeps a Windows path at; empty when there is none.
std::string UnixPath(const std::wstring& path);
// From the Unix side, as another account on a shared machine could: Folder
// moves aside to Folder + ".moved" and a symbolic link to Target takes its
// place. Wine ignores its share modes for this, as Windows would not.
bool SwapForLink(const std::wstring& folder, const std::wstring& target);
// Runs /bin/sh -c with `command` from the Unix side (Windows share modes do
// not hold there) and waits for done(), the command's effect: Wine does not
// wait on a Unix process. False when the effect never comes.
bool RunUnixUntil(const std::wstring& command, const std::function<bool()>& done);
// From the Unix side: "<command> '<path's Unix path>'" (chmod, chown), as the
// machine's other accounts would have it; true once done() holds.
bool RunUnixOn(const std::wstring& command, const std::wstring& path,
               const std::function<bool()>& done);

// A drive letter from R: to Y: whose root leads nowhere and that no other
// test program has claimed (drive letters are the whole prefix's): the claim
// lasts as long as claim is held. 0 when none is free.
wchar_t ClaimDriveLetter(platform::UniqueHandle& claim);

}  // namespace testutil
