// A folder checked once and then held open for as long as it is worked in.
// Everything below it is created, opened, renamed and removed relative to the
// open handle, never by a path that could lead elsewhere by the time it is
// used: a folder swapped for a link meanwhile is not written or deleted
// through. Where a call needs a path after all, ConfirmedPath gives it only
// while that path still leads to the held folder.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Platform.h"

namespace platform {

// Which file or folder an object is, whatever it is called: its volume's
// serial number and its index on that volume. Empty when unknown.
struct FileIdentity {
  DWORD volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
  bool Known() const { return volume != 0 || index != 0; }
};

// "C:\\" or "\\\\server\\share\\" of a full path; empty for any other form.
std::wstring RootOf(const std::wstring& full);
// A path made full by the system (no length limit of its own); empty when
// it cannot be.
std::wstring FullPath(const std::wstring& path);
// One spelling of a path for comparing: full, in one letter case, a trailing
// "\" only on a root. A path that cannot be made full is taken as it is.
std::wstring ComparablePath(const std::wstring& path);

// Of an open handle; of what a path leads to now (links followed).
FileIdentity IdentityOf(HANDLE handle);
FileIdentity IdentityAt(const std::wstring& path);

// The file-system flags (FILE_PERSISTENT_ACLS, FILE_READ_ONLY_VOLUME, ...)
// of the volume an open handle lies on; 0 when unknown.
DWORD VolumeFlagsOf(HANDLE handle);

// Marks an object opened with DELETE access for removal when its last
// handle closes (a folder must be empty by then).
bool DeleteWhenClosed(HANDLE object);

// A file this run is writing goes when closed unless Keep() was called: one
// that is not complete and checked never takes a place in the folder.
class DiscardUnlessKept {
 public:
  explicit DiscardUnlessKept(HANDLE file) : file_(file) {}
  ~DiscardUnlessKept() {
    if (!kept_) DeleteWhenClosed(file_);
  }
  DiscardUnlessKept(const DiscardUnlessKept&) = delete;
  DiscardUnlessKept& operator=(const DiscardUnlessKept&) = delete;
  void Keep() { kept_ = true; }

 private:
  HANDLE file_;
  bool kept_ = false;
};

class HeldFolder {
 public:
  HeldFolder() = default;
  HeldFolder(HeldFolder&&) noexcept = default;
  HeldFolder& operator=(HeldFolder&&) noexcept = default;

  // The folder a user's path names, full and absolute on a drive or share,
  // opened once: a link on the way is followed, as the user meant it, and
  // never looked up again. With create, each missing level is made relative
  // to the one above it, and made receives a handle of its own on every
  // level made, outermost first (the folder itself last, when made): what
  // undoes it. The folder itself, when made, takes `security`, every level
  // made above it `above` (null: `security` too; both null: inherited).
  // Empty (GetLastError tells why) when it cannot be had.
  static HeldFolder Open(const std::wstring& path, bool create = false,
                         std::vector<HeldFolder>* made = nullptr,
                         PSECURITY_DESCRIPTOR security = nullptr,
                         PSECURITY_DESCRIPTOR above = nullptr);

  explicit operator bool() const { return static_cast<bool>(handle_); }
  HANDLE Handle() const { return handle_.get(); }
  // The path the folder was opened by (a child: the parent's + "\" + name).
  const std::wstring& Path() const { return path_; }
  // Taken when first asked for, from the held handle: it is the same folder
  // either way, and under Wine the volume's serial is a round trip to the
  // mount manager that most folders of a run never need.
  const FileIdentity& Identity() const {
    if (!identity_) identity_ = IdentityOf(handle_.get());
    return *identity_;
  }

  enum class Make {
    No,         // it must exist
    IfMissing,  // made when it is not there
    Fresh,      // made now; one that exists already is a failure
  };
  // A folder below this one, one component at a time from here ("a\b"),
  // none of them a link: a link on the way is refused, never entered
  // (ERROR_CANT_ACCESS_FILE). A made level takes `security` (the last level
  // only; null: inherited). *made tells whether the last level was made.
  HeldFolder Child(const std::wstring& relative, Make make = Make::No,
                   PSECURITY_DESCRIPTOR security = nullptr, bool* made = nullptr) const;

