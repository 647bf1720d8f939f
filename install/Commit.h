// The commit of a staged installation: one short pass in which every staged
// file and folder takes its name, what it replaces going to a backup name,
// after the programs that hold those files have been closed.
#pragma once

#include <string>
#include <vector>

#include "fileops/FileOps.h"
#include "install/Install.h"
#include "install/Journal.h"

namespace install {

enum class CommitResult {
  Done,       // everything is in place; the journal says Committed
  Cancelled,  // the person chose Cancel while files were in use
  Failed,     // the journal could not be written
  NotUndone,  // a failed pass could not be undone whole: the journal stays at
              // Commit, and the run's rollback finishes the undo
};

// Each entry is renamed through the folder it holds. Before the pass, the
// programs holding a file to be replaced are named, with Retry and Cancel;
// so is a file whose renaming or flush fails, after the pass so far is
// undone.
CommitResult CommitStaged(InstallHost& host, Journal& journal,
                          const std::vector<fileops::Staging::Entry>& entries);

}  // namespace install
