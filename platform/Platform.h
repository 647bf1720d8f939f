// Thin wrappers over the Win32 services the wizard uses. Every handle and
// interface is owned by an object and released when it goes out of scope.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Handles.h"

namespace platform {

// The one error type of the program: raised by platform operations and by the
// wizard's own code, shown by the default error display.
class SetupError : public std::runtime_error {
 public:
  explicit SetupError(std::wstring message);
  const std::wstring& Message() const { return message_; }

 private:
  std::wstring message_;
};

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
// UTF-8 when the bytes are valid UTF-8, else the OEM code page, in which old
// archivers wrote names. Null or empty: empty.
std::wstring Utf8OrOem(const char* text);
// a-z to A-Z, nothing else: file-name comparisons that must not depend on
// the user's locale.
std::wstring AsciiUpper(std::wstring text);

// ---------------------------------------------------------------- registry

// One open key at a time; opening another key, changing the root or
// destroying the object closes it. Keys live in the 32-bit view.
class Registry {
 public:
  Registry() = default;

  HKEY RootKey() const { return root_; }
  void SetRootKey(HKEY root);  // closes the open key
  // Open-or-create with KEY_ALL_ACCESS; true when a key is open afterwards.
  bool OpenKey(const std::wstring& subKey);
  void CloseKey();
  bool HasOpenKey() const { return static_cast<bool>(key_); }

  // Missing value, size 0 or no open key: empty text. REG_SZ/REG_EXPAND_SZ:
  // text up to the first NUL, unexpanded. Other types raise SetupError.
  std::wstring ReadString(const std::wstring& name) const;
  // REG_SZ with its terminating NUL; raises SetupError on failure.
  void WriteString(const std::wstring& name, const std::wstring& value);
  bool ValueExists(const std::wstring& name) const;
  bool DeleteValue(const std::wstring& name);
  // REG_DWORD; raises SetupError on failure.
  void WriteDword(const std::wstring& name, DWORD value);
  // REG_MULTI_SZ, one text per line (no line may be empty); raises
  // SetupError on failure.
  void WriteLines(const std::wstring& name, const std::vector<std::wstring>& lines);
  // A REG_MULTI_SZ value's texts; false when it is missing or of another type.
  bool ReadLines(const std::wstring& name, std::vector<std::wstring>& lines) const;
  // Opens a key that is there already, never making one; true when open.
  bool OpenExisting(const std::wstring& subKey);
  // Written through to the disk; false when it cannot be.
  bool Flush() const;

  struct Value {
    std::wstring name;
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const Value&) const = default;
  };
  // Every value of the open key, whole: a value that grows while it is read
  // is read again with room for it. False when any of them cannot be read.
  bool ReadValues(std::vector<Value>& values) const;
  // Sets a value of any type; false on failure.
  bool Write(const Value& value);

  // Whether a key exists below the root (opened for reading only).
  static bool KeyExists(HKEY root, const std::wstring& subKey);
  // Deletes the key when it holds neither values nor keys; true when it is
  // gone afterwards.
  static bool DeleteKeyIfEmpty(HKEY root, const std::wstring& subKey);
  // Deletes the key with everything in it; true when it is gone afterwards.
  static bool DeleteKeyTree(HKEY root, const std::wstring& subKey);

 private:
  HKEY root_ = HKEY_CURRENT_USER;  // predefined: never closed
  UniqueHkey key_;
};

// ------------------------------------------------------------- file system

// The current folder; a drive root keeps its "\".
std::wstring CurrentDir();

// From here on a DLL loaded by name comes from the system folder only, never
// from beside the program or the current folder. Called from a program's
// entry point, ahead of the C runtime: it uses kernel32 alone. A Windows 7
// without the 2011 loader update lacks SetDefaultDllDirectories, so it is
// looked up rather than imported; that system at least leaves the current
// folder out.
void LoadDllsFromSystemOnly();

