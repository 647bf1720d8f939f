// Who may change a folder: the access lists the installation gives the
// folders it makes, and the judgement of a folder found in place. What an
// administrator later runs elevated must lie where no other account of the
// PC can change it, as in Program Files.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/Handles.h"

namespace platform {

// What a folder the installation makes is for, and so its list. Every list
// is protected (nothing taken from the folder above) and passed on to the
// files and folders made inside.
enum class FolderUse {
  Application,  // the program's own: Administrators and SYSTEM full control, Users read and run
  Projects,     // the person's work: Administrators and SYSTEM full control, Users modify
  Work,         // the installer's own: Administrators and SYSTEM only
};

// The descriptor of one use, owned by Administrators: what the folder is
// created with. Raises SetupError when it cannot be built.
UniqueLocal BuildFolderDescriptor(FolderUse use);

class FolderAccess {
 public:
  explicit FolderAccess(FolderUse use) : descriptor_(BuildFolderDescriptor(use)) {}
  PSECURITY_DESCRIPTOR Descriptor() const { return descriptor_.get(); }

 private:
  UniqueLocal descriptor_;
};

// The list a file made in a folder of this descriptor takes: each entry the
// folder passes on to files, marked inherited (CREATOR OWNER's left out).
// Built here, since a file moved in from another folder keeps the list it
// was made with. Raises SetupError when the folder's list cannot be read.
UniqueLocal FileListFrom(PSECURITY_DESCRIPTOR folder);
// The list that an open folder (READ_CONTROL) passes on to files, read
// once and given to each file moved into it; empty when it cannot be read.
class FolderFileList {
 public:
  explicit FolderFileList(HANDLE folder);
  explicit operator bool() const { return acl_ != nullptr; }
  // Gives an open file (WRITE_DAC) the list; false when it cannot.
  bool GiveTo(HANDLE file) const;

 private:
  UniqueLocal list_;
  std::vector<unsigned char> token_;  // the default list, for a folder that passes none on
  PACL acl_ = nullptr;
};

// How a folder found in place stands. Trusted accounts: Administrators,
// SYSTEM, TrustedInstaller and the user who runs the installer.
enum class FolderTrust {
  Sound,            // only trusted accounts own it or may change it
  ForeignOwner,     // another account owns it, and so may give itself any right
  OthersMayChange,  // an entry lets another account change it
  OpenToAll,        // no access list at all: everyone may do everything
  Unreadable,       // its descriptor could not be read, or holds an entry not understood
  NoLists,          // its volume keeps no access lists (FAT, some network drives)
};

// What "change" means for the folder judged.
enum class ChangeOf {
  // The folder the program is written into: what lets another account add,
  // replace or delete an entry, or change the folder's list or owner. Entries
  // passed on to what is made inside count too, since the files written
  // there take them (CREATOR OWNER's becomes the writer's own and is left
  // out).
  Contents,
  // A folder above it: what lets another account move it or an entry of it
  // away and put another under the name (deleting it or its children,
  // changing its list or owner). Only entries that apply to the folder
  // itself count.
  Above,
  // A volume's root above it, which cannot itself be moved: deleting
  // children, changing its list or owner.
  Root,
};

FolderTrust JudgeFolder(PSECURITY_DESCRIPTOR descriptor, PSID user, ChangeOf change);
// The same for an open folder (READ_CONTROL): its volume's flags, then its
// owner and list as the system keeps them, judged against the user of this
// process.
FolderTrust JudgeFolder(HANDLE folder, ChangeOf change);

// Whether a trust lets the installation go on: Sound, or NoLists (a volume
// that keeps no lists, where the caller decides).
inline bool Acceptable(FolderTrust trust) {
  return trust == FolderTrust::Sound || trust == FolderTrust::NoLists;
}

// A link (junction, symbolic link, mount point) opened as itself
// (READ_CONTROL), and the folder holding it (READ_CONTROL): the link's own
// owner and list, then who may put another in its place, the holder's list
// (aboveIsRoot for a volume's root). One that passes only trusted accounts
// control, and it may be followed.
FolderTrust JudgeLink(HANDLE link, HANDLE above, bool aboveIsRoot);

}  // namespace platform