  // A file of this folder (a plain name), opened or created relative to it
  // with NtCreateFile: access, share and disposition (FILE_OPEN, FILE_CREATE,
  // FILE_OVERWRITE_IF, ...) as NtCreateFile takes them. A link is opened as
  // itself, never followed. Empty, with GetLastError, on failure.
  UniqueFile OpenFile(const std::wstring& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                      ULONG attributes = FILE_ATTRIBUTE_NORMAL) const;
  // A new file of a name nothing in the folder has: the first of
  // prefix + number + "-" + name + suffix that FILE_CREATE can make, opened
  // for writing and deletion, shared with nobody; the name in `made`. Empty,
  // with GetLastError, when none can be made. Whatever the folder held
  // (a leftover of a run ended at once, say) stays untouched.
  UniqueFile CreateFresh(const std::wstring& prefix, const std::wstring& name,
                         const std::wstring& suffix, std::wstring& made,
                         ULONG attributes = FILE_ATTRIBUTE_NORMAL) const;
  // Gives the entry `from` of this folder the name `to`, also of this folder;
  // an existing `to` is replaced only when replace is set.
  bool Rename(const std::wstring& from, const std::wstring& to, bool replace) const;
  // Gives an object open with DELETE access the name `to` in this folder.
  bool MoveHere(HANDLE object, const std::wstring& to, bool replace) const;
  // Removes the file, link or empty folder `name` of this folder; a link
  // goes as itself.
  bool Remove(const std::wstring& name) const;
  // Removes this folder itself when empty, and lets go of it: relative to
  // the folder above it (held with it), and only while the entry there is
  // still this very folder (same identity). False (and, while it is there,
  // still held) when it cannot go. A folder opened as a drive's root has
  // nothing above it and never goes.
  bool RemoveSelf();
  // Removes this folder with everything below it, depth first, through the
  // held handles: a link goes as itself, never entered, and no folder of
  // keep (by identity) is entered or removed, nor the folders holding it.
  // False while anything is left; the folder is let go when it is gone.
  bool RemoveTree(const std::vector<FileIdentity>& keep = {});

  // Every entry of the folder, "." and ".." left out, listed through the
  // handle; ok tells whether the listing could be taken at all.
  std::vector<DirEntry> List(bool* ok = nullptr) const;
  // The attributes of the entry `name` as the folder lists it (a link shows
  // FILE_ATTRIBUTE_REPARSE_POINT whatever it leads to);
  // INVALID_FILE_ATTRIBUTES when there is no such entry.
  DWORD AttributesOf(const std::wstring& name) const;

  // Path(), when it leads to this very folder now (same identity); empty
  // when it does not. For the few calls that take only a path.
  std::wstring ConfirmedPath() const;

  // Another hold on this very folder (its handles duplicated), for one that
  // must outlive this one: empty when the folder is not held.
  HeldFolder Share() const;

  void Release() {
    handle_.reset();
    parent_.reset();
    path_.clear();
    name_.clear();
    identity_ = FileIdentity{};
  }

 private:
  HeldFolder(UniqueFile handle, std::wstring path, UniqueFile parent, std::wstring name);

  UniqueFile handle_;
  std::wstring path_;
  mutable std::optional<FileIdentity> identity_;  // see Identity()
  UniqueFile parent_;                             // the folder above, for this one's removal
  std::wstring name_;                             // its name there

 public:
  // A folder below this one (a plain name) that is only passed through on
  // the way to what goes: opened for listing and traversal alone and shared
  // for everything, so that no other program's handle on it, whatever that
  // shares, keeps anything below from going, and this hold keeps nothing of
  // theirs. Delete access is asked only where something goes (Remove,
  // RemoveSelf, RemoveIfHolds), relative to the folder above it. A link is
  // refused, never entered (ERROR_CANT_ACCESS_FILE), as by Child.
  HeldFolder Pass(const std::wstring& name) const;

  enum class Removal {
    Removed,
    Missing,  // nothing of that name is there
    Kept,     // there, but changed, a link, in use or not to be opened
  };
  // Removes the file `name` of this folder when it holds exactly `size`
  // bytes whose CRC-32 is `crc`, checked and removed through one handle that
  // shares only reading meanwhile. A link is kept, never followed.
  Removal RemoveIfHolds(const std::wstring& name, uint64_t size, uint32_t crc) const;
};

}  // namespace platform