struct DirEntry {
  std::wstring name;
  DWORD attributes = 0;
  uint64_t size = 0;
  bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
  // A junction or symbolic link: never entered, whatever it points to.
  bool IsLink() const { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
};

// Lists folder + "\*.*" with every entry ("." and ".." included), in the
// order the file system returns them.
class FolderListing {
 public:
  explicit FolderListing(const std::wstring& folder);

  // 0 when a first entry was found, else the system error code.
  DWORD StartResult() const { return startResult_; }
  bool Started() const { return startResult_ == 0; }
  // The next entry (the first one on the first call); false at the end.
  bool Next(DirEntry& entry);

 private:
  UniqueFind handle_;
  DWORD startResult_ = 0;
  bool havePending_ = false;
  WIN32_FIND_DATAW data_{};
};

bool FolderExists(const std::wstring& path);
bool FileExists(const std::wstring& path);
// Creates path with every missing parent. An empty path raises
// "Unable to create directory"; an existing folder counts as success. The
// folders it made, outermost first, are added to created when given.
bool ForceDirectories(const std::wstring& path, std::vector<std::wstring>* created = nullptr);
DWORD GetAttributes(const std::wstring& path);  // INVALID_FILE_ATTRIBUTES on failure
bool SetAttributes(const std::wstring& path, DWORD attributes);
// True when path itself is a junction or symbolic link (not what it leads to).
bool IsLinkAt(const std::wstring& path);

// A folder only the installer may change: a protected access list that gives
// Administrators and SYSTEM full control and no one else anything, inherited
// by everything made inside it (FolderUse::Work of platform/Access.h).
class InstallerOnlyAccess {
 public:
  InstallerOnlyAccess();  // raises SetupError when the descriptor cannot be built
  SECURITY_ATTRIBUTES* Attributes() { return &attributes_; }
  PSECURITY_DESCRIPTOR Descriptor() const { return descriptor_.get(); }

 private:
  UniqueLocal descriptor_;
  SECURITY_ATTRIBUTES attributes_{};
};

// Whether a descriptor is that of a folder only the installer may change:
// owned by Administrators, SYSTEM or `user` (who runs the installer), and no
// entry, on the folder or passed on to what is made inside, that lets anyone
// else write into it, delete in it or change its access list or owner
// (JudgeFolder, ChangeOf::Contents). A descriptor without an owner or an
// access list is not.
bool IsInstallerOnly(PSECURITY_DESCRIPTOR descriptor, PSID user);
// The same for an open folder (READ_CONTROL): its descriptor as the system
// keeps it, judged against the user of this process.
bool IsInstallerOnly(HANDLE folder);

// The folder part of a path: everything up to and including the last "\" or
// ":" (empty when there is neither).
std::wstring ExtractFilePath(const std::wstring& path);
// The text after the last "\" or ":" (the whole text when there is neither).
std::wstring ExtractFileName(const std::wstring& path);

// ------------------------------------------------------------ shell links

// A shell link object with its IShellLinkW and IPersistFile interfaces.
// COM must be initialised on the thread.
class ShellLink {
 public:
  ShellLink();  // raises SetupError when any of the three cannot be obtained

  HRESULT SetPath(const std::wstring& path);
  HRESULT SetArguments(const std::wstring& args);
  HRESULT SetWorkingDirectory(const std::wstring& dir);
  HRESULT SetDescription(const std::wstring& description);
  HRESULT Save(const std::wstring& file);
  // Writes the shortcut, as Save would put it in a file, into an open file
  // (GENERIC_WRITE) from its start: no path is looked up. Its size and
  // CRC-32 go to size and crc; false when it could not be written whole.
  bool SaveTo(HANDLE file, uint64_t& size, uint32_t& crc);

