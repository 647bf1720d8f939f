// The access lists the installation gives the folders it makes. Wine keeps
// none on a folder, so the descriptor the program passes to the system is
// read back itself, entry by entry.
#include <gtest/gtest.h>

#include <aclapi.h>

#include <vector>

#include "install/Ground.h"
#include "platform/Platform.h"

namespace {

using install::Place;

struct Entry {
  WELL_KNOWN_SID_TYPE who;
  ACCESS_MASK mask;
};

constexpr ACCESS_MASK kReadRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
constexpr ACCESS_MASK kModify = kReadRun | FILE_GENERIC_WRITE | DELETE;

void ExpectList(PSECURITY_DESCRIPTOR descriptor, const std::vector<Entry>& meant) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);  // nothing taken from C:\ or any folder above
  PSID owner = nullptr;
  BOOL defaulted = FALSE, present = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
  ASSERT_TRUE(owner);
  EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  PACL dacl = nullptr;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
  ASSERT_TRUE(present && dacl);
  ASSERT_EQ(dacl->AceCount, meant.size());
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    SCOPED_TRACE(i);
    void* raw = nullptr;
    ASSERT_TRUE(GetAce(dacl, i, &raw));
    const auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(raw);
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, meant[i].mask);
    PSID sid = const_cast<DWORD*>(&ace->SidStart);
    platform::UniqueLocal known(LocalAlloc(LMEM_FIXED, SECURITY_MAX_SID_SIZE));
    DWORD size = SECURITY_MAX_SID_SIZE;
    ASSERT_TRUE(CreateWellKnownSid(meant[i].who, nullptr, known.get(), &size));
    EXPECT_TRUE(EqualSid(sid, known.get()));
  }
}

// Administrators and SYSTEM hold every folder; Users read and run the
// program, its templates and every level made above a folder, change their
// projects, and get nothing of the work folder. Each list is also what a
// second installation finds and takes as sound.
TEST(Ground, EachFolderMadeGetsItsProtectedList) {
  const std::vector<Entry> admins = {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                                     {WinLocalSystemSid, FILE_ALL_ACCESS}};
  auto with = [&](ACCESS_MASK users) {
    std::vector<Entry> list = admins;
    list.push_back({WinBuiltinUsersSid, users});
    return list;
  };
  struct Row {
    const char* folder;
    PSECURITY_DESCRIPTOR descriptor;
    std::vector<Entry> meant;
    platform::FolderTrust asFound;  // judged as an application folder found in place
  };
  const platform::FolderAccess application = install::AccessFor(Place::Application);
  const platform::FolderAccess projects = install::AccessFor(Place::Projects);
  const platform::FolderAccess templates = install::AccessFor(Place::Templates);
  const platform::FolderAccess above = install::AccessFor(Place::Above);
  platform::InstallerOnlyAccess work;  // what the work folder is made with
  const Row rows[] = {
      {"application", application.Descriptor(), with(kReadRun), platform::FolderTrust::Sound},
      {"projects", projects.Descriptor(), with(kModify), platform::FolderTrust::OthersMayChange},
      {"templates", templates.Descriptor(), with(kReadRun), platform::FolderTrust::Sound},
      // X:\Data, made for X:\Data\Projekty: not the projects' list.
      {"a level made above", above.Descriptor(), with(kReadRun), platform::FolderTrust::Sound},
      {"work folder", work.Descriptor(), admins, platform::FolderTrust::Sound},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    ExpectList(row.descriptor, row.meant);
    EXPECT_EQ(platform::JudgeFolder(row.descriptor, nullptr, platform::ChangeOf::Contents),
              row.asFound);
  }
  EXPECT_EQ(work.Attributes()->lpSecurityDescriptor, work.Descriptor());
  EXPECT_FALSE(work.Attributes()->bInheritHandle);
}

}  // namespace
