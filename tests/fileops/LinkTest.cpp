// A link met by a walk is a leaf: nothing behind it is counted, copied,
// written or deleted. The links are Unix symbolic links made before the run
// (tests/make-links.sh).
#include <gtest/gtest.h>

#include "fileops/FileOps.h"
#include "platform/HeldFolder.h"
#include "platform/Platform.h"
#include "tests/fileops/FileOpsTestSupport.h"

namespace {

const std::wstring kSet = L"C:\\svlinks\\walk";

void ExpectTargetUntouched() {
  EXPECT_TRUE(platform::FileExists(kSet + L"\\target\\keep.txt"));
  EXPECT_TRUE(platform::FileExists(kSet + L"\\target\\sub\\inner.txt"));
  platform::FolderListing listing(kSet + L"\\target");
  platform::DirEntry entry;
  int entries = 0;
  while (listing.Next(entry)) ++entries;
  EXPECT_EQ(entries, 4);  // ".", "..", keep.txt, sub: nothing written into it
}

TEST(Links, CountCopyAndDeleteNeverEnterALink) {
  const std::wstring tree = kSet + L"\\tree";
  ASSERT_TRUE(platform::IsLinkAt(tree + L"\\link")) << "tests/make-links.sh did not run";

  fileopstest::TestContext ctx;
  EXPECT_EQ(fileops::CountFiles(ctx, tree), 1);

  const std::wstring copy = kSet + L"\\copy";
  fileops::CopyDir(ctx, tree, copy, false);
  EXPECT_TRUE(platform::FileExists(copy + L"\\own.txt"));
  EXPECT_EQ(platform::GetAttributes(copy + L"\\link"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ctx.steps, 1);

  // The removal of the tree never enters the link. Wine cannot remove a
  // Unix link, so the link may stay; the removal says so then.
  const bool removed = platform::HeldFolder::Open(tree).RemoveTree();
  EXPECT_EQ(removed, !platform::IsLinkAt(tree + L"\\link"));
  EXPECT_FALSE(platform::FileExists(tree + L"\\own.txt"));
  ExpectTargetUntouched();
}

}  // namespace
