// Ground held for removing what a list names by full paths (the record of an
// installation, say): every folder is held from its volume's root one name
// at a time, each relative to the one above it, never through a link, and
// held until it goes. Every level is held only for passing through
// (HeldFolder::Pass); delete access is asked only for what goes, relative to
// its held folder. A path once held is never resolved again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/HeldFolder.h"

namespace platform {

class HeldGround {
 public:
  using Removal = HeldFolder::Removal;

  // `made`: the folders the installation made. A link met at one of them or
  // below is never entered; one on the person's own path above them is
  // followed as the installation followed it, when only trusted accounts
  // control it and the folder holding it (JudgeLink).
  explicit HeldGround(std::vector<std::wstring> made = {}) : made_(std::move(made)) {}

  // Removes the file when it holds exactly `size` bytes whose CRC-32 is
  // `crc`. Missing also when a folder on its way is not there.
  Removal RemoveFile(const std::wstring& path, uint64_t size, uint32_t crc);
  // Removes the folder when it is empty.
  Removal RemoveFolder(const std::wstring& path);

 private:
  struct Held {
    HeldFolder folder;                  // when it could be held
    Removal absent = Removal::Missing;  // else why not: Missing or Kept
  };
  // The folder at a path ("C:" for a drive's root), held when it can be.
  Held& Folder(const std::wstring& path);

  // Whether path is a folder the installation made, or lies below one.
  bool Made(const std::wstring& path) const;

  std::map<std::wstring, Held> held_;  // by upper-case path
  std::vector<std::wstring> made_;
};

}  // namespace platform
