#include "platform/Access.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/Platform.h"

namespace platform {

namespace {

// Protected, owned by Administrators, every entry passed on to files and
// folders inside. 0x1301bf is "Modify": read, write, run and delete, but
// neither the list nor the owner.
const wchar_t* Sddl(FolderUse use) {
  switch (use) {
    case FolderUse::Application:
      return L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)";
    case FolderUse::Projects:
      return L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;BU)";
    case FolderUse::Work:
      return L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";
  }
  return nullptr;
}

// What lets a holder change what is inside a folder, or the folder itself.
constexpr ACCESS_MASK kChangesContents =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;
// What lets a holder take an entry away from a folder, or give itself that
// right. FILE_GENERIC_WRITE (GENERIC_WRITE) deletes nothing.
constexpr ACCESS_MASK kChangesRootEntries =
    FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL | MAXIMUM_ALLOWED;
// And for a folder that can itself be moved away.
constexpr ACCESS_MASK kChangesEntries = kChangesRootEntries | DELETE;

// NT SERVICE\TrustedInstaller, which owns the system's own folders.
constexpr wchar_t kTrustedInstaller[] =
    L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

bool IsTrustedInstaller(PSID sid) {
  PSID known = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstaller, &known)) return false;
  const UniqueLocal owned(known);
  return EqualSid(sid, known) != 0;
}

bool Trusted(PSID sid, PSID user) {
  return IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         IsWellKnownSid(sid, WinLocalSystemSid) || (user && EqualSid(sid, user)) ||
         IsTrustedInstaller(sid);
}

}  // namespace

UniqueLocal BuildFolderDescriptor(FolderUse use) {
  UniqueLocal descriptor;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Sddl(use), SDDL_REVISION_1,
                                                            descriptor.put(), nullptr))
    throw SetupError(L"Cannot build a folder's access list");
  return descriptor;
}

UniqueLocal FileListFrom(PSECURITY_DESCRIPTOR folder) {
  BOOL present = FALSE, defaulted = FALSE;
  PACL dacl = nullptr;
  if (!folder || !GetSecurityDescriptorDacl(folder, &present, &dacl, &defaulted) || !present ||
      !dacl)
    throw SetupError(L"Cannot read a folder's access list");
  std::vector<ACE_HEADER*> passed;
  DWORD size = sizeof(ACL);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) throw SetupError(L"Cannot read a folder's access list");
    auto* header = static_cast<ACE_HEADER*>(raw);
    if (!(header->AceFlags & OBJECT_INHERIT_ACE)) continue;
    // CREATOR OWNER's entries stand for the file's owner; sound without them.
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      const PSID who = &reinterpret_cast<ACCESS_ALLOWED_ACE*>(raw)->SidStart;
      if (IsWellKnownSid(who, WinCreatorOwnerSid) || IsWellKnownSid(who, WinCreatorGroupSid))
        continue;
    }
    passed.push_back(header);
    size += header->AceSize;
  }
  UniqueLocal list(LocalAlloc(LMEM_ZEROINIT, size));
  auto* acl = static_cast<PACL>(list.get());
  if (!acl || !InitializeAcl(acl, size, ACL_REVISION_DS))
    throw SetupError(L"Cannot build a file's access list");
  for (ACE_HEADER* header : passed) {
    if (!AddAce(acl, ACL_REVISION_DS, MAXDWORD, header, header->AceSize))
      throw SetupError(L"Cannot build a file's access list");
    void* added = nullptr;
    GetAce(acl, acl->AceCount - 1, &added);
    static_cast<ACE_HEADER*>(added)->AceFlags = INHERITED_ACE;
  }
  return list;
}