 private:
  ComPtr<IUnknown> object_;
  ComPtr<IShellLinkW> link_;
  ComPtr<IPersistFile> file_;
};

// What a saved shortcut holds, read back through the shell link object.
struct ShortcutInfo {
  std::wstring path, arguments, workingDirectory, description;
};
bool ReadShortcut(const std::wstring& file, ShortcutInfo& info);

// Keeps COM initialised on the GUI thread for the object's lifetime.
class ComApartment {
 public:
  ComApartment();
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_ = false;
};

// -------------------------------------------------------------- processes

// CreateProcessW with no application name, no inherited handles (with
// inherit: the inheritable ones), NORMAL_PRIORITY_CLASS, our environment
// and (unless folder) current folder. The thread handle is closed at once,
// the process handle too unless `process` takes it; the result tells
// whether the process started. With image, the process is made suspended
// and resumed only when its program file is the one open in image (same
// volume and file ID, FILE_ID_INFO); otherwise it is ended before its first
// instruction and the result is false. Folder, when given, is the process's
// current folder instead of ours.
bool StartProcess(const std::wstring& commandLine, STARTUPINFOW& startup,
                  UniqueHandle* process = nullptr, HANDLE image = nullptr,
                  const std::wstring& folder = {}, bool inherit = false);

// ExitWindowsEx(EWX_REBOOT, 0). Tests replace the action.
void RequestRestart();
void SetRestartHandler(std::function<void()> handler);

// dwPlatformId, read once at start (1 = Windows 9x family, 2 = NT family).
DWORD PlatformId();
void OverridePlatformId(DWORD id);  // for tests: 0 restores the real value

// ----------------------------------------------------- user interface

// A control's text, and the text of a list box's item (empty when there is
// no such item).
std::wstring WindowText(HWND window);
std::wstring ListBoxItem(HWND list, LRESULT index);

void SetApplicationTitle(const std::wstring& title);
const std::wstring& ApplicationTitle();
void SetMainWindow(HWND window);
HWND MainWindow();

// A modal message box owned by the active window of the program (else the
// main window). Returns the button pressed.
int ShowMessageBox(const std::wstring& text, const std::wstring& caption, UINT flags);
// Plain message: OK, no icon, the application's title as caption.
void ShowMessage(const std::wstring& text);

// Tests answer message boxes with a responder; it may act on the program
// (click a control) before it returns the button.
using MessageBoxResponder =
    std::function<int(const std::wstring& text, const std::wstring& caption, UINT flags)>;
void SetMessageBoxResponder(MessageBoxResponder responder);  // empty: real boxes

// The default error display: flags 16, the application's title, "." added
// when the last character sorts after ".".
std::wstring ErrorDisplayText(const std::wstring& message);
void ShowError(const std::wstring& message);
// Shows the exception being handled (inside a catch) by the default error
// display: the message of SetupError or std::exception, a general text for
// anything else. Never throws.
void ShowCurrentError() noexcept;
// Runs a user action's handler; whatever is raised inside ends the handler
// and is shown by the default error display.
void RunHandler(const std::function<void()>& handler) noexcept;

// Handles every queued message, then returns. Keyboard input is routed the
// way a dialog routes it.
void ProcessMessages();
// Dispatches one message (with dialog keyboard routing).
void DispatchOne(MSG& msg);
// The main loop: runs until Terminate() was called and control is back here.
void RunMessageLoop();
// Waits up to timeoutMs for `handle` (none: only the time) while every
// message is handled as it comes, so the window keeps painting and
// answering. True when the handle was signalled; false after the time, or
// at once when the program is ending.
bool WaitPumping(HANDLE handle, DWORD timeoutMs);
void Terminate();
bool Terminated();
void ResetTerminated();  // for tests that run several windows in turn

enum class Cursor { Default, AppStart, Wait };
void SetAppCursor(Cursor cursor);
Cursor AppCursor();
// For WM_SETCURSOR: applies the application cursor; false when it is the
// default and the window's own cursor should show.
bool ApplyAppCursor();

}  // namespace platform
