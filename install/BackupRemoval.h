// The backups a complete run left (what its commit replaced), removed on a
// thread of their own while the engine's setup runs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Handles.h"

namespace install {

// Folder (a full path) and name of each backup.
using Backups = std::vector<std::pair<std::wstring, std::wstring>>;

// Each backup that is still there goes; those that cannot stay in backups.
// Each folder is found once, from its volume's root without a link.
bool RemoveBackups(Backups& backups);

class BackupRemoval {
 public:
  BackupRemoval() = default;
  BackupRemoval(BackupRemoval&&) noexcept = default;
  BackupRemoval& operator=(BackupRemoval&& other) noexcept {
    Wait();
    thread_ = std::move(other.thread_);
    return *this;
  }
  ~BackupRemoval() { Wait(); }
  // Falls back to removing them here when no thread can be had.
  void Start(const Backups& backups);
  void Wait();
  // Signalled once they are gone; null when nothing is going.
  HANDLE Handle() const { return thread_.get(); }

 private:
  platform::UniqueHandle thread_;
};

}  // namespace install
