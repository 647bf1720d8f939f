#include "install/BackupRemoval.h"

#include <map>
#include <memory>

#include "install/Journal.h"

namespace install {

namespace {

DWORD WINAPI RemoveOnThread(void* parameter) {
  std::unique_ptr<Backups> backups(static_cast<Backups*>(parameter));
  RemoveBackups(*backups);
  return 0;
}

}  // namespace

bool RemoveBackups(Backups& backups) {
  std::map<std::wstring, platform::HeldFolder> folders;
  std::erase_if(backups, [&](const std::pair<std::wstring, std::wstring>& backup) {
    auto found = folders.find(backup.first);
    if (found == folders.end())
      found = folders.emplace(backup.first, OpenWithoutLinks(backup.first)).first;
    // A folder that cannot be reached keeps its backup for the next try;
    // one that is no longer there holds none.
    return found->second ? RemoveEntry(found->second, backup.second) : Absent(backup.first);
  });
  return backups.empty();
}

void BackupRemoval::Start(const Backups& backups) {
  Wait();
  if (backups.empty()) return;
  auto* copy = new Backups(backups);
  thread_.reset(CreateThread(nullptr, 0, RemoveOnThread, copy, 0, nullptr));
  if (!thread_) RemoveOnThread(copy);
}

void BackupRemoval::Wait() {
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
  thread_.reset();
}

}  // namespace install
