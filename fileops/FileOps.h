// The file work of the installation: removal, counting, copying, unpacking.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "fileops/UnZip32.h"
#include "fileops/WorkContext.h"
#include "platform/HeldFolder.h"

namespace fileops {

// Counts the files below Folder for the progress total. Folders named
// UTILITY and NAVOD, VZORY / PRIKLADY when that component stays on the
// CD-ROM, and dot folders are not entered. Missing or unreadable folders
// count 0; an abort returns the count reached so far.
int CountFiles(WorkContext& ctx, const std::wstring& folder);

// What a copy put in place, as full paths: each file with its size and
// CRC-32 as written, and the folders it made (outermost first).
struct CopyLog {
  struct File {
    std::wstring path;
    uint64_t size = 0;
    uint32_t crc = 0;
  };
  std::vector<File> files;
  std::vector<std::wstring> madeFolders;
};

// The files an unpacking wrote, by their full paths, with what the archive
// states of each (the unpacking checked them against it): what a staged copy
// may move into place rather than copy.
class UnpackedFiles {
 public:
  UnpackedFiles() = default;
  UnpackedFiles(const std::vector<std::wstring>& paths, const std::vector<EntryFacts>& facts);
  const EntryFacts* Find(const std::wstring& path) const;

 private:
  std::unordered_map<std::wstring, EntryFacts> byPath_;  // folded full paths
};

// A copy that stages: nothing already in the target is changed while it
// runs. Each file is left complete under a temporary name of its folder, and
// each folder the target lacks is made whole under one; the commit gives them
// their names afterwards, in one short pass.
struct Staging {
  std::wstring prefix;  // the beginning of every temporary name of the run
  // A file already in the target that stays as it is (the person's own):
  // given its full path and the file open for reading. Null: every file of
  // the copy is replaced.
  std::function<bool(const std::wstring& path, HANDLE file)> keep;
  struct Entry {
    std::wstring folder;    // the target folder it lies in, a full path
    std::wstring temp;      // its name while staged
    std::wstring name;      // its name once committed
    bool replaces = false;  // something of that name is there now
    bool isFolder = false;
    // The folder it lies in, held since the copy wrote there: the commit
    // works through it, never finding the folder again by its path.
    std::shared_ptr<const platform::HeldFolder> held;
  };
  std::vector<Entry> entries;      // what the commit puts in place
  std::vector<std::wstring> kept;  // full paths of the files kept
  // Folders that were there and are staged whole again (folded full paths).
  std::set<std::wstring> replacedFolders;
  // Files of the source that are the run's own to move: one on the target's
  // volume takes its temporary name by a rename (one write of the disk, not
  // two) and the access list of its new folder; every other one is copied.
  const UnpackedFiles* unpacked = nullptr;
};

// Copies the files of Source into Target (created first), with every
// sub-folder unless topLevelOnly, one progress step per file, the read-only
// bit cleared on the copies. Failures are returned in the order they came,
// each reported through the context as it comes (CopyFailed), and the copy
// goes on past a folder that failed; a file that cannot be copied stops the
// installation. Log, when given, gets what the copy put in place.
// Both folders are opened once and held: every file is read and written
// through them. Each file is written under a temporary name and takes its
// own only when complete, so that a stop inside a file leaves the file that
// was there (or none), never half of one.
std::vector<CopyFailure> CopyDir(WorkContext& ctx, const std::wstring& source,
                                 const std::wstring& target, bool topLevelOnly,
                                 CopyLog* log = nullptr);
// The same between folders the caller holds (an empty one: it could not be
// had), named in the messages by the paths given; with names, only the
// files of those names (any letter case) at the top level are copied.
// With staging, the copy stages as described there.
std::vector<CopyFailure> CopyDir(WorkContext& ctx, const platform::HeldFolder& source,
                                 const std::wstring& sourcePath, const platform::HeldFolder& target,
                                 const std::wstring& targetPath, bool topLevelOnly,
                                 const std::vector<std::wstring>* names = nullptr,
                                 CopyLog* log = nullptr, Staging* staging = nullptr);

// How an extraction ended.
enum class ExtractResult {
  Complete,              // every entry is in the target folder
  Stopped,               // the user's abort ended it between entries; what was unpacked stays
  Failed,                // refused or failed; nothing of this call is left in the target folder
  NotTheMediumsArchive,  // not the archive whose digests were expected; nothing left written
  MediumUnreadable,      // the archive could not be read on, and the person gave up
};

// Unpacks the installation archive, whole, into TargetDir through the unzip
// interface, naming each entry in the status line. Reports nothing to the
// user; the library's text goes to Memo1.
//
// Where the installation copies parts of the unpacked archive afterwards.
struct LaterCopies {
  std::wstring rootFiles;  // the files directly in the archive's root; empty: not copied
  std::wstring vzory;      // the tree below "Vzory"; empty: not copied
};

// Shortfall, when given, names the volume when room is what failed.
// Failed, with nothing written, when the archive is missing or damaged, when
// any entry is unsafe or unusable (see Wiz_SingleEntryUnzip), when it lacks
// VantorPro.exe at its top level or Utility\Bde\Setup.exe, or when a volume
// lacks the room that the files take on it: the target's, and those that
// copies go to, each file rounded up to the volume's cluster, less what a
// file it replaces takes now. Failed later (an entry untrue to its size
// or checksum, a full disk, a read error): every file this call wrote and
// every folder it made below TargetDir (TargetDir too, when the call made
// it) is removed again; files it found there and left alone stay.
// A TargetDir that the caller made before the call is the caller's to
// remove after a failure.
// Each file is written under a temporary name of its folder; only when every
// entry is complete and checked (or at a stop, the complete ones) do they
// take their names, so a failed run leaves every file that was there as it
// was.
// Entries, when given, receives the full path of every entry of the archive
// (folders end in "\\") after Complete or Stopped, and nothing after Failed;
// facts, when given, what the archive states of each, in the same order.
// Held, when given, is TargetDir held by the caller: everything is written
// through it, never by path. Engine, when given, receives the size and
// checksum the archive states for Utility\Bde\Setup.exe. Digest, when
// given, is the length and chunk digests the archive must have: each chunk
// is checked as it is first read, and one untrue to them ends the call with
// NotTheMediumsArchive, with what was written removed. AskRetry is asked
// when the archive cannot be read on (see UnzipNeeds); a false answer ends
// the call with MediumUnreadable, with what was written removed.
ExtractResult ExtractArchive(
    WorkContext& ctx, const std::wstring& archivePath, const std::wstring& targetDir,
    std::vector<std::wstring>* entries = nullptr, const platform::HeldFolder* held = nullptr,
    EntryFacts* engine = nullptr, const LaterCopies& copies = {},
    RoomShortfall* shortfall = nullptr, const ChunkDigests* digest = nullptr,
    const std::function<bool()>& askRetry = {}, std::vector<EntryFacts>* facts = nullptr);

}  // namespace fileops
