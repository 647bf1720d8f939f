// A held folder: everything made, renamed and removed through its handle,
// a link below it never entered, and a swap of the folder for a link never
// written through.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/HeldFolder.h"
#include "tests/support/TestUtil.h"

namespace {

using platform::HeldFolder;
using testutil::ReadFile;
using testutil::TempDir;

bool Write(const HeldFolder& folder, const std::wstring& name, const std::string& content,
           ULONG disposition = FILE_CREATE) {
  platform::UniqueFile file =
      folder.OpenFile(name, GENERIC_WRITE | DELETE, 0, disposition, FILE_ATTRIBUTE_NORMAL);
  DWORD written = 0;
  return file && WriteFile(file.get(), content.data(), static_cast<DWORD>(content.size()), &written,
                           nullptr);
}

TEST(HeldFolder, MakesRenamesListsAndRemovesThroughItsHandle) {
  TempDir dir;
  std::vector<HeldFolder> made;
  HeldFolder app = HeldFolder::Open(dir / L"a\\b", true, &made);
  ASSERT_TRUE(app);
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(made[0].Path(), dir / L"a");
  EXPECT_EQ(made[1].Identity(), app.Identity());
  made.clear();
  EXPECT_EQ(app.Identity(), platform::IdentityAt(dir / L"a\\b"));
  EXPECT_EQ(app.ConfirmedPath(), dir / L"a\\b");

  bool fresh = false;
  HeldFolder work = app.Child(L"W", HeldFolder::Make::Fresh, nullptr, &fresh);
  ASSERT_TRUE(work);
  EXPECT_TRUE(fresh);
  EXPECT_FALSE(app.Child(L"W", HeldFolder::Make::Fresh));  // never taken over
  HeldFolder deep = work.Child(L"x\\y", HeldFolder::Make::IfMissing);
  ASSERT_TRUE(deep);
  EXPECT_EQ(deep.Path(), dir / L"a\\b\\W\\x\\y");

  ASSERT_TRUE(Write(deep, L"part", "new"));
  ASSERT_TRUE(Write(deep, L"f.txt", "old"));
  EXPECT_FALSE(Write(deep, L"f.txt", "again"));  // FILE_CREATE keeps what is there
  EXPECT_FALSE(deep.Rename(L"part", L"f.txt", false));
  ASSERT_TRUE(deep.Rename(L"part", L"f.txt", true));
  EXPECT_EQ(ReadFile(dir / L"a\\b\\W\\x\\y\\f.txt"), "new");
  const auto entries = deep.List();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, L"f.txt");
  EXPECT_EQ(entries[0].size, 3u);

  EXPECT_FALSE(work.Remove(L"x"));  // not empty
  EXPECT_TRUE(deep.Remove(L"f.txt"));
  EXPECT_TRUE(deep.RemoveSelf());
  EXPECT_FALSE(deep);
  EXPECT_TRUE(work.Remove(L"x"));
  EXPECT_TRUE(work.RemoveSelf());
  EXPECT_FALSE(platform::FolderExists(dir / L"a\\b\\W"));
}

TEST(HeldFolder, ALinkIsFollowedOnlyInTheUsersOwnPathAndNeverBelow) {
  const std::wstring tree = L"C:\\svlinks\\walk\\tree";  // tests/make-links.sh
  ASSERT_TRUE(platform::IsLinkAt(tree + L"\\link")) << "tests/make-links.sh did not run";
  HeldFolder held = HeldFolder::Open(tree);
  ASSERT_TRUE(held);
  EXPECT_FALSE(held.Child(L"link"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_ACCESS_FILE));
  EXPECT_FALSE(held.Child(L"link\\sub", HeldFolder::Make::IfMissing));
  EXPECT_NE(held.AttributesOf(L"link") & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  // Typed by the user, it is what the user meant.
  EXPECT_TRUE(HeldFolder::Open(tree + L"\\link\\sub"));
}

TEST(HeldFolder, AFolderSwappedForALinkIsNeitherWrittenNorConfirmedThrough) {
  TempDir dir;
  testutil::MakeDirs(dir / L"other");
  testutil::WriteFile(dir / L"other\\f.txt", "theirs");
  HeldFolder held = HeldFolder::Open(dir / L"app", true);
  ASSERT_TRUE(held);
  ASSERT_TRUE(testutil::SwapForLink(dir / L"app", dir / L"other"));
  EXPECT_EQ(held.ConfirmedPath(), L"");
  ASSERT_TRUE(Write(held, L"f.txt", "ours"));
  EXPECT_EQ(ReadFile(dir / L"app.moved\\f.txt"), "ours");
  // Windows removes the moved folder's file and then the folder; Wine, which
  // looks for them by their old names, leaves them. Either way, what the
  // link leads to is untouched.
  held.Remove(L"f.txt");
  held.RemoveSelf();
  EXPECT_EQ(ReadFile(dir / L"other\\f.txt"), "theirs");
  EXPECT_TRUE(platform::IsLinkAt(dir / L"app"));
}

}  // namespace
