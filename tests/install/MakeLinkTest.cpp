#include <gtest/gtest.h>

#include "install/MakeLink.h"
#include "tests/support/TestUtil.h"

using testutil::TempDir;

namespace {

class MakeLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::SetApplicationTitle(L"Instalace VantorPro");
    testutil::MakeDirs(App());
    testutil::MakeDirs(Group());
    testutil::WriteFile(App() + L"\\VantorPro.exe", "MZ");
    testutil::WriteFile(App() + L"\\VantorPro.hlp", "help");
  }
  std::wstring App() const { return tmp / L"Vantor Pro.1"; }
  std::wstring Group() const { return tmp / L"Programs\\VantorPro"; }
  TempDir tmp;
  testutil::ScriptedBoxes boxes;
};

TEST_F(MakeLinkTest, BothShortcutsWrittenAndReadBack) {
  install::MakeLink(App() + L"\\VantorPro.exe", L"", Group() + L"\\VantorPro.lnk", L"VantorPro");
  install::MakeLink(App() + L"\\VantorPro.hlp", L"/x", Group() + L"\\Nápověda VantorPro.lnk",
                    L"Nápověda VantorPro");
  platform::ShortcutInfo info;
  ASSERT_TRUE(platform::ReadShortcut(Group() + L"\\VantorPro.lnk", info));
  EXPECT_EQ(App() + L"\\VantorPro.exe", info.path);
  EXPECT_EQ(L"", info.arguments);
  EXPECT_EQ(App() + L"\\", info.workingDirectory);
  EXPECT_EQ(L"VantorPro", info.description);
  ASSERT_TRUE(platform::ReadShortcut(Group() + L"\\Nápověda VantorPro.lnk", info));
  EXPECT_EQ(App() + L"\\VantorPro.hlp", info.path);
  EXPECT_EQ(L"/x", info.arguments);
  EXPECT_EQ(App() + L"\\", info.workingDirectory);
  EXPECT_EQ(L"Nápověda VantorPro", info.description);
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(MakeLinkTest, ExtensionMustBeLnkInAnyCase) {
  for (const auto* name : {L"upper.LNK", L"mixed.LnK", L"Nápověda VantorPro.lnk"}) {
    install::MakeLink(App() + L"\\VantorPro.exe", L"", Group() + L"\\" + name, L"d");
    EXPECT_TRUE(platform::FileExists(Group() + L"\\" + name)) << platform::Utf8(name);
  }
  EXPECT_TRUE(boxes.Asked().empty());

  const std::vector<std::wstring> refused = {Group() + L"\\old.lnk.bak", Group() + L"\\noextension",
                                             tmp / L"dotted.lnk\\plain",  // dot in the folder
                                             Group() + L"\\link.lnk "};
  testutil::MakeDirs(tmp / L"dotted.lnk");
  for (const auto& file : refused) {
    install::MakeLink(App() + L"\\VantorPro.exe", L"", file, L"d");
    EXPECT_FALSE(platform::FileExists(file)) << platform::Utf8(file);
  }
  ASSERT_EQ(refused.size(), boxes.Asked().size());
  for (const auto& box : boxes.Asked()) {
    EXPECT_EQ(L"Error: link path extension must be .LNK", box.text);
    EXPECT_EQ(L"Instalace VantorPro", box.caption);
    EXPECT_EQ(static_cast<unsigned>(MB_OK), box.flags);
  }
}

TEST_F(MakeLinkTest, ExistingShortcutOverwrittenAndMissingFolderSilent) {
  const std::wstring link = Group() + L"\\VantorPro.lnk";
  install::MakeLink(App() + L"\\VantorPro.exe", L"", link, L"first");
  install::MakeLink(App() + L"\\VantorPro.hlp", L"", link, L"second");
  platform::ShortcutInfo info;
  ASSERT_TRUE(platform::ReadShortcut(link, info));
  EXPECT_EQ(L"second", info.description);
  EXPECT_EQ(App() + L"\\VantorPro.hlp", info.path);

  const std::wstring missing = tmp / L"no group\\VantorPro.lnk";
  install::MakeLink(App() + L"\\VantorPro.exe", L"", missing, L"VantorPro");
  EXPECT_FALSE(platform::FileExists(missing));
  EXPECT_FALSE(platform::FolderExists(tmp / L"no group"));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(MakeLinkTest, DriveRootTargetKeepsItsBackslash) {
  const std::wstring link = Group() + L"\\root.lnk";
  install::MakeLink(L"C:\\\\VantorPro.exe", L"", link, L"root");
  platform::ShortcutInfo info;
  ASSERT_TRUE(platform::ReadShortcut(link, info));
  EXPECT_EQ(L"C:\\\\", info.workingDirectory);
}

}  // namespace
