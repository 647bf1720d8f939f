// What a run wrote, on the disk before its journal says so: every file's
// data and every folder's entries.
#pragma once

#include <cstddef>
#include <vector>

#include "fileops/FileOps.h"
#include "fileops/WorkContext.h"

namespace install {

// Every committed entry (each under its committed name) on the disk: a
// file's data, a folder's files and subfolders whole, then each folder
// holding an entry, once. The files are flushed side by side on worker
// threads while this thread runs ctx's messages: the window answers, and
// flushes that wait together cost the file system one write of its log.
// The index of the first entry that could not be flushed; entries.size()
// when every one was. A stop requested meanwhile is left to the caller.
size_t Unflushed(fileops::WorkContext& ctx, const std::vector<fileops::Staging::Entry>& entries);

}  // namespace install
