#include "platform/HeldFolder.h"

#include <algorithm>

#include <winternl.h>

#include <cstring>
#include <utility>

#include "platform/Crc32.h"
#include "platform/NtFile.h"

namespace platform {

using namespace nt;

std::wstring RootOf(const std::wstring& full) {
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return full.substr(0, 3);
  if (!full.starts_with(L"\\\\") || full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\"))
    return {};
  const size_t server = full.find(L'\\', 2);
  if (server == std::wstring::npos || server == 2) return {};
  const size_t share = full.find(L'\\', server + 1);
  if (share == server + 1) return {};
  return share == std::wstring::npos ? full + L'\\' : full.substr(0, share + 1);
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::wstring full(n, L'\0');
  const DWORD m = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  if (m == 0 || m >= n) return {};
  full.resize(m);
  return full;
}

std::wstring ComparablePath(const std::wstring& path) {
  const std::wstring full = FullPath(path);
  std::wstring spelt = AsciiUpper(full.empty() ? path : full);
  if (spelt.size() > 3 && spelt.back() == L'\\') spelt.pop_back();
  return spelt;
}

FileIdentity IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!handle || handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &info))
    return {};
  return {info.dwVolumeSerialNumber,
          (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

FileIdentity IdentityAt(const std::wstring& path) {
  UniqueFile file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file ? IdentityOf(file.get()) : FileIdentity{};
}

DWORD VolumeFlagsOf(HANDLE handle) {
  DWORD flags = 0;
  if (!GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    return 0;
  return flags;
}

bool DeleteWhenClosed(HANDLE object) {
  FILE_DISPOSITION_INFO disposition{TRUE};
  return SetFileInformationByHandle(object, FileDispositionInfo, &disposition,
                                    sizeof disposition) != 0;
}

HeldFolder::HeldFolder(UniqueFile handle, std::wstring path, UniqueFile parent, std::wstring name)
    : handle_(std::move(handle)),
      path_(std::move(path)),
      parent_(std::move(parent)),
      name_(std::move(name)) {}

namespace {

UniqueFile Duplicate(HANDLE handle) {
  HANDLE copy = nullptr;
  if (!handle || !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS))
    return {};
  return UniqueFile(copy);
}

UniqueFile OpenFolderByPath(const std::wstring& path, ULONG share) {
  return UniqueFile(CreateFileW(path.c_str(), kFolderAccess, share, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

}  // namespace

HeldFolder HeldFolder::Open(const std::wstring& path, bool create, std::vector<HeldFolder>* made,
                            PSECURITY_DESCRIPTOR security, PSECURITY_DESCRIPTOR above) {
  // Full and absolute as given: a relative path would be resolved against
  // whatever the current folder is.
  if (RootOf(path).empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return {};
  }
  const std::wstring full = FullPath(path);
  if (full.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  const std::wstring root = RootOf(full);
  if (root.empty()) {
    SetLastError(ERROR_BAD_PATHNAME);
    return {};
  }
  // The deepest level that is there, as the system resolves the user's path
  // (a link on the way followed: the user meant it), with the level above
  // it; below it, each missing level made relative to the one above.
  const std::vector<std::wstring> parts = Components(full.substr(root.size()));
  const std::wstring top = root.substr(0, root.size() - 1);
  auto spell = [&](size_t levels) {
    std::wstring at = top;
    for (size_t i = 0; i < levels; ++i) at = Join(at, parts[i]);
    return levels == 0 ? root : at;
  };
  size_t have = parts.size();
  UniqueFile current;
  for (;;) {
    current =
        OpenFolderByPath(spell(have), have == 0 ? kFolderShare | FILE_SHARE_DELETE : kFolderShare);
    if (current) break;
    const DWORD error = GetLastError();
    if (have == 0 || !create || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND))
      return {};
    --have;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(current.get(), &info) ||
      !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    SetLastError(ERROR_DIRECTORY);
    return {};
  }
  // The level above, for the removal of this one: whatever is found there
  // by name then must still be this very folder.
  UniqueFile parent = have == 0
                          ? UniqueFile()
                          : OpenFolderByPath(spell(have - 1), kFolderShare | FILE_SHARE_DELETE);
  std::wstring walked = have == 0 ? top : spell(have);
  std::wstring name = have == 0 ? std::wstring() : parts[have - 1];
  for (size_t i = have; i < parts.size(); ++i) {
    UniqueFile next =
        NtOpen(current.get(), parts[i], kFolderAccess, kFolderShare, FILE_CREATE,
               FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT, FILE_ATTRIBUTE_NORMAL,
               i + 1 == parts.size() || !above ? security : above);
    if (!next) return {};
    UniqueFile holder = Duplicate(current.get());
    if (made) {
      made->push_back(HeldFolder(Duplicate(next.get()), Join(walked, parts[i]),
                                 Duplicate(current.get()), parts[i]));
    }
    walked = Join(walked, parts[i]);
    name = parts[i];
    parent = std::move(holder);
    current = std::move(next);
  }
  // The path as the user gave it, which the rest of the run spells.
  std::wstring spelt = path;
  if (spelt.size() > root.size() && spelt.back() == L'\\') spelt.pop_back();
  return HeldFolder(std::move(current), std::move(spelt), std::move(parent), std::move(name));
}

HeldFolder HeldFolder::Child(const std::wstring& relative, Make make, PSECURITY_DESCRIPTOR security,
                             bool* made) const {
  if (made) *made = false;
  const std::vector<std::wstring> parts = Components(relative);
  if (!handle_ || parts.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  HeldFolder current;
  const HeldFolder* parent = this;
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool last = i + 1 == parts.size();
    const ULONG options =
        FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT;
    const HANDLE above = parent->Handle();
    UniqueFile next;
    bool madeHere = false;
    if (last && make == Make::Fresh) {
      next = NtOpen(above, parts[i], kFolderAccess, kFolderShare, FILE_CREATE, options,
                    FILE_ATTRIBUTE_NORMAL, security);
      madeHere = static_cast<bool>(next);
    } else {
      next = NtOpen(above, parts[i], kFolderAccess, kFolderShare, FILE_OPEN, options, 0);
      if (!next && make != Make::No &&
          (GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND)) {
        next = NtOpen(above, parts[i], kFolderAccess, kFolderShare, FILE_CREATE, options,
                      FILE_ATTRIBUTE_NORMAL, last ? security : nullptr);
        madeHere = static_cast<bool>(next);
      }
    }
    if (!next) return {};
    // A link is never entered. Windows shows it on the handle; Wine, which
    // follows its Unix links whatever is asked, only in the listing.
    const DWORD listed = madeHere ? 0 : parent->AttributesOf(parts[i]);
    if (!madeHere && (IsLinkHandle(next.get()) || (listed != INVALID_FILE_ATTRIBUTES &&
                                                   (listed & FILE_ATTRIBUTE_REPARSE_POINT)))) {
      SetLastError(ERROR_CANT_ACCESS_FILE);
      return {};
    }
    if (last && made) *made = madeHere;
    current =
        HeldFolder(std::move(next), Join(parent->Path(), parts[i]), Duplicate(above), parts[i]);
    // The next level is opened below this one (the arguments above are
    // taken before it is replaced).
    parent = &current;
  }
  return current;
}

UniqueFile HeldFolder::OpenFile(const std::wstring& name, ACCESS_MASK access, ULONG share,
                                ULONG disposition, ULONG attributes) const {
  if (!handle_ || name.find(L'\\') != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  return NtOpen(handle_.get(), name, access, share, disposition,
                FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, attributes);
}

UniqueFile HeldFolder::CreateFresh(const std::wstring& prefix, const std::wstring& name,
                                   const std::wstring& suffix, std::wstring& made,
                                   ULONG attributes) const {
  for (int attempt = 0; attempt < 100; ++attempt) {
    made = prefix + std::to_wstring(attempt) + L"-" + name + suffix;
    UniqueFile file = OpenFile(made, GENERIC_WRITE | DELETE, 0, FILE_CREATE, attributes);
    if (file || (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS))
      return file;
  }
  return {};
}

bool HeldFolder::MoveHere(HANDLE object, const std::wstring& to, bool replace) const {
  if (!handle_ || !Nt().setInformation || !Fits(to) || to.find(L'\\') != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  const size_t bytes = to.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(offsetof(FILE_RENAME_INFORMATION, FileName) + bytes +
                                    sizeof(wchar_t));
  auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = handle_.get();
  info->FileNameLength = static_cast<ULONG>(bytes);
  std::memcpy(info->FileName, to.data(), bytes);
  IO_STATUS_BLOCK io{};
  return !Failed(Nt().setInformation(object, &io, info, static_cast<ULONG>(buffer.size()),
                                     kFileRenameInformation));
}

bool HeldFolder::Rename(const std::wstring& from, const std::wstring& to, bool replace) const {
  if (!handle_ || from.find(L'\\') != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  UniqueFile object = NtOpen(handle_.get(), from, DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                             FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, 0);
  return object && MoveHere(object.get(), to, replace);
}

bool HeldFolder::Remove(const std::wstring& name) const {
  if (!handle_ || name.find(L'\\') != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  UniqueFile object = NtOpen(handle_.get(), name, DELETE | FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                             FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, 0);
  return object && DeleteWhenClosed(object.get());
}

bool HeldFolder::RemoveSelf() {
  if (!handle_ || !parent_ || name_.empty()) return false;
  // Its own handle shares no deletion, so it goes first; the entry found
  // by its name in the folder above must then still be this very folder.
  const FileIdentity identity = Identity();
  // Found by name in the held folder above, and so on that folder's volume:
  // the index alone tells whether it is still this very folder. (Wine gives
  // the serial of whichever drive letter the path maps to now, and that
  // changes as letters are mapped and removed.)
  auto same = [&](HANDLE found) { return IdentityOf(found).index == identity.index; };
  handle_.reset();
  UniqueFile self =
      NtOpen(parent_.get(), name_, DELETE | FILE_READ_ATTRIBUTES,
             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
             FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, 0);
  if (self && identity.index != 0 && same(self.get()) && DeleteWhenClosed(self.get())) {
    self.reset();
    Release();
    return true;
  }
  const DWORD error = GetLastError();
  self.reset();
  // Held again, when it is still there.
  UniqueFile again =
      NtOpen(parent_.get(), name_, kFolderAccess, kFolderShare, FILE_OPEN,
             FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT, 0);
  if (again && same(again.get()))
    handle_ = std::move(again);
  else
    Release();
  SetLastError(error);
  return false;
}

bool HeldFolder::RemoveTree(const std::vector<FileIdentity>& keep) {
  if (!handle_) return true;
  if (!keep.empty() && std::find(keep.begin(), keep.end(), Identity()) != keep.end()) return false;
  bool listed = false;
  bool all = true;
  for (const DirEntry& entry : List(&listed)) {
    if (entry.IsFolder() && !entry.IsLink()) {
      HeldFolder inner = Child(entry.name);
      all = (inner ? inner.RemoveTree(keep) : Remove(entry.name)) && all;
    } else {
      all = Remove(entry.name) && all;
    }
  }
  return listed && all && RemoveSelf();
}

std::vector<DirEntry> HeldFolder::List(bool* ok) const {
  std::vector<DirEntry> entries;
  if (ok) *ok = false;
  if (!handle_ || !Nt().queryDirectory) return entries;
  // A handle of its own: the held one keeps no listing position.
  UniqueFile lister = NtOpen(handle_.get(), L"", FILE_LIST_DIRECTORY,
                             kFolderShare | FILE_SHARE_DELETE, FILE_OPEN, FILE_DIRECTORY_FILE, 0);
  if (!lister) return entries;
  std::vector<unsigned char> buffer(64 << 10);
  for (bool first = true;; first = false) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        Nt().queryDirectory(lister.get(), nullptr, nullptr, nullptr, &io, buffer.data(),
                            static_cast<ULONG>(buffer.size()), kFileBothDirectoryInformation, FALSE,
                            nullptr, first ? TRUE : FALSE);
    // An empty listing is no failure.
    if (first && ok)
      *ok = status >= 0 || status == static_cast<NTSTATUS>(0x80000006L) ||
            status == static_cast<NTSTATUS>(0xC000000FL);
    if (status < 0 || io.Information == 0) break;
    for (size_t offset = 0;;) {
      const auto* info = reinterpret_cast<const BothDirInfo*>(buffer.data() + offset);
      DirEntry entry;
      entry.name.assign(info->FileName, info->FileNameLength / sizeof(wchar_t));
      entry.attributes = info->FileAttributes;
      entry.size = static_cast<uint64_t>(info->EndOfFile.QuadPart);
      if (entry.name != L"." && entry.name != L"..") entries.push_back(std::move(entry));
      if (info->NextEntryOffset == 0) break;
      offset += info->NextEntryOffset;
    }
  }
  return entries;
}

DWORD HeldFolder::AttributesOf(const std::wstring& name) const {
  if (!handle_ || !Nt().queryDirectory || name.empty() || !Fits(name))
    return INVALID_FILE_ATTRIBUTES;
  // A handle of its own for each question: the name asked for is taken
  // only by a handle's first listing.
  UniqueFile lister = NtOpen(handle_.get(), L"", FILE_LIST_DIRECTORY,
                             kFolderShare | FILE_SHARE_DELETE, FILE_OPEN, FILE_DIRECTORY_FILE, 0);
  if (!lister) return INVALID_FILE_ATTRIBUTES;
  UNICODE_STRING mask;
  mask.Buffer = const_cast<PWSTR>(name.c_str());
  mask.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  mask.MaximumLength = mask.Length;
  std::vector<unsigned char> buffer(sizeof(BothDirInfo) + 520 * sizeof(wchar_t));
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = Nt().queryDirectory(lister.get(), nullptr, nullptr, nullptr, &io,
                                              buffer.data(), static_cast<ULONG>(buffer.size()),
                                              kFileBothDirectoryInformation, TRUE, &mask, TRUE);
  if (status < 0 || io.Information == 0) return INVALID_FILE_ATTRIBUTES;
  return reinterpret_cast<const BothDirInfo*>(buffer.data())->FileAttributes;
}

std::wstring HeldFolder::ConfirmedPath() const {
  // By identities alone. The name the system gives the handle is no
  // evidence: Wine names it from a drive table it renews once a second, so
  // a folder made just after a drive letter went can be named on that
  // letter, which leads nowhere.
  if (!handle_ || !Identity().Known()) return {};
  return IdentityAt(path_) == Identity() ? path_ : std::wstring();
}

namespace {

// A level that is only passed through: enough to walk below it, list it and
// know it again (its identity, whether it is a link).
constexpr ACCESS_MASK kPassAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;
constexpr ULONG kPassShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool NotThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

HeldFolder HeldFolder::Pass(const std::wstring& name) const {
  if (!handle_ || name.empty() || name.find(L'\\') != std::wstring::npos) {
    SetLastError(ERROR_INVALID_NAME);
    return {};
  }
  UniqueFile next =
      NtOpen(handle_.get(), name, kPassAccess, kPassShare, FILE_OPEN,
             FILE_DIRECTORY_FILE | FILE_OPEN_FOR_BACKUP_INTENT | FILE_OPEN_REPARSE_POINT, 0);
  if (!next) return {};
  // Windows shows a link on the handle; Wine only in the listing.
  const DWORD listed = AttributesOf(name);
  if (IsLinkHandle(next.get()) ||
      (listed != INVALID_FILE_ATTRIBUTES && (listed & FILE_ATTRIBUTE_REPARSE_POINT))) {
    SetLastError(ERROR_CANT_ACCESS_FILE);
    return {};
  }
  return HeldFolder(std::move(next), Join(path_, name), Duplicate(handle_.get()), name);
}

HeldFolder HeldFolder::Share() const {
  UniqueFile handle = Duplicate(handle_.get());
  if (!handle) return {};
  HeldFolder shared(std::move(handle), path_, Duplicate(parent_.get()), name_);
  shared.identity_ = identity_;
  return shared;
}

HeldFolder::Removal HeldFolder::RemoveIfHolds(const std::wstring& name, uint64_t size,
                                              uint32_t crc) const {
  UniqueFile file = OpenFile(name, GENERIC_READ | DELETE, FILE_SHARE_READ, FILE_OPEN);
  if (!file) return NotThere(GetLastError()) ? Removal::Missing : Removal::Kept;
  const DWORD listed = AttributesOf(name);
  if (IsLinkHandle(file.get()) ||
      (listed != INVALID_FILE_ATTRIBUTES && (listed & FILE_ATTRIBUTE_REPARSE_POINT)))
    return Removal::Kept;
  if (!HoldsContent(file.get(), size, crc)) return Removal::Kept;
  return DeleteWhenClosed(file.get()) ? Removal::Removed : Removal::Kept;
}

}  // namespace platform
