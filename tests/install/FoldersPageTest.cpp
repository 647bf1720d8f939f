// The folders page judges the chosen folders as the run will: each refusal
// shows there without the run's last line, the page stays with the field to
// correct focused, and with another folder the installation completes.
#include <iostream>

#include "platform/Access.h"
#include "tests/install/InstallFixture.h"

namespace installtest {
namespace {

const wchar_t kOthers[] =
    L"\" mohou měnit i jiné účty tohoto počítače, které by v ní mohly zaměnit instalované "
    L"soubory.\rZvolte jinou složku nebo ji zabezpečte tak, aby ji mohli měnit jen správci.";

class FoldersPageTest : public InstallTest {
 public:
  void ToFoldersPage() {
    while (Form().ShownPageName() != L"pgCesty") {
      const int before = Form().CurrentPage;
      Click(L"pbNext");
      ASSERT_EQ(Form().CurrentPage, before + 1);
    }
  }
};

TEST_F(FoldersPageTest, ARefusalKeepsThePageAndAnotherFolderInstalls) {
  SmallDrive small(L"small");
  struct Row {
    const char* what;
    // Makes the ground and chooses the folders; the text refused.
    std::function<std::wstring(FoldersPageTest&)> arrange;
    const wchar_t* field;  // focused after the refusal
  };
  const Row rows[] = {
      {"too little room on the drive",
       [&small](FoldersPageTest& t) -> std::wstring {
         if (!small.Ready()) return {};
         t.SetFolders(small.Root() + L"Vantor", t.Work() + L"\\Projekty", small.Root() + L"Vzory");
         return L"Na disku " + small.Root() + L" není pro instalaci dost místa!";
       },
       L"txtVantorPro"},
      {"a work folder the installer did not make",
       [](FoldersPageTest& t) {
         const std::wstring app = t.Work() + L"\\Cizi";
         testutil::MakeDirs(app + L"\\Instalace");
         t.SetFolders(app, t.Work() + L"\\Projekty", t.Work() + L"\\Vzory");
         return L"Složka \"" + app + L"\\Instalace\" již existuje a instalační program ji " +
                L"nevytvořil!\rOdstraňte ji, nebo zvolte pro součást \"VantorPro\" jinou složku.";
       },
       L"txtVantorPro"},
      {"a level above the templates that other accounts may change",
       [](FoldersPageTest& t) -> std::wstring {
         const std::wstring above = t.Work() + L"\\Sdilena";
         testutil::MakeDirs(above);
         const bool changed = testutil::RunUnixOn(L"chmod 0777", above, [&] {
           const platform::UniqueFile handle(CreateFileW(above.c_str(), READ_CONTROL, 7, nullptr,
                                                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                         nullptr));
           return platform::JudgeFolder(handle.get(), platform::ChangeOf::Contents) ==
                  platform::FolderTrust::OthersMayChange;
         });
         EXPECT_TRUE(changed);
         t.SetFolders(t.Work() + L"\\App", t.Work() + L"\\Projekty", above + L"\\Vzory");
         return L"Složku \"" + above + kOthers;
       },
       L"txtVzory"},
      {"a path past the length Windows takes",
       [](FoldersPageTest& t) {
         std::wstring app = t.Work();
         while (app.size() < 236) app += L"\\Dlouha_slozka";
         t.SetFolders(app, t.Work() + L"\\Projekty", t.Work() + L"\\Vzory");
         return L"Cesta \"" + app + L"\\Instalace\\";
       },
       L"txtVantorPro"},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Boxes boxes;
    OpenOnMedium({RealEngineSetup(), 0, 0, 26});
    ToFoldersPage();
    const std::wstring refused = row.arrange(*this);
    if (refused.empty()) {
      std::cout << "no small drive (tests/make-drives.sh mounts it as root): row skipped\n";
      continue;
    }
    Click(L"pbNext");
    EXPECT_EQ(Form().ShownPageName(), L"pgCesty");
    ASSERT_EQ(boxes.Asked().size(), 1u);
    const testutil::AskedBox& box = boxes.Asked()[0];
    EXPECT_TRUE(box.text.starts_with(refused)) << testing::PrintToString(box.text);
    EXPECT_EQ(box.text.find(L"Instalace bude ukončena!"), std::wstring::npos);
    EXPECT_EQ(box.flags, static_cast<unsigned>(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(GetFocus(), Form().Control(row.field));
    // Another folder, and the installation runs through.
    const std::wstring other = Work() + L"\\Jinam" + std::to_wstring(++n);
    SetFolders(other + L"\\App", other + L"\\Projekty", other + L"\\Vzory");
    boxes.Clear();
    ToSummary();
    StartInstall();
    ASSERT_TRUE(WaitForFinishPage());
    EXPECT_TRUE(platform::FileExists(other + L"\\App\\VantorPro.exe"));
    EXPECT_TRUE(platform::FileExists(other + L"\\Vzory\\Faktura.vzr"));
    EXPECT_TRUE(boxes.Asked().empty());
    ASSERT_TRUE(WaitForEngineToEnd());
    Click(L"pbNext");
  }
}

}  // namespace
}  // namespace installtest
