#include "install/Flush.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <limits>
#include <string>
#include <system_error>
#include <thread>

#include "platform/Handles.h"

namespace install {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Enough flushes in flight for the file system to fold them together; more
// gain nothing measurable.
constexpr size_t kWorkers = 8;
constexpr size_t kNone = std::numeric_limits<size_t>::max();

struct Work {
  struct Item {
    const platform::HeldFolder* folder;
    std::wstring name;  // a file of the folder; empty: the folder's own entries
    size_t entry;       // the committed entry it belongs to
  };
  std::vector<Item> files;
  std::vector<Item> folders;               // each once
  std::deque<platform::HeldFolder> below;  // folders inside folder entries, held meanwhile
};

void AddFolder(Work& work, const platform::HeldFolder* folder, size_t entry) {
  if (std::none_of(work.folders.begin(), work.folders.end(), [&](const auto& added) {
        return added.folder == folder ||
               (folder->Identity().Known() && added.folder->Identity() == folder->Identity());
      }))
    work.folders.push_back({folder, {}, entry});
}

// Everything below a folder entry, listed here, flushed later.
bool Collect(fileops::WorkContext& ctx, Work& work, const platform::HeldFolder& folder,
             size_t entry) {
  ctx.ProcessMessages();
  bool listed = false;
  for (const platform::DirEntry& item : folder.List(&listed)) {
    if (item.IsLink()) continue;  // nothing of the run's is reached through one
    if (!item.IsFolder()) {
      work.files.push_back({&folder, item.name, entry});
      continue;
    }
    const platform::HeldFolder& inner = work.below.emplace_back(folder.Child(item.name));
    if (!inner || !Collect(ctx, work, inner, entry)) return false;
  }
  work.folders.push_back({&folder, {}, entry});
  return listed;
}

// A file through the folder; a folder reopened through its held handle,
// never by a path, with the write access its flush needs. A file system that
// keeps a folder's entries written through itself, and so cannot flush them
// on request, counts as flushed.
bool FlushItem(const Work::Item& item) {
  if (!item.name.empty()) {
    const platform::UniqueFile file =
        item.folder->OpenFile(item.name, GENERIC_WRITE, kShareAll, FILE_OPEN);
    return file && FlushFileBuffers(file.get());
  }
  const platform::UniqueFile writable(
      ReOpenFile(item.folder->Handle(), GENERIC_WRITE, kShareAll, FILE_FLAG_BACKUP_SEMANTICS));
  if (!writable) return false;
  if (FlushFileBuffers(writable.get())) return true;
  const DWORD error = GetLastError();
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

// The items on worker threads; the least entry whose item failed (kNone).
size_t FlushAll(fileops::WorkContext& ctx, const std::vector<Work::Item>& items) {
  std::atomic<size_t> next{0}, failed{kNone};
  auto flush = [&] {
    for (size_t i; (i = next++) < items.size();) {
      if (FlushItem(items[i])) continue;
      size_t was = failed;
      while (items[i].entry < was && !failed.compare_exchange_weak(was, items[i].entry)) {
      }
    }
  };
  const platform::UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::atomic<size_t> running{0};
  std::vector<std::thread> workers;
  if (done) {
    const size_t wanted = std::min(kWorkers, items.size());
    running = wanted;
    try {
      for (size_t i = 0; i < wanted; ++i)
        workers.emplace_back([&] {
          flush();
          if (running.fetch_sub(1) == 1) SetEvent(done.get());
        });
    } catch (const std::system_error&) {
      // Fewer workers, or none: what is left is flushed here.
      const size_t missing = wanted - workers.size();
      if (running.fetch_sub(missing) == missing) SetEvent(done.get());
    }
  }
  if (workers.empty()) {
    flush();
  } else {
    while (WaitForSingleObject(done.get(), 20) == WAIT_TIMEOUT) ctx.ProcessMessages();
  }
  for (std::thread& worker : workers) worker.join();
  return failed;
}

}  // namespace

size_t Unflushed(fileops::WorkContext& ctx, const std::vector<fileops::Staging::Entry>& entries) {
  Work work;
  for (size_t i = 0; i < entries.size(); ++i) {
    const fileops::Staging::Entry& entry = entries[i];
    const platform::HeldFolder* folder = entry.held.get();
    if (!folder || !*folder) return i;
    if (entry.isFolder) {
      const platform::HeldFolder& inner = work.below.emplace_back(folder->Child(entry.name));
      if (!inner || !Collect(ctx, work, inner, i)) return i;
    } else {
      work.files.push_back({folder, entry.name, i});
    }
    AddFolder(work, folder, i);
  }
  // The folders once their files are: the names last, as they were given.
  const size_t failed = FlushAll(ctx, work.files);
  return std::min({failed, FlushAll(ctx, work.folders), entries.size()});
}

}  // namespace install
