#include "uninstall/HeldFolders.h"

#include <winternl.h>

#include "platform/Crc32.h"
#include "platform/Platform.h"

namespace uninstall {

namespace {

constexpr NTSTATUS kNotFound = static_cast<NTSTATUS>(0xC0000034);      // OBJECT_NAME_NOT_FOUND
constexpr NTSTATUS kPathNotFound = static_cast<NTSTATUS>(0xC000003A);  // OBJECT_PATH_NOT_FOUND
constexpr ULONG kOpenReparsePoint = 0x00200000;                        // FILE_OPEN_REPARSE_POINT

struct FileDisposition {
  BOOLEAN deleteFile;
};

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PIO_APC_ROUTINE, PVOID,
                                               PIO_STATUS_BLOCK, PVOID, ULONG,
                                               FILE_INFORMATION_CLASS, BOOLEAN, PUNICODE_STRING,
                                               BOOLEAN);

UNICODE_STRING Counted(const std::wstring& text) {
  UNICODE_STRING counted;
  counted.Buffer = const_cast<PWSTR>(text.c_str());
  counted.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  counted.MaximumLength = counted.Length;
  return counted;
}

// The parent's path and the last name; false for a drive root or a path
// that is not a plain absolute one on a drive.
bool SplitLast(const std::wstring& path, std::wstring& parent, std::wstring& name) {
  std::wstring trimmed = path;
  while (trimmed.size() > 3 && trimmed.back() == L'\\') trimmed.pop_back();
  const size_t slash = trimmed.find_last_of(L'\\');
  if (trimmed.size() < 4 || trimmed[1] != L':' || slash == std::wstring::npos || slash < 2)
    return false;
  name = trimmed.substr(slash + 1);
  parent = trimmed.substr(0, slash);
  // "C:\\x" (a drive root kept its "\" before one was added) is C:\x.
  while (parent.size() > 2 && parent.back() == L'\\') parent.pop_back();
  return !name.empty() && name != L"." && name != L"..";
}

// Opens `name` relative to the held folder `root`, never following a link.
NTSTATUS OpenBelow(HANDLE root, const std::wstring& name, ACCESS_MASK access, ULONG share,
                   ULONG options, platform::UniqueFile& opened) {
  UNICODE_STRING unicodeName = Counted(name);
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE handle = nullptr;
  const NTSTATUS status =
      NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, share, FILE_OPEN,
                   options | kOpenReparsePoint | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(status)) opened.reset(handle);
  return status;
}

// Whether what was opened as `name` below the held `folder` is a link. On
// Windows the handle, opened as the link itself, says so. Wine opens what a
// symbolic link leads to even when asked for the link, and its handle then
// shows no reparse point; its folder listing does, so the name is looked up
// in a fresh listing of the held folder too, after the open.
bool IsLink(HANDLE folder, const std::wstring& name, HANDLE opened) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(opened, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return true;
  platform::UniqueFile listing;
  if (!NT_SUCCESS(OpenBelow(folder, L"", FILE_LIST_DIRECTORY,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            FILE_DIRECTORY_FILE, listing)))
    return true;  // cannot tell: not entered
  UNICODE_STRING mask = Counted(name);
  alignas(8) BYTE buffer[2048];
  IO_STATUS_BLOCK io{};
  if (!NT_SUCCESS(NtQueryDirectoryFile(listing.get(), nullptr, nullptr, nullptr, &io, buffer,
                                       sizeof buffer, FileDirectoryInformation, TRUE, &mask, TRUE)))
    return true;
  const auto* entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(buffer);
  return (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool MarkForDeletion(HANDLE handle) {
  FileDisposition disposition{TRUE};
  IO_STATUS_BLOCK io{};
  return NT_SUCCESS(NtSetInformationFile(handle, &io, &disposition, sizeof disposition,
                                         FileDispositionInformation));
}

}  // namespace

HeldFolders::Held& HeldFolders::Folder(const std::wstring& path) {
  const std::wstring key = platform::AsciiUpper(path);
  if (auto found = held_.find(key); found != held_.end()) return found->second;
  Held held;
  std::wstring parent, name;
  if (path.size() == 2 && path[1] == L':') {
    // The volume root: where every walk starts.
    const std::wstring root = path + L"\\";
    held.handle.reset(CreateFileW(root.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  } else if (!SplitLast(path, parent, name)) {
    held.absent = Outcome::Kept;
  } else if (const Held& above = Folder(parent); !above.handle) {
    held.absent = above.absent;
  } else {
    // Held with delete access, so that it can go through this very handle,
    // and shared for neither renaming nor removal by anyone else meanwhile.
    const NTSTATUS status =
        OpenBelow(above.handle.get(), name, FILE_LIST_DIRECTORY | FILE_TRAVERSE | DELETE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_DIRECTORY_FILE, held.handle);
    if (status == kNotFound || status == kPathNotFound) {
      held.absent = Outcome::Missing;
    } else if (!NT_SUCCESS(status) || IsLink(above.handle.get(), name, held.handle.get())) {
      held.absent = Outcome::Kept;  // a link is never entered, whatever it leads to
      held.handle.reset();
    }
  }
  return held_.emplace(key, std::move(held)).first->second;
}

Outcome HeldFolders::RemoveFile(const std::wstring& path, uint64_t size, uint32_t crc) {
  std::wstring parent, name;
  if (!SplitLast(path, parent, name)) return Outcome::Kept;
  const Held& folder = Folder(parent);
  if (!folder.handle) return folder.absent;
  // Shared for reading only: nobody changes it between the check and the removal.
  platform::UniqueFile file;
  const NTSTATUS status = OpenBelow(folder.handle.get(), name, GENERIC_READ | DELETE,
                                    FILE_SHARE_READ, FILE_NON_DIRECTORY_FILE, file);
  if (status == kNotFound || status == kPathNotFound) return Outcome::Missing;
  if (!NT_SUCCESS(status) || IsLink(folder.handle.get(), name, file.get())) return Outcome::Kept;
  if (!platform::HoldsContent(file.get(), size, crc)) return Outcome::Kept;
  return MarkForDeletion(file.get()) ? Outcome::Removed : Outcome::Kept;
}

Outcome HeldFolders::RemoveFolder(const std::wstring& path) {
  std::wstring parent, name;
  if (!SplitLast(path, parent, name)) return Outcome::Kept;
  Held& folder = Folder(path);
  if (!folder.handle) return folder.absent;
  // What is held below it is done with; its handles would keep it.
  const std::wstring prefix = platform::AsciiUpper(path) + L"\\";
  std::erase_if(held_, [&](const auto& item) { return item.first.starts_with(prefix); });
  if (!MarkForDeletion(folder.handle.get())) return Outcome::Kept;
  folder.handle.reset();
  folder.absent = Outcome::Kept;
  // A file system that takes the mark and keeps a folder that is not empty:
  // looked for again through the folder above, which is still held.
  platform::UniqueFile still;
  const Held& above = Folder(parent);
  const NTSTATUS status =
      OpenBelow(above.handle.get(), name, FILE_READ_ATTRIBUTES,
                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_DIRECTORY_FILE, still);
  if (NT_SUCCESS(status)) return Outcome::Kept;
  folder.absent = Outcome::Missing;
  return Outcome::Removed;
}

}  // namespace uninstall
