// The installation sequence as a layer of its own: the wizard hands it the
// user's choices and a host to talk back through, and learns how it ended.
// Nothing here knows the wizard's window or its controls.
#pragma once

#include <string>
#include <vector>

#include "fileops/WorkContext.h"
#include "install/Messages.h"
#include "platform/Handles.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace install {

class Journal;

// What the user chose, gathered by the wizard before the run.
struct InstallChoices {
  std::wstring vantorPro;   // application folder
  std::wstring projekty;    // projects folder
  std::wstring vzory;       // templates folder
  std::wstring priklady;    // examples folder
  std::wstring folderName;  // Start-menu group
  std::wstring name;        // the user's name
  std::wstring company;
  bool leaveVzoryOnCd = false;
  bool leavePrikladyOnCd = false;
  std::wstring mediumDir;       // the folder that holds Vaninst.pak
  std::wstring programsFolder;  // the user's Start-menu Programs folder
  // Folders an earlier run of this program made before it was stopped
  // (InstallResult::madeFolders): the record of this run names them too.
  std::vector<std::wstring> madeEarlier;
};

// One trailing "\" goes from a folder text longer than a drive root ("C:\").
std::wstring TrimFolder(std::wstring folder);

// The folder the archive is unpacked into; the source of everything after.
std::wstring UnpackFolder(const InstallChoices& choices);

// What the installation talks back through, beside the file work's own
// reports (status line, progress step, message pump, stop query, stop, the
// text sink and the message-box caption).
class InstallHost : public fileops::WorkContext {
 public:
  // A run begins: a stop left from an earlier run no longer counts.
  virtual void ClearStopRequest() = 0;
  // The bottom button bar (Storno, Zpět, Další).
  virtual void SetBottomBarVisible(bool visible) = 0;
  // The progress bar back at 0, and then its maximum.
  virtual void ResetProgress() = 0;
  virtual void SetProgressTotal(int total) = 0;
  // Repaints the whole window now: the sequence lets no messages run
  // between its steps.
  virtual void Redraw() = 0;
  // A failure message of the sequence: error icon, OK, caption SetupTitle.
  virtual void ShowError(const std::wstring& text) = 0;
  // A copy's failure, as it happens: shown as every failure message is.
  void CopyFailed(const fileops::CopyFailure& failure) override {
    ShowError(CopyFailedMessage(failure));
  }
  // A question of the sequence (files in use: Retry or Cancel), caption
  // SetupTitle; the button chosen.
  virtual int Ask(const std::wstring& text, UINT flags) {
    return platform::ShowMessageBox(text, SetupTitle(), flags);
  }
  // The commit has put done of total entries in place (total of total: the
  // commit is complete). The pass lets no messages run.
  virtual void OnCommitStep(size_t /*done*/, size_t /*total*/) {}
};

enum class Ending {
  Done,       // the engine's setup program was started; the poll may begin
  Stopped,    // a stop was requested; the sequence returned at its next test
  Fatal,      // a failure that ends the installation; message says which
  Cancelled,  // the person chose Cancel: files to be replaced in use, or a medium unreadable
};

struct InstallResult {
  Ending ending = Ending::Done;
  std::wstring message;       // Fatal: the text to show before the window closes
  std::wstring unpackFolder;  // where the archive went: SourceDir from now on
  // Full paths of the archive's entries unpacked there (folders end in "\\"):
  // what the finish removes again.
  std::vector<std::wstring> unpackedEntries;
  platform::UniqueHandle engine;  // Done: the engine's setup process
  // The work folder, held since it was made (or recognised as the
  // installer's own): what the finish removes through, and what a run after
  // a stop goes on in. Empty after a fatal ending.
  platform::HeldFolder workFolder;
  // The folders made so far, this run's and those of madeEarlier.
  std::vector<std::wstring> madeFolders;
};

// The name of the mark inside the installer's own work folder: a folder
// only the installer makes there, which goes last at the finish.
inline constexpr wchar_t kWorkFolderMark[] = L".SetupVantor";

// The whole installation in one pass on the GUI thread: unpack, count, copy,
// projects folder, Start-menu group and shortcuts, registry values, the
// database engine's setup program. The caller shows a fatal message and
// ends the program; a non-fatal failure (the Start menu) is shown here
// through the host. An error raised before the unpacking is judged leaves
// the sequence.
// The work folder is made fresh, owned by Administrators with an access list
// only they and SYSTEM may change, and marked; an existing one is used only
// when it is the installer's own (earlier: the one a stopped run of this
// program left held; else its mark, and where the volume keeps access lists,
// its owner and list), and otherwise refused untouched with the unpacking's
// message. Every folder written into is held from its check on.
// Everything outside the work folder is staged first and committed in one
// short pass before the engine's setup starts; journal records the run as
// it goes (see Journal.h), and a run after a stop goes on with the same one.
// Without a journal the run keeps its own and rolls back a fatal or
// cancelled ending itself; with one, the rollback is the caller's.
InstallResult Install(const InstallChoices& choices, InstallHost& host,
                      platform::HeldFolder earlier = {}, Journal* journal = nullptr);

}  // namespace install
