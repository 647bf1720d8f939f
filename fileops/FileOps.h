// The file work of the installation: removal, counting, copying, unpacking.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fileops/WorkContext.h"

namespace fileops {

// Removes Path with everything in it, depth first; folders whose names begin
// with "." are left alone. Silent: every failure is ignored.
void DeleteDir(const std::wstring& path);

// Counts the files below Folder for the progress total. Folders named
// UTILITY and NAVOD, VZORY / PRIKLADY when that component stays on the
// CD-ROM, and dot folders are not entered. Missing or unreadable folders
// count 0; an abort returns the count reached so far.
int CountFiles(WorkContext& ctx, const std::wstring& folder);

// What a copy put in place: the files it wrote and the folders it made
// (outermost first), as full paths.
struct CopyLog {
  std::vector<std::wstring> files;
  std::vector<std::wstring> madeFolders;
};

// Copies the files of Source into Target (created first), with every
// sub-folder unless topLevelOnly, one progress step per file, the read-only
// bit cleared on the copies. Failures are shown in message boxes; a file
// that cannot be copied stops the installation. Log, when given, gets what
// the copy put in place.
void CopyDir(WorkContext& ctx, const std::wstring& source, const std::wstring& target,
             bool topLevelOnly, CopyLog* log = nullptr);

// How an extraction ended.
enum class ExtractResult {
  Complete,  // every entry is in the target folder
  Stopped,   // the user's abort ended it between entries; what was unpacked stays
  Failed,    // refused or failed; nothing of this call is left in the target folder
};

// Unpacks the installation archive, whole, into TargetDir through the unzip
// interface, naming each entry in the status line. Reports nothing to the
// user; the library's text goes to Memo1.
//
// Failed, with nothing written, when the archive is missing or damaged, when
// any entry is unsafe or unusable (see Wiz_SingleEntryUnzip), when it lacks
// VantorPro.exe at its top level or Utility\Bde\Setup.exe, or when the
// target's volume has less free room than the files need twice over where
// the installation copies them once more: the top-level files, and Vzory
// unless it stays on the CD-ROM. Failed later (an entry untrue to its size
// or checksum, a full disk, a read error): every file this call wrote and
// every folder it made below TargetDir (TargetDir too, when the call made
// it) is removed again; files it found there and left alone stay.
// A TargetDir that the caller made before the call is the caller's to
// remove after a failure.
// Entries, when given, receives the full path of every entry of the archive
// (folders end in "\\") after Complete or Stopped, and nothing after Failed.
ExtractResult ExtractArchive(WorkContext& ctx, const std::wstring& archivePath,
                             const std::wstring& targetDir,
                             std::vector<std::wstring>* entries = nullptr);

// Undoes an unpacking into Folder: the files among Entries (full paths as
// ExtractArchive gives them), then their folders that are left empty, then
// Folder when it is empty. Nothing else goes: files that were not the
// archive's stay, nothing is removed through a link, and nothing at or
// below Keep (the medium's folder) is touched. False while a file of the
// archive is still there (held open by someone, say).
bool RemoveUnpacked(const std::wstring& folder, const std::vector<std::wstring>& entries,
                    const std::wstring& keep);

// True when the file open in `file` holds, from where the handle stands,
// exactly `size` bytes whose CRC-32 is `crc`: an archive entry's content as
// its directory states it.
bool HoldsEntryContent(HANDLE file, uint64_t size, uint32_t crc);

}  // namespace fileops
