// The installation as an object of its own: what one start of the installer
// does to the PC across its runs (a run, a stop, the run after it, the
// rollback, the finish). It owns the journal, the work folder, the engine's
// setup process, the folders the runs made and the medium's identities; the
// window keeps only its pages and controls and talks to it through the host.
#pragma once

#include <string>
#include <vector>

#include "install/FolderCheck.h"
#include "install/Install.h"
#include "install/Journal.h"
#include "platform/Handles.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"

namespace install {

class Session {
 public:
  // mediumDir: the folder the program started in, which holds the archive
  // (one trailing "\" goes). It and every folder above it are known by
  // identity from here on: never removed, whatever name leads to them.
  explicit Session(std::wstring mediumDir);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::wstring& MediumDir() const { return mediumDir_; }

  // At program start, right after the one-wizard lock: what a run ended at
  // once left is rolled back, or finished when it was complete. Never raises.
  Recovery Recover() const;

  // The folders page's last check, as the run will judge the ground.
  FolderRefusal JudgeFolders(const InstallChoices& choices) const;

  // One run over the person's choices (the medium and the folders earlier
  // runs made are the session's). What the run leaves (its work folder, the
  // engine's process, the folders made) stays with the session.
  InstallResult Run(InstallChoices choices, InstallHost& host);
  // What a run reports it left: held by the session from now on.
  void Keep(InstallResult& result);

  // Whether a run began that neither completed nor was put back.
  bool NeedsRollBack() const;
  // Puts the PC back as before the runs; false when something stayed, which
  // Left() names (the journal keeps it for the next start). progress hears
  // how many of its steps are done, of how many.
  bool RollBack(const Journal::Progress& progress = {});
  const std::vector<std::wstring>& Left() const { return left_; }

  // The engine's setup process of the last run (null when none).
  HANDLE Engine() const { return engine_.get(); }
  void ForgetEngine() { engine_.reset(); }
  // Signalled once the backups of a second installation are gone; null
  // when none are going.
  HANDLE RemovingBackups() const { return journal_.RemovingBackups(); }
  // The finish: the work folder goes whole through its held handle, then the
  // journal; false while anything of it is still there.
  bool Finish();
  // What the finish could not remove is the next start's, found by the
  // journal: nothing of it stays held.
  void LetGo() { work_.Release(); }

 private:
  // The choices with what the session knows: the medium, the folders made.
  InstallChoices Completed(InstallChoices choices) const;

  std::wstring mediumDir_;
  std::vector<platform::FileIdentity> mediumFolders_;
  Journal journal_;
  platform::HeldFolder work_;
  platform::UniqueHandle engine_;
  std::vector<std::wstring> made_;
  std::vector<std::wstring> left_;
};

}  // namespace install
