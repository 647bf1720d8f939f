#include <gtest/gtest.h>

#include <set>

#include "platform/Platform.h"
#include "tests/support/TestUtil.h"

using platform::FolderExists;
using platform::ForceDirectories;
using testutil::TempDir;

TEST(ForceDirectories, EmptyPathRaisesTheCreateError) {
  try {
    ForceDirectories(L"");
    ADD_FAILURE() << "no error";
  } catch (const platform::SetupError& e) {
    EXPECT_EQ(e.Message(), L"Unable to create directory");
  }
}

TEST(ForceDirectories, ShortPathsRootsAndExistingFoldersCountAsSuccess) {
  TempDir dir;
  EXPECT_TRUE(ForceDirectories(L"C:"));
  EXPECT_TRUE(ForceDirectories(L"C:\\"));
  EXPECT_TRUE(ForceDirectories(L"\\"));
  EXPECT_TRUE(ForceDirectories(L"ab"));
  EXPECT_TRUE(ForceDirectories(dir.Path()));
  EXPECT_TRUE(ForceDirectories(dir.Path() + L"\\"));
  // A name that stands after a colon is its own folder part: nothing made.
  EXPECT_TRUE(ForceDirectories(L"K:"));
}

TEST(ForceDirectories, CreatesEveryMissingParentAndDropsOneTrailingBackslash) {
  TempDir dir;
  const std::wstring deep = dir / L"a\\b\\c";
  EXPECT_TRUE(ForceDirectories(deep + L"\\"));
  EXPECT_TRUE(FolderExists(dir / L"a"));
  EXPECT_TRUE(FolderExists(deep));
  // A doubled backslash: the platform accepts it as one once the parent
  // exists, but a part ending in "\\" is taken as already there.
  EXPECT_FALSE(ForceDirectories(dir.Path() + L"\\x\\\\y"));
  testutil::MakeDirs(dir / L"x");
  EXPECT_TRUE(ForceDirectories(dir.Path() + L"\\x\\\\y"));
  EXPECT_TRUE(FolderExists(dir / L"x\\y"));
}

TEST(ForceDirectories, FailsOnADriveThatDoesNotExistOrBelowAFile) {
  EXPECT_FALSE(ForceDirectories(L"K:\\Vantor\\Instalace"));
  EXPECT_FALSE(FolderExists(L"K:\\Vantor"));
  TempDir dir;
  testutil::WriteFile(dir / L"file", "x");
  EXPECT_FALSE(ForceDirectories(dir / L"file\\sub"));
}

TEST(ForceDirectories, NamesWhatItMadeAndARelativePathRaises) {
  // A relative path runs out into an empty folder part: the create error.
  EXPECT_THROW(ForceDirectories(L"abc\\def"), platform::SetupError);

  TempDir dir;
  testutil::MakeDirs(dir / L"p");
  std::vector<std::wstring> made;
  EXPECT_TRUE(ForceDirectories(dir / L"p\\q\\r\\", &made));
  EXPECT_EQ(made, (std::vector<std::wstring>{dir / L"p\\q", dir / L"p\\q\\r"}));
}

TEST(FolderListing, ReportsEveryEntryIncludingDotsHiddenAndSystem) {
  TempDir dir;
  testutil::WriteFile(dir / L"plain.txt", "1");
  testutil::WriteFile(dir / L"hidden.txt", "22");
  testutil::WriteFile(dir / L"system.txt", "333");
  testutil::MakeDirs(dir / L".cache");
  testutil::MakeDirs(dir / L"Sub");
  SetFileAttributesW((dir / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((dir / L"system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);

  platform::FolderListing list(dir.Path());
  ASSERT_TRUE(list.Started());
  std::set<std::wstring> files, folders;
  platform::DirEntry e;
  while (list.Next(e)) {
    (e.IsFolder() ? folders : files).insert(e.name);
    if (e.name == L"system.txt") {
      EXPECT_EQ(e.size, 3u);
    }
  }
  EXPECT_EQ(files, (std::set<std::wstring>{L"plain.txt", L"hidden.txt", L"system.txt"}));
  EXPECT_EQ(folders, (std::set<std::wstring>{L".", L"..", L".cache", L"Sub"}));
}

TEST(FolderListing, AMissingFolderDoesNotStart) {
  TempDir dir;
  platform::FolderListing list(dir / L"missing");
  EXPECT_FALSE(list.Started());
  EXPECT_NE(list.StartResult(), 0u);
  platform::DirEntry e;
  EXPECT_FALSE(list.Next(e));
}

TEST(PathParts, FolderPartKeepsItsSeparatorAndNameIsTheRest) {
  EXPECT_EQ(platform::ExtractFilePath(L"C:\\Vantor\\VantorPro.exe"), L"C:\\Vantor\\");
  EXPECT_EQ(platform::ExtractFilePath(L"C:\\\\VantorPro.exe"), L"C:\\\\");
  EXPECT_EQ(platform::ExtractFilePath(L"C:x.exe"), L"C:");
  EXPECT_EQ(platform::ExtractFilePath(L"x.exe"), L"");
  EXPECT_EQ(platform::ExtractFileName(L"C:\\WINDOWS\\Start Menu\\Programs"), L"Programs");
  EXPECT_EQ(platform::ExtractFileName(L"Programs"), L"Programs");
  EXPECT_EQ(platform::ExtractFileName(L""), L"");
}

TEST(CurrentDir, ADriveRootKeepsItsBackslash) {
  wchar_t saved[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(L"C:\\"));
  EXPECT_EQ(platform::CurrentDir(), L"C:\\");
  TempDir dir;
  ASSERT_TRUE(SetCurrentDirectoryW(dir.Path().c_str()));
  EXPECT_EQ(platform::CurrentDir(), dir.Path());
  SetCurrentDirectoryW(saved);
}
