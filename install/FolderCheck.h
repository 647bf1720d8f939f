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

// Of the paths that a part of the installation still reads, starts or
// gives on by their full spelling, the one furthest past the limit it
// passes; limit 0 when every such path fits.
struct LongestPath {
  std::wstring path;
  size_t limit = 0;
};

// `earlierWork`: the work folder a stopped run of this program left held,
// which is the installer's own. The archive is read from
// choices.mediumDir; one that cannot be read is the run's to report.
FolderRefusal JudgeChosenFolders(const InstallChoices& choices,
                                 const platform::HeldFolder& earlierWork);

// Judged for the chosen folders themselves, the programs started from the
// application folder, and, of the archive's entries (names as stored, "/"
// between folders), what the engine's setup program reads where the run
// unpacks it. Whatever else the run writes goes through held folders and
// may pass 260 characters.
LongestPath PathPastLimit(const InstallChoices& choices, const std::vector<std::wstring>& entries);

}  // namespace install
