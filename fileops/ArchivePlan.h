// The plan of an archive: where every entry goes below the target folder,
// judged from the archive's directory alone, before anything is written.
#pragma once

#include <zip.h>

#include <string>
#include <vector>

#include "fileops/UnZip32.h"

namespace fileops {

struct PlannedEntry {
  zip_uint64_t index;
  std::string name;     // as stored, UTF-8, for the callbacks
  std::wstring target;  // full path below the target folder
  bool folder;
  zip_stat_t stat;
};

struct ArchivePlan {
  std::wstring target;  // the target folder, full, no trailing "\" but a root's
  std::vector<PlannedEntry> entries;
  zip_uint64_t totalSize = 0;    // what the files declare
  zip_uint64_t totalPacked = 0;  // what they take in the archive
};

// Why an archive was refused: the library's code, a reason and the entry.
struct PlanRefusal {
  std::string why;
  std::string name;
};

// Plans the unpacking of every entry of archive into targetDir (empty: the
// current folder). PK_OK, or the code that refuses the archive with the
// reason in refusal: a name Windows cannot hold or that leads outside the
// target, a name taken twice in any letter case, a name longer than a file
// system holds, a path too long for the system or too deep, an encrypted,
// unsupported, link or special entry, a needed file missing.
int PlanArchive(zip_t* archive, const std::wstring& targetDir, const UnzipNeeds& needs,
                ArchivePlan& plan, PlanRefusal& refusal);

zip_uint64_t AddCapped(zip_uint64_t a, zip_uint64_t b);

// One letter case for names Windows takes as the same.
std::wstring FoldCase(const std::wstring& text);

// True when every volume that the unpacking and the caller's later copies
// (needs) write to has the room they take there: each file rounded up to its
// volume's cluster. A copy counts less what the file of the same name that
// it replaces takes now, but for the largest of those, which is still there
// while its new copy is written; the unpacking keeps the files of a run
// before until its own are complete, so it counts in full. A volume that
// cannot be asked counts as roomy: the writing then tells.
bool FitsOnItsVolumes(const ArchivePlan& plan, const UnzipNeeds& needs);

}  // namespace fileops
