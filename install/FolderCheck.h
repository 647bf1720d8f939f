// The chosen folders judged when the person leaves the folders page, as the
// run will judge them, so that a refusal comes while another folder can
// still be chosen: the ground, the work folder, the length of the paths the
// installation writes, the room on each drive. The run keeps its own checks:
// the ground can change in between.
#pragma once

#include <string>

#include "install/Install.h"
#include "platform/HeldFolder.h"

namespace install {

// The folder a refusal is about: the field the person corrects.
enum class ChosenFolder { Application, Projects, Templates };

struct FolderRefusal {
  std::wstring message;  // empty: the run may start with these folders
  ChosenFolder folder = ChosenFolder::Application;
};

// The longest path the installation would write that Windows cannot take
// without the long-path prefix, with the limit it passes; length 0 when
// every path fits.
struct LongestPath {
  std::wstring path;
  size_t limit = 0;
};

// `earlierWork`: the work folder a stopped run of this program left held,
// which is the installer's own. The archive is read from
// choices.mediumDir; one that cannot be read is the run's to report.
FolderRefusal JudgeChosenFolders(const InstallChoices& choices,
                                 const platform::HeldFolder& earlierWork);

// Of the archive's entries (names as stored, "/" between folders), the path
// past its limit that goes furthest past it, below the unpack folder, the
// templates folder and the application folder as the run places them.
LongestPath PathPastLimit(const InstallChoices& choices, const std::vector<std::wstring>& entries);

}  // namespace install
