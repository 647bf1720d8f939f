// A folder found in place, judged by its descriptor: built here, since Wine
// keeps none, and judged as the installation judges what it finds.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstring>

#include "platform/Access.h"
#include "platform/Platform.h"

namespace {

using platform::ChangeOf;
using platform::FolderTrust;

// The user who runs the installer, and another account of the PC.
const wchar_t kUser[] = L"S-1-5-21-1-2-3-1000";
#define OTHER L"S-1-5-21-1-2-3-1001"
#define TRUSTED_INSTALLER L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464"

TEST(JudgeFolder, TheOwnerAndEveryoneWhoMayChangeTheFolderOrWhatIsMadeInIt) {
  struct Row {
    const wchar_t* sddl;
    ChangeOf change;
    FolderTrust trust;
  };
  const auto C = ChangeOf::Contents, A = ChangeOf::Above, R = ChangeOf::Root;
  const Row rows[] = {
      // Owners.
      {L"O:BUD:P(A;OICI;FA;;;BA)", C, FolderTrust::ForeignOwner},  // a user's own folder
      {L"O:" OTHER L"D:P(A;OICI;FA;;;BA)", A, FolderTrust::ForeignOwner},
      {L"O:S-1-5-21-1-2-3-1000D:P(A;OICI;FA;;;S-1-5-21-1-2-3-1000)(A;OICI;FA;;;SY)", C,
       FolderTrust::Sound},  // the installing user's
      {L"O:" TRUSTED_INSTALLER L"D:P(A;OICI;FA;;;" TRUSTED_INSTALLER L")(A;OICI;FRFX;;;BU)", C,
       FolderTrust::Sound},
      // What a folder made under C:\ takes from it: every signed-in account
      // may change it.
      {L"O:BAD:AI(A;OICIID;FA;;;BA)(A;OICIID;FA;;;SY)(A;OICIID;FRFX;;;BU)"
       L"(A;OICIID;0x1301bf;;;AU)",
       C, FolderTrust::OthersMayChange},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x2;;;WD)", C, FolderTrust::OthersMayChange},  // add a file
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;;WD;;;AU)", C, FolderTrust::OthersMayChange},   // its list
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x40;;;" OTHER L")", C, FolderTrust::OthersMayChange},
      {L"O:BAD:P(A;OICI;FA;;;BA)(D;;FA;;;WD)", C, FolderTrust::Sound},  // a denial grants nothing
      {L"O:SYD:P(A;;FA;;;SY)(A;OICIIO;FA;;;CO)(A;;FRFX;;;BU)", C, FolderTrust::Sound},
      // Passed on only to the files made inside: those the installation
      // writes would take it; the level above is not changed by it.
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OIIO;0x1301bf;;;BU)", C, FolderTrust::OthersMayChange},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OIIO;0x1301bf;;;BU)", A, FolderTrust::Sound},
      // A level above: others may take the folder inside away, or this one.
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;AU)", A, FolderTrust::OthersMayChange},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;;0x40;;;BU)", A, FolderTrust::OthersMayChange},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)(A;;0x6;;;AU)", A, FolderTrust::Sound},
      // Drive roots as Windows sets them up: C:\ lets accounts make folders,
      // a data drive lets them modify, neither lets them take one away. Not
      // a place for the program's own files, though.
      {L"O:SYD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)(A;OICIIO;0x1301bf;;;AU)"
       L"(A;;0x4;;;AU)",
       R, FolderTrust::Sound},
      {L"O:SYD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)(A;OICIIO;0x1301bf;;;AU)"
       L"(A;;0x4;;;AU)",
       C, FolderTrust::OthersMayChange},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)", R, FolderTrust::Sound},
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1301bf;;;AU)", A,
       FolderTrust::OthersMayChange},
      // No list at all: open to everyone.
      {L"O:BA", C, FolderTrust::OpenToAll},
  };
  PSID user = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidW(kUser, &user));
  const platform::UniqueLocal ownedUser(user);
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::Utf8(row.sddl) + " as " +
                 (row.change == C   ? "contents"
                  : row.change == A ? "above"
                                    : "root"));
    PSECURITY_DESCRIPTOR raw = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl, SDDL_REVISION_1,
                                                                     &raw, nullptr));
    const platform::UniqueLocal descriptor(raw);
    EXPECT_EQ(platform::JudgeFolder(descriptor.get(), user, row.change), row.trust);
    if (row.change == C) {
      EXPECT_EQ(platform::IsInstallerOnly(descriptor.get(), user), row.trust == FolderTrust::Sound);
    }
  }
  EXPECT_EQ(platform::JudgeFolder(nullptr, user, C), FolderTrust::Unreadable);
}

}  // namespace

namespace {

// The list a file moved into a folder takes: what a file made there would
// get, entry for entry, from folders of the installation's uses and one
// found in place. Wine keeps no list set on a file, so the list built is
// what is checked.
TEST(FileListFrom, WhatTheFolderPassesOnToFiles) {
  struct Row {
    const wchar_t* folder;
    const wchar_t* file;
  };
  const Row rows[] = {
      // The application folder: Users read and run what is moved in.
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;FRFX;;;BU)",
       L"D:(A;ID;FA;;;BA)(A;ID;FA;;;SY)(A;ID;FRFX;;;BU)"},
      // The work folder grants nothing to Users.
      {L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)", L"D:(A;ID;FA;;;BA)(A;ID;FA;;;SY)"},
      // Entries for folders only, for the folder itself only, and CREATOR
      // OWNER's are not a file's; a denial is.
      {L"O:BAD:(A;CI;FA;;;BU)(A;;FA;;;WD)(A;OICIIO;FA;;;CO)(D;OI;FW;;;WD)(A;OI;FR;;;AU)",
       L"D:(D;ID;FW;;;WD)(A;ID;FR;;;AU)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(std::wstring(row.folder)));
    platform::UniqueLocal folder;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.folder, SDDL_REVISION_1,
                                                                     folder.put(), nullptr));
    const platform::UniqueLocal list = platform::FileListFrom(folder.get());
    const auto* got = static_cast<const ACL*>(list.get());
    platform::UniqueLocal file;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(row.file, SDDL_REVISION_1,
                                                                     file.put(), nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL expected = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(file.get(), &present, &expected, &defaulted));
    ASSERT_EQ(got->AceCount, expected->AceCount);
    for (DWORD i = 0; i < got->AceCount; ++i) {
      void *mine = nullptr, *theirs = nullptr;
      ASSERT_TRUE(GetAce(const_cast<ACL*>(got), i, &mine) && GetAce(expected, i, &theirs));
      const auto size = static_cast<const ACE_HEADER*>(theirs)->AceSize;
      ASSERT_EQ(static_cast<const ACE_HEADER*>(mine)->AceSize, size) << i;
      EXPECT_EQ(std::memcmp(mine, theirs, size), 0) << i;
    }
  }
}

}  // namespace
