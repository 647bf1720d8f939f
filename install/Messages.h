// The messages that end an installation run, each with its last line
// "Instalace bude ukončena!", and those shown on the way.
#pragma once

#include <string>
#include <vector>

#include "fileops/UnZip32.h"
#include "fileops/WorkContext.h"
#include "platform/Access.h"

namespace install {

std::wstring CannotUnpack(const std::wstring& appFolder);  // A
std::wstring CannotRead(const std::wstring& sourceDir);    // B
std::wstring CannotCreate(const std::wstring& folder);     // C
std::wstring StartMenuFailed();                            // D, without the ending line
std::wstring RegistryFailed();                             // E
std::wstring EngineFailed();                               // F
// The uninstaller could not be written into the application folder.
std::wstring CannotWriteUninstaller(const std::wstring& appFolder);
// A folder an earlier installation made, found replaced by a link.
std::wstring LinkReplaced(const std::wstring& folder);
// A folder, or a link on the way to it, that another account owns or may
// change: it could swap the installed files.
std::wstring UntrustedFolder(const std::wstring& folder, platform::FolderTrust trust);
std::wstring UntrustedLink(const std::wstring& link, platform::FolderTrust trust);
// A folder on a volume that keeps no access lists (FAT).
std::wstring Unprotectable(const std::wstring& folder);
// A file the commit replaces that another program holds: Retry or Cancel.
std::wstring InUseCannotReplace(const std::wstring& path);
// A work folder in place that the installer did not make: what to do.
std::wstring ForeignWorkFolder(const std::wstring& appFolder);
// An archive other than the one this program was laid out with.
std::wstring NotTheMediumsArchive(const std::wstring& mediumDir);
// Vaninst.pak could not be read on from the medium: a question with Retry
// and Cancel, without the ending line.
std::wstring MediumUnreadable(const std::wstring& mediumDir);
// A journal of an unfinished installation that this program cannot read;
// lastLine ends the message ("Instalace bude ukončena!" or the
// uninstaller's own).
std::wstring UnfinishedRunUnreadable(const std::wstring& lastLine);
// A rollback that could not put everything back: what stayed and what to do.
std::wstring RollBackLeft(const std::vector<std::wstring>& left);
// "Instalace bude ukončena!"
std::wstring EndsInstallation();
// A failed commit whose undo did not succeed: the rollback takes it over.
std::wstring CommitNotUndone();
// The status line while a rollback runs.
std::wstring RollingBack();
// A part of a copy that failed, shown as it fails (the run may go on).
std::wstring CopyFailedMessage(const fileops::CopyFailure& failure);
// The volume short of room, with what is needed and what is free.
std::wstring NoRoom(const fileops::RoomShortfall& shortfall);

// Programs (their file names) that hold files the commit replaces: the
// installation offers to close them (OK) or to cancel.
std::wstring ProgramsRunning(const std::vector<std::wstring>& names);
// Those that did not end when asked to: the person closes them and retries.
std::wstring ProgramsStillRunning(const std::vector<std::wstring>& names);
// The folders page's refusal of a part's empty folder text ("VantorPro",
// "Projekty", "Vzory", "Příklady").
std::wstring EmptyFolderText(const std::wstring& part);
// The wizard's questions before it closes and before it stops the copy.
std::wstring CloseQuestion();
std::wstring AbortQuestion();
// The wizard started while the one-wizard lock is held in this session and
// no wizard's window is there to bring forward: the uninstaller holds it
// while it removes (or a wizard started a moment earlier has no window yet).
// It ends having written nothing.
std::wstring AnotherRunUnderway();
// The wizard runs already, signed in as another user.
std::wstring RunsForAnotherUser();
// A path that a part of the installation would take past the limit it
// still has (a program started there, a shortcut's target): the folders
// page names it with its length and the limit.
std::wstring PathTooLong(const std::wstring& path, size_t limit);
// A refusal of the run as the folders page shows it: the person stays there
// to choose another folder, so its last line, that the installation ends,
// goes.
std::wstring OnFoldersPage(std::wstring fatal);

}  // namespace install
