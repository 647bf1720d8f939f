// The ground the installation writes on. The folders it makes get access
// lists as Program Files has (the projects stay the person's to change);
// an application or templates folder found in place, and every level above
// it, must be one no other account of the PC can change; and what an
// earlier installation made is walked level by level, a link met there
// refused, never followed.
#pragma once

#include <string>
#include <vector>

#include "install/Install.h"
#include "platform/Access.h"
#include "platform/HeldFolder.h"

namespace install {

// A folder of the installation.
enum class Place {
  Application,  // the program's own files and the uninstaller
  Projects,     // where the person saves projects
  // The templates the installation ships: written, replaced by a second
  // installation and removed by the uninstaller, all elevated, so they lie
  // where only administrators can change them, as the program does.
  Templates,
  Work,  // the unpack folder, the installer's own
  // A level the run makes above one of them (X:\Data of X:\Data\Projekty):
  // no one's to change but the administrators', whatever the folder at the
  // end is for, or another account could move that folder away and put its
  // own in its place.
  Above,
};

// The list a level made for the place gets.
platform::FolderAccess AccessFor(Place place);

// The folders an earlier installation made (its record's), with those a
// stopped run of this program made (`alsoMade`).
std::vector<std::wstring> EarlierMadeFolders(const std::vector<std::wstring>& alsoMade);

// The folder `path` for the place, held; with create, each missing level
// made with AccessFor(place) and handed back in *made as HeldFolder::Open
// does. The levels above the first one `earlier` names are the person's own
// path and followed as typed, once; from that one on, each level is opened
// from the one above and a link there is refused. For the application and
// the templates, a folder found in place and each level above it must pass
// platform::JudgeFolder (a volume without access lists passes, except for
// the application's own folder). For every place, a link on the typed path
// must pass platform::JudgeLink: it is followed then, and refused
// otherwise. A folder not there yet (without create) has the levels that
// are judged so. Empty with `refusal` the message when the ground is
// refused; empty with `refusal` empty when the folder cannot be had
// (GetLastError).
platform::HeldFolder OpenForRun(const std::wstring& path, Place place,
                                const std::vector<std::wstring>& earlier, bool create,
                                std::vector<platform::HeldFolder>* made, std::wstring& refusal);

// Before anything is written: the application, projects and templates
// folders as they are now (missing ones pass), each through OpenForRun, and
// every folder `earlier` names below them walked from there (a link
// refused). The message of the first refusal; empty when the run may go on.
std::wstring SurveyGround(const InstallChoices& choices, const std::vector<std::wstring>& earlier);

// A folder not there yet, before anything is written: the levels above it
// that are there, judged as OpenForRun judges them once the folder is made.
// The message of the refusal; empty when the run may make it (or when it is
// there: SurveyGround judges that).
std::wstring SurveyMissingFolder(const std::wstring& path, Place place);

}  // namespace install
