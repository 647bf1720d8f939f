#include <gtest/gtest.h>

#include <algorithm>

#include "fileops/FileOps.h"
#include "tests/fileops/FileOpsTestSupport.h"
#include "tests/support/TestUtil.h"

using fileopstest::Put;
using fileopstest::TestContext;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

void MakeFiles(const std::wstring& folder, int count, const std::string& stem = "f") {
  testutil::MakeDirs(folder);
  for (int i = 0; i < count; ++i)
    WriteFile(folder + L"\\" + platform::Wide(stem + std::to_string(i) + ".txt"), "x");
}

void AddAttributes(const std::wstring& path, DWORD attributes) {
  ASSERT_TRUE(platform::SetAttributes(path, platform::GetAttributes(path) | attributes));
}

// ------------------------------------------------------------- CountFiles

// A tree with every skip rule at depth and files of every attribute.
class CountFilesTree : public testing::Test {
 protected:
  void SetUp() override {
    WriteFile(tmp / L"hidden.txt", "1");
    AddAttributes(tmp / L"hidden.txt", FILE_ATTRIBUTE_HIDDEN);
    WriteFile(tmp / L"locked.txt", "2");
    AddAttributes(tmp / L"locked.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM);
    WriteFile(tmp / L".profile", "3");  // a dot file counts
    WriteFile(tmp / L"UTILITY", "4");   // a file, not a folder: counts
    MakeFiles(tmp / L"sub", 1);
    MakeFiles(tmp / L"sub\\Navod", 2);           // skipped at depth
    MakeFiles(tmp / L"sub\\inner\\Utility", 3);  // skipped at depth
    MakeFiles(tmp / L"sub\\inner\\Vzory2", 1);   // not a skipped name
    MakeFiles(tmp / L"sub\\inner\\NAVOD", 4);    // skipped, any case
    MakeFiles(tmp / L"Vzory", 5);
    MakeFiles(tmp / L"deep\\er\\priklady", 3);
    MakeFiles(tmp / L"Příklady", 2);  // accented: not PRIKLADY
    MakeFiles(tmp / L".cache", 4);    // dot folders are not entered
    testutil::MakeDirs(tmp / L"empty");
  }
  TempDir tmp;
  TestContext ctx;
};

TEST_F(CountFilesTree, SkipsFixedNamesAlwaysAndComponentsWhenLeftOnCd) {
  // 4 top files + sub 1 + Vzory2 1 + Vzory 5 + priklady 3 + Příklady 2
  EXPECT_EQ(16, fileops::CountFiles(ctx, tmp.Path()));
  ctx.vzory = true;
  EXPECT_EQ(11, fileops::CountFiles(ctx, tmp.Path()));
  ctx.priklady = true;
  EXPECT_EQ(8, fileops::CountFiles(ctx, tmp.Path()));
  ctx.vzory = false;
  EXPECT_EQ(13, fileops::CountFiles(ctx, tmp.Path()));
  EXPECT_GT(ctx.pumps, 0);
  EXPECT_FALSE(ctx.abort);
}

TEST_F(CountFilesTree, SubFolderCountsOnItsOwn) {
  EXPECT_EQ(2, fileops::CountFiles(ctx, tmp / L"sub"));  // f0 + Vzory2
  EXPECT_EQ(0, fileops::CountFiles(ctx, tmp / L"empty"));
  EXPECT_EQ(0, fileops::CountFiles(ctx, tmp / L"missing"));
  EXPECT_EQ(0, fileops::CountFiles(ctx, tmp / L"missing\\deeper"));
}

TEST_F(CountFilesTree, AbortSetBeforehandCountsNothing) {
  ctx.abort = true;
  EXPECT_EQ(0, fileops::CountFiles(ctx, tmp.Path()));
  EXPECT_EQ(1, ctx.pumps);  // pumped before the first entry, then stopped
}

TEST(CountFiles, AbortInsideNestedFolderStopsEveryLevelWithPartialCount) {
  TempDir tmp;
  MakeFiles(tmp / L"only", 10);
  TestContext ctx;
  // The abort button pressed during the 8th pump: root holds ".", ".." and
  // "only", so the walk is inside "only" by then.
  ctx.onPump = [](TestContext& c) {
    if (c.pumps == 8) c.abort = true;
  };
  const int partial = fileops::CountFiles(ctx, tmp.Path());
  EXPECT_GE(partial, 2);
  EXPECT_LE(partial, 6);
  EXPECT_EQ(8, ctx.pumps);  // no level went on after the abort
}

// ---------------------------------------------------------------- CopyDir

using Failures = std::vector<fileops::CopyFailure>;
constexpr auto Made = fileops::CopyFailure::What::FolderNotMade;
constexpr auto Listed = fileops::CopyFailure::What::FolderNotCopied;
constexpr auto File = fileops::CopyFailure::What::FileNotCopied;

class CopyDirTest : public testing::Test {
 protected:
  std::wstring Source() const { return tmp / L"src"; }
  std::wstring Target() const { return tmp / L"dst"; }
  TempDir tmp;
  TestContext ctx;
  testutil::ScriptedBoxes boxes;
};

TEST_F(CopyDirTest, TopLevelOnlyCopiesFilesButNoSubFolder) {
  Put(Source() + L"\\a.txt", "A");
  Put(tmp / L"src\\b.txt", "B");
  MakeFiles(tmp / L"src\\S", 2);
  fileops::CopyDir(ctx, Source(), Target(), true);
  EXPECT_EQ("A", ReadFile(Target() + L"\\a.txt"));
  EXPECT_EQ("B", ReadFile(Target() + L"\\b.txt"));
  EXPECT_FALSE(platform::FolderExists(Target() + L"\\S"));
  EXPECT_EQ(2, ctx.steps);
  ASSERT_FALSE(ctx.statuses.empty());
  EXPECT_EQ(L"Vytvářím složku " + Target(), ctx.statuses.front());
  auto copied = ctx.StatusesStartingWith(L"Kopíruji soubor ");
  std::sort(copied.begin(), copied.end());
  EXPECT_EQ((std::vector<std::wstring>{L"Kopíruji soubor a.txt", L"Kopíruji soubor b.txt"}),
            copied);
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_FALSE(ctx.abort);
}

TEST_F(CopyDirTest, WholeTreeRebuiltWithEmptyFoldersAttributesAndNoDotFolders) {
  Put(Source() + L"\\top.txt", "top");
  Put(Source() + L"\\.dotfile", "dot");
  Put(Source() + L"\\a\\b\\deep.txt", "deep");
  testutil::MakeDirs(Source() + L"\\a\\empty");
  Put(Source() + L"\\a\\.git\\config", "no");
  Put(Source() + L"\\.svn\\entries", "no");
  Put(Source() + L"\\a\\hidden.sys", "hs");
  AddAttributes(Source() + L"\\a\\hidden.sys", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  Put(Source() + L"\\ro.txt", "ro");
  AddAttributes(Source() + L"\\ro.txt", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  // The target already holds an older, writable copy: replaced silently.
  Put(Target() + L"\\top.txt", "old content, longer than the new one");

  fileops::CopyDir(ctx, Source(), Target(), false);

  EXPECT_EQ("top", ReadFile(Target() + L"\\top.txt"));
  EXPECT_EQ("dot", ReadFile(Target() + L"\\.dotfile"));
  EXPECT_EQ("deep", ReadFile(Target() + L"\\a\\b\\deep.txt"));
  EXPECT_TRUE(platform::FolderExists(Target() + L"\\a\\empty"));
  EXPECT_FALSE(platform::FolderExists(Target() + L"\\a\\.git"));
  EXPECT_FALSE(platform::FolderExists(Target() + L"\\.svn"));
  EXPECT_EQ("hs", ReadFile(Target() + L"\\a\\hidden.sys"));
  const DWORD ro = platform::GetAttributes(Target() + L"\\ro.txt");
  ASSERT_NE(INVALID_FILE_ATTRIBUTES, ro);
  EXPECT_EQ(0u, ro & FILE_ATTRIBUTE_READONLY);
  EXPECT_NE(0u, ro & FILE_ATTRIBUTE_HIDDEN);
  // The copy is writable: it can be replaced by a second run.
  fileops::CopyDir(ctx, Source(), Target(), false);
  EXPECT_EQ(0, ctx.stopCalls);
  EXPECT_EQ(10, ctx.steps);  // five files, twice
  EXPECT_TRUE(boxes.Asked().empty());
  // Each nested level announces its own target folder.
  EXPECT_EQ(8u, ctx.StatusesStartingWith(L"Vytvářím složku ").size());
}

TEST_F(CopyDirTest, LargeFileCopiedLikeSmallOnesWithMessagesLetThrough) {
  std::string large(20 << 20, '\0');
  for (size_t i = 0; i < large.size(); i += 4096) large[i] = static_cast<char>(i / 4096);
  Put(Source() + L"\\big.dat", large);
  AddAttributes(Source() + L"\\big.dat", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  Put(Target() + L"\\big.dat", "older and smaller");

  fileops::CopyDir(ctx, Source(), Target(), false);

  EXPECT_EQ(large, ReadFile(Target() + L"\\big.dat"));
  const DWORD attributes = platform::GetAttributes(Target() + L"\\big.dat");
  EXPECT_EQ(0u, attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_NE(0u, attributes & FILE_ATTRIBUTE_HIDDEN);
  WIN32_FILE_ATTRIBUTE_DATA from{}, to{};
  GetFileAttributesExW((Source() + L"\\big.dat").c_str(), GetFileExInfoStandard, &from);
  GetFileAttributesExW((Target() + L"\\big.dat").c_str(), GetFileExInfoStandard, &to);
  EXPECT_EQ(0, CompareFileTime(&from.ftLastWriteTime, &to.ftLastWriteTime));
  EXPECT_EQ(1, ctx.steps);
  EXPECT_TRUE(boxes.Asked().empty());

  // A large file that cannot be written fails like any other.
  SetFileAttributesW((Target() + L"\\big.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
  testutil::RemoveTree(Target() + L"\\big.dat");
  testutil::MakeDirs(Target() + L"\\big.dat");
  EXPECT_EQ(Failures({{File, Source() + L"\\big.dat"}}),
            fileops::CopyDir(ctx, Source(), Target(), false));
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_EQ(1, ctx.stopCalls);
  SetFileAttributesW((Source() + L"\\big.dat").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// Pressed while a large file is on its way: the copy ends inside it and its
// half-written target goes.
TEST_F(CopyDirTest, AbortInsideALargeFileEndsItThereAndRemovesItsHalf) {
  Put(Source() + L"\\big.dat", std::string(4 << 20, 'b'));
  ctx.onPump = [](TestContext& c) {
    if (c.statuses.back() == L"Kopíruji soubor big.dat") c.abort = true;
  };
  fileops::CopyDir(ctx, Source(), Target(), false);
  EXPECT_TRUE(ctx.abort);
  EXPECT_EQ(1, ctx.steps);
  EXPECT_FALSE(platform::FileExists(Target() + L"\\big.dat"));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(CopyDirTest, FailedFileShowsMessageStopsAndLeavesLaterFilesAlone) {
  Put(Source() + L"\\z1.txt", "1");
  Put(Source() + L"\\sub\\bad.txt", "new");
  Put(Source() + L"\\sub\\z2.txt", "2");
  Put(Source() + L"\\z3.txt", "3");
  // A folder stands in the way: the copy over it fails.
  testutil::MakeDirs(Target() + L"\\sub\\bad.txt");

  const Failures failed = fileops::CopyDir(ctx, Source(), Target(), false);

  EXPECT_EQ(Failures({{File, Source() + L"\\sub\\bad.txt"}}), failed);
  EXPECT_EQ(failed, ctx.failures);  // reported as it came
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_EQ(1, ctx.stopCalls);
  EXPECT_TRUE(platform::FolderExists(Target() + L"\\sub\\bad.txt"));
  // The failed file took its step and was the last file touched, at every
  // level, whatever order the listing had.
  const auto copies = ctx.StatusesStartingWith(L"Kopíruji soubor ");
  ASSERT_FALSE(copies.empty());
  EXPECT_EQ(L"Kopíruji soubor bad.txt", copies.back());
  EXPECT_EQ(static_cast<int>(copies.size()), ctx.steps);
  for (const auto* name : {L"z1.txt", L"z3.txt", L"sub\\z2.txt"}) {
    const std::wstring file = platform::ExtractFileName(name);
    const bool announced =
        std::find(copies.begin(), copies.end(), L"Kopíruji soubor " + file) != copies.end();
    EXPECT_EQ(announced, platform::FileExists(Target() + L"\\" + name)) << platform::Utf8(name);
  }
}

TEST_F(CopyDirTest, UncreatableTargetGivesTwoFailuresAndDoesNotStop) {
  Put(Source() + L"\\a.txt", "A");
  WriteFile(tmp / L"plainfile", "a file where a folder should be");
  const std::wstring target = tmp / L"plainfile\\dst";
  EXPECT_EQ(Failures({{Made, target}, {Listed, Source()}}),
            fileops::CopyDir(ctx, Source(), target, false));
  EXPECT_EQ(0, ctx.steps);
  EXPECT_FALSE(ctx.abort);

  // An empty target raises inside the folder creation: the same two.
  EXPECT_EQ(Failures({{Made, L""}, {Listed, Source()}}),
            fileops::CopyDir(ctx, Source(), L"", false));
  EXPECT_EQ(4u, ctx.failures.size());
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_FALSE(ctx.abort);
}

TEST_F(CopyDirTest, MissingSourceCreatesTargetAndGivesOneFailure) {
  EXPECT_EQ(Failures({{Listed, tmp / L"nothing"}}),
            fileops::CopyDir(ctx, tmp / L"nothing", Target(), false));
  EXPECT_TRUE(platform::FolderExists(Target()));
  EXPECT_FALSE(ctx.abort);
  // An empty source is no error.
  testutil::MakeDirs(Source());
  EXPECT_TRUE(fileops::CopyDir(ctx, Source(), Target() + L"\\x", false).empty());
  EXPECT_TRUE(platform::FolderExists(Target() + L"\\x"));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(CopyDirTest, AbortStopsBeforeTheNextEntry) {
  MakeFiles(Source(), 10);
  ctx.abort = true;
  fileops::CopyDir(ctx, Source(), Target(), false);
  EXPECT_TRUE(platform::FolderExists(Target()));
  EXPECT_EQ((std::vector<std::wstring>{L"Vytvářím složku " + Target()}), ctx.statuses);
  EXPECT_EQ(0, ctx.steps);

  // Pressed during the 6th pump of a fresh run: nothing after it is copied.
  TestContext second;
  second.onPump = [](TestContext& c) {
    if (c.pumps == 6) c.abort = true;
  };
  fileops::CopyDir(second, Source(), tmp / L"dst2", false);
  const auto copies = second.StatusesStartingWith(L"Kopíruji soubor ");
  EXPECT_EQ(6, second.pumps);
  EXPECT_LT(copies.size(), 6u);
  EXPECT_EQ(static_cast<int>(copies.size()), second.steps);
  int present = 0;
  for (int i = 0; i < 10; ++i)
    present += platform::FileExists(tmp / (L"dst2\\f" + std::to_wstring(i) + L".txt"));
  EXPECT_EQ(static_cast<int>(copies.size()), present);
  EXPECT_TRUE(boxes.Asked().empty());
}

}  // namespace