FolderFileList::FolderFileList(HANDLE folder) {
  PSECURITY_DESCRIPTOR folderDescriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                      nullptr, &folderDescriptor) != ERROR_SUCCESS)
    return;
  const UniqueLocal owned(folderDescriptor);
  try {
    list_ = FileListFrom(folderDescriptor);
  } catch (const SetupError&) {
    return;
  }
  auto* acl = static_cast<PACL>(list_.get());
  if (acl->AceCount > 0) {
    acl_ = acl;
    return;
  }
  // A folder that passes nothing on: a file made there gets the default
  // list of the maker's token, and so does one moved there.
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return;
  const UniqueHandle own(raw);
  DWORD needed = 0;
  GetTokenInformation(raw, TokenDefaultDacl, nullptr, 0, &needed);
  token_.resize(needed);
  if (needed == 0 || !GetTokenInformation(raw, TokenDefaultDacl, token_.data(), needed, &needed))
    return;
  acl_ = reinterpret_cast<TOKEN_DEFAULT_DACL*>(token_.data())->DefaultDacl;
}

bool FolderFileList::GiveTo(HANDLE file) const {
  if (!acl_) return false;
  // Set on the handle alone, as inherited entries: SetSecurityInfo would
  // look the folder up again by its path, which the run never trusts.
  SECURITY_DESCRIPTOR descriptor{};
  return InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
         SetSecurityDescriptorDacl(&descriptor, TRUE, acl_, FALSE) &&
         SetSecurityDescriptorControl(&descriptor, SE_DACL_AUTO_INHERITED,
                                      SE_DACL_AUTO_INHERITED) &&
         SetKernelObjectSecurity(file, DACL_SECURITY_INFORMATION, &descriptor);
}

FolderTrust JudgeFolder(PSECURITY_DESCRIPTOR descriptor, PSID user, ChangeOf change) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  PACL dacl = nullptr;
  if (!descriptor || !GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
      !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
    return FolderTrust::Unreadable;
  // The owner may give itself any right, whatever the list says.
  if (!Trusted(owner, user)) return FolderTrust::ForeignOwner;
  if (!present || !dacl) return FolderTrust::OpenToAll;
  const ACCESS_MASK changing = change == ChangeOf::Contents ? kChangesContents
                               : change == ChangeOf::Above  ? kChangesEntries
                                                            : kChangesRootEntries;
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw)) return FolderTrust::Unreadable;
    const auto* header = static_cast<ACE_HEADER*>(raw);
    // A denial grants nothing.
    if (header->AceType == ACCESS_DENIED_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_OBJECT_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_CALLBACK_ACE_TYPE ||
        header->AceType == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE)
      continue;
    // Conditional and object entries are not judged here: not sound.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return FolderTrust::Unreadable;
    const bool inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    if (inheritOnly && change != ChangeOf::Contents) continue;
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    const PSID who = const_cast<DWORD*>(&ace->SidStart);
    // CREATOR OWNER becomes whoever makes the entry inside (this program);
    // on the folder itself it matches no one. OWNER RIGHTS is the owner,
    // judged above.
    if (IsWellKnownSid(who, WinCreatorOwnerSid) || IsWellKnownSid(who, WinCreatorOwnerRightsSid))
      continue;
    if ((ace->Mask & changing) && !Trusted(who, user)) return FolderTrust::OthersMayChange;
  }
  return FolderTrust::Sound;
}

FolderTrust JudgeFolder(HANDLE folder, ChangeOf change) {
  DWORD flags = 0;
  if (!GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    return FolderTrust::Unreadable;
  if (!(flags & FILE_PERSISTENT_ACLS)) return FolderTrust::NoLists;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(folder, SE_FILE_OBJECT,
                      OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return FolderTrust::Unreadable;
  const UniqueLocal owned(descriptor);
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return FolderTrust::Unreadable;
  const UniqueHandle ownedToken(token);
  std::vector<unsigned char> buffer(256);
  DWORD needed = 0;
  if (!GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                           &needed)) {
    buffer.resize(needed);
    if (!GetTokenInformation(token, TokenUser, buffer.data(), static_cast<DWORD>(buffer.size()),
                             &needed))
      return FolderTrust::Unreadable;
  }
  return JudgeFolder(descriptor, reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, change);
}

FolderTrust JudgeLink(HANDLE link, HANDLE above, bool aboveIsRoot) {
  const FolderTrust own = JudgeFolder(link, ChangeOf::Above);
  if (!Acceptable(own)) return own;
  return JudgeFolder(above, aboveIsRoot ? ChangeOf::Root : ChangeOf::Above);
}

}  // namespace platform
