// The uninstaller's first run: the question, and on "Yes" a working copy of
// the program in a fresh folder of the system's temporary folder, which then
// does the work so that the program file and the folder it lay in can go.
// The fresh folder is made new under a name no one can guess and only
// administrators may change it: nothing another account put there is loaded
// beside the copy. The copy, which
// runs elevated, is written from the program file held since before the
// question and checked against the record on the way: what runs is what was
// checked, whatever was put under the program's name meanwhile.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "install/InstallRecord.h"
#include "platform/Handles.h"

namespace uninstall {

// The uninstaller's own program file, opened by its path and held without
// write or delete sharing: nobody changes, renames or replaces it while it
// is held.
class OwnProgram {
 public:
  static OwnProgram Open(const std::wstring& path);
  explicit operator bool() const { return static_cast<bool>(file_); }
  const std::wstring& Path() const { return path_; }
  HANDLE Handle() const { return file_.get(); }
  // Whether it holds exactly what the installation recorded for it.
  bool Matches(const install::RecordedFile& facts) const;

 private:
  platform::UniqueFile file_;
  std::wstring path_;
};

// The copy that was written; it goes when deleteOnClose (inherited by the
// copy's process) is closed everywhere. That handle is shared for reading
// and deletion only: nothing changes the copy while it is held.
struct WorkingCopy {
  std::wstring path;
  platform::UniqueFile deleteOnClose;
};

// The copy's own file name inside its fresh folder.
inline constexpr wchar_t kCopyName[] = L"Odinstalovat.exe";

using NameSource = std::function<std::wstring()>;
// A name for the copy's fresh folder no one can guess beforehand.
std::wstring RandomCopyName();
// Windows' own temporary folder ("\" at the end), where other accounts may
// add files but change none of ours; the user's only when there is none.
std::wstring CopyFolder();

enum class Copied {
  Written,
  Changed,  // the program file does not hold what the record says
  Failed,   // no copy could be written
};
// Writes the copy from the held program into a fresh folder of `folder`,
// made under the first name from nextName that is not there yet with a list
// only administrators and the system may change: each name is created new,
// and one that is there already is never entered or written through.
// Nothing is left when it is not Written.
Copied WriteWorkingCopy(const OwnProgram& program, const install::RecordedFile& facts,
                        const std::wstring& folder, WorkingCopy& copy,
                        const NameSource& nextName = RandomCopyName);

enum class Asked {
  No,         // the person said no: nothing to do
  CopyReady,  // copy holds the checked working copy
  Refused,    // the program file is not the one installed: said so, nothing removed
  NoCopy,     // yes, but no copy could be written: the work is done from here
};
// The question, with the program file `ownPath` held from before it; on
// "Yes" the working copy in `folder`.
Asked AskAndCopy(const install::InstallRecord& record, const std::wstring& ownPath,
                 const std::wstring& folder, WorkingCopy& copy,
                 const NameSource& nextName = RandomCopyName);

// The working copy, its work done: its file (the held `copy`, still running)
// moves into the folder above its fresh folder, where it goes when the
// process ends, and the fresh folder, empty now, goes at once.
void LeaveCopyFolder(HANDLE copy, const std::wstring& copyPath);

// The uninstaller's messages: its own title, brought to the front.
int Show(const std::wstring& text, UINT flags);

}  // namespace uninstall
