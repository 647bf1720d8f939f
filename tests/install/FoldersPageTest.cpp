// The folders page judges the chosen folders as the run will: each refusal
// shows there without the run's last line, the page stays with the field to
// correct focused, and with another folder the installation completes.
#include <iostream>

#include "picker/BrowseFolder.h"
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

// Folders made in the picker are installed into: the application folder
// below a new level of a drive it shares, the projects below a new X:\Data.
// Each folder is typed into the picker and made there on Yes; the run then
// refuses neither. (The list the picker gives them cannot be read back under
// Wine, which keeps none: GroundTest checks it on the descriptor.)
TEST_F(FoldersPageTest, FoldersMadeInThePickerAreInstalledInto) {
  const std::wstring disk = Work() + L"\\Disk";
  testutil::MakeDirs(disk);
  MappedDrive drive(disk);
  ASSERT_TRUE(drive.Mapped()) << "no drive letter could be mapped";
  Boxes boxes([](const testutil::AskedBox& box) {
    return box.text.ends_with(L"neexistuje! Chcete ji vytvořit?") ? IDYES : IDOK;
  });
  OpenOnMedium({RealEngineSetup()});
  ToFoldersPage();
  struct Row {
    const wchar_t* button;
    std::wstring typed, field;
  };
  const Row rows[] = {
      {L"SpeedButton1", Work() + L"\\Nova", Work() + L"\\Nova\\Vantor"},
      {L"SpeedButton2", drive.Root() + L"Data", drive.Root() + L"Data\\Projekty"},
  };
  static std::wstring typed;
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::Utf8(row.typed));
    typed = row.typed;
    // Typed into the picker and confirmed, from inside its modal loop.
    SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR id, DWORD) {
      if (!picker::frmBrowseFldr || !IsWindowVisible(picker::frmBrowseFldr->Handle())) return;
      KillTimer(nullptr, id);
      SetWindowTextW(picker::frmBrowseFldr->txtPath, typed.c_str());
      SendMessageW(picker::frmBrowseFldr->pbOk, BM_CLICK, 0, 0);
    });
    HWND button = Form().Control(row.button);
    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(
        Form().Text(row.button == std::wstring(L"SpeedButton1") ? L"txtVantorPro" : L"txtProjekty"),
        row.field);
    EXPECT_TRUE(platform::FolderExists(row.typed));
  }
  ASSERT_EQ(boxes.Asked().size(), 2u) << testing::PrintToString(boxes.Texts());
  boxes.Clear();
  ToSummary();
  StartInstall();
  ASSERT_TRUE(WaitForFinishPage()) << testing::PrintToString(boxes.Texts());
  EXPECT_TRUE(boxes.Asked().empty()) << testing::PrintToString(boxes.Texts());
  EXPECT_TRUE(platform::FileExists(rows[0].field + L"\\VantorPro.exe"));
  EXPECT_TRUE(platform::FolderExists(disk + L"\\Data\\Projekty"));
  ASSERT_TRUE(WaitForEngineToEnd());
  Click(L"pbNext");
}

}  // namespace
}  // namespace installtest
