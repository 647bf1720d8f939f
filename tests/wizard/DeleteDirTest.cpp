// DeleteDir on real folder trees.
#include <gtest/gtest.h>

#include "fileops/FileOps.h"
#include "platform/Platform.h"
#include "tests/support/TestUtil.h"

namespace {

using platform::FileExists;
using platform::FolderExists;
using testutil::MakeDirs;
using testutil::TempDir;
using testutil::WriteFile;

TEST(DeleteDir, RemovesANestedTreeWithHiddenAndSystemFiles) {
  TempDir temp;
  const std::wstring root = temp / L"Instalace";
  MakeDirs(root + L"\\Utility\\Bde\\Lang");
  MakeDirs(root + L"\\Vzory\\prázdná");
  WriteFile(root + L"\\Vantor.exe", "exe");
  WriteFile(root + L"\\Utility\\Bde\\Setup.exe", "setup");
  WriteFile(root + L"\\Utility\\Bde\\Lang\\cs.dll", "dll");
  WriteFile(root + L"\\skryty.dat", "h");
  SetFileAttributesW((root + L"\\skryty.dat").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  fileops::DeleteDir(root);
  EXPECT_FALSE(FolderExists(root));
  EXPECT_TRUE(FolderExists(temp.Path()));
}

TEST(DeleteDir, EmptyAndMissingFolders) {
  TempDir temp;
  const std::wstring empty = temp / L"empty";
  MakeDirs(empty);
  fileops::DeleteDir(empty);
  EXPECT_FALSE(FolderExists(empty));
  fileops::DeleteDir(temp / L"missing");  // nothing happens, nothing is reported
  fileops::DeleteDir(temp / L"missing\\deeper");
  EXPECT_TRUE(FolderExists(temp.Path()));
}

TEST(DeleteDir, DotFolderStaysWithItsParent) {
  TempDir temp;
  const std::wstring root = temp / L"Instalace";
  MakeDirs(root + L"\\.svn\\text");
  WriteFile(root + L"\\.svn\\text\\entries", "e");
  MakeDirs(root + L"\\Data");
  WriteFile(root + L"\\Data\\a.txt", "a");
  WriteFile(root + L"\\.profile", "file with a dot: deleted");
  fileops::DeleteDir(root);
  EXPECT_TRUE(FileExists(root + L"\\.svn\\text\\entries"));
  EXPECT_FALSE(FolderExists(root + L"\\Data"));
  EXPECT_FALSE(FileExists(root + L"\\.profile"));
  // Only the dot folder is left in the parent.
  std::vector<std::wstring> left;
  platform::FolderListing listing(root);
  platform::DirEntry e;
  while (listing.Next(e))
    if (e.name != L"." && e.name != L"..") left.push_back(e.name);
  EXPECT_EQ(left, std::vector<std::wstring>{L".svn"});
}

TEST(DeleteDir, UndeletableFileKeepsItsChainOnly) {
  TempDir temp;
  const std::wstring root = temp / L"Instalace";
  MakeDirs(root + L"\\A\\B");
  MakeDirs(root + L"\\C");
  const std::wstring locked = root + L"\\A\\B\\locked.dat";
  WriteFile(locked, "read-only");
  WriteFile(root + L"\\A\\B\\sibling.dat", "s");
  WriteFile(root + L"\\A\\other.dat", "o");
  WriteFile(root + L"\\C\\c.dat", "c");
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  fileops::DeleteDir(root);
  EXPECT_TRUE(FileExists(locked));
  EXPECT_EQ(platform::GetAttributes(locked) & FILE_ATTRIBUTE_READONLY,
            static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));  // attributes untouched
  EXPECT_FALSE(FileExists(root + L"\\A\\B\\sibling.dat"));
  EXPECT_FALSE(FileExists(root + L"\\A\\other.dat"));
  EXPECT_FALSE(FolderExists(root + L"\\C"));
  EXPECT_TRUE(FolderExists(root + L"\\A\\B"));
  SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
