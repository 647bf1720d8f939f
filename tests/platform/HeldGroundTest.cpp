// Ground held for a removal by full paths: the levels above what goes are
// held only to pass through, so another program's handle on one of them,
// whatever it shares, keeps nothing below; what goes is asked for deletion
// itself, so a handle on it that shares no deletion keeps it.
#include <gtest/gtest.h>

#include "platform/Access.h"
#include "platform/Crc32.h"
#include "platform/HeldGround.h"
#include "tests/support/TestUtil.h"

namespace {

using platform::HeldGround;
using Removal = platform::HeldGround::Removal;
using testutil::TempDir;

TEST(HeldGround, AnotherProgramsHandleAboveKeepsNothingBelow) {
  const std::string content = "ours";
  const uint32_t crc = platform::Crc32(content.data(), content.size());
  const struct {
    const char* name;
    const wchar_t* held;  // below the scratch folder; empty: nothing held
    DWORD share;
    Removal file, folder;
  } cases[] = {
      {"nothing held", L"", 0, Removal::Removed, Removal::Removed},
      {"the level above, deletion not shared", L"a", FILE_SHARE_READ | FILE_SHARE_WRITE,
       Removal::Removed, Removal::Removed},
      {"the scratch folder, reading shared only", L".", FILE_SHARE_READ, Removal::Removed,
       Removal::Removed},
      {"the folder that goes, deletion not shared", L"a\\b", FILE_SHARE_READ | FILE_SHARE_WRITE,
       Removal::Removed, Removal::Kept},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    TempDir dir;
    testutil::MakeDirs(dir / L"a\\b");
    testutil::WriteFile(dir / L"a\\b\\f.txt", content);
    platform::UniqueFile other;
    if (*test.held) {
      other.reset(CreateFileW((dir / test.held).c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                              test.share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr));
      ASSERT_TRUE(other);
    }
    HeldGround ground;
    EXPECT_EQ(ground.RemoveFile(dir / L"a\\b\\f.txt", content.size(), crc), test.file);
    EXPECT_EQ(ground.RemoveFolder(dir / L"a\\b"), test.folder);
    EXPECT_EQ(platform::FolderExists(dir / L"a\\b"), test.folder == Removal::Kept);
    EXPECT_TRUE(platform::FolderExists(dir / L"a"));
  }
}

// A link on the way is entered only where the installation followed it: on
// the person's own path above what it made, and only when trusted accounts
// alone control it and the folder holding it. Wine shows a Unix link with
// its target's owner.
TEST(HeldGround, ALinkIsFollowedOnlyOnThePersonsPathAndOnlyWhenSound) {
  const std::string content = "ours";
  const uint32_t crc = platform::Crc32(content.data(), content.size());
  const struct {
    const char* name;
    bool made;              // the link stands where the installation made a folder
    const wchar_t* change;  // on the target, from the Unix side
    Removal removal;
  } cases[] = {
      {"the person's link, administrators' alone", false, nullptr, Removal::Removed},
      {"the person's link to another account's folder", false, L"chown 1001", Removal::Kept},
      {"a link in place of a folder the installation made", true, nullptr, Removal::Kept},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    TempDir dir;
    const std::wstring link = dir / L"Vantor", target = dir / L"Cil";
    testutil::MakeDirs(link);
    testutil::MakeDirs(target);
    testutil::WriteFile(target + L"\\f.txt", content);
    ASSERT_TRUE(testutil::SwapForLink(link, target));
    if (test.change) {
      ASSERT_TRUE(testutil::RunUnixOn(test.change, target, [&] {
        const platform::UniqueFile handle(CreateFileW(target.c_str(), READ_CONTROL, 7, nullptr,
                                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                      nullptr));
        return platform::JudgeFolder(handle.get(), platform::ChangeOf::Above) ==
               platform::FolderTrust::ForeignOwner;
      }));
    }
    HeldGround ground(test.made ? std::vector<std::wstring>{link} : std::vector<std::wstring>{});
    EXPECT_EQ(ground.RemoveFile(link + L"\\f.txt", content.size(), crc), test.removal);
    EXPECT_EQ(platform::FileExists(target + L"\\f.txt"), test.removal == Removal::Kept);
  }
}

}  // namespace
