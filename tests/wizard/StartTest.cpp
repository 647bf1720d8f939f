// FormCreate: the start-up defaults, the registry block with its silent
// failures, and the Start-menu group list.
#include <windows.h>

#include <shlobj.h>

#include "tests/wizard/WizardFixture.h"

#include "wizard/ControlIds.h"

namespace wiztest {
namespace {

// The Programs folder the shell knows, where the registry names none.
std::wstring ShellPrograms() {
  PWSTR path = nullptr;
  std::wstring text;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Programs, KF_FLAG_DEFAULT, nullptr, &path)) && path)
    text = path;
  CoTaskMemFree(path);
  return text;
}

using testutil::ScriptedBoxes;

class StartTest : public WizardTest {};

void ExpectDefaultFolders(TfrmSetup& form) {
  EXPECT_EQ(form.Text(L"txtVantorPro"), L"C:\\Vantor");
  EXPECT_EQ(form.Text(L"txtProjekty"), L"C:\\Vantor\\Projekty");
  EXPECT_EQ(form.Text(L"txtVzory"), L"C:\\Vantor\\Vzory");
  EXPECT_EQ(form.Text(L"txtPriklady"), L"C:\\Vantor\\Priklady");
  EXPECT_EQ(form.Text(L"txtFolderName"), L"VantorPro");
}

TEST_F(StartTest, InstallerStateAndWindowAtStart) {
  ScriptedBoxes boxes;
  testutil::TempDir medium;
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(medium.Path().c_str());
  TfrmSetup& form = Open();
  SetCurrentDirectoryW(before);

  EXPECT_EQ(form.CurrentPage, 0);
  EXPECT_EQ(form.ShownPage(), 0);
  EXPECT_FALSE(form.CloseWithoutPrompt);
  EXPECT_EQ(form.SourceDir, medium.Path());
  EXPECT_EQ(form.SetupTitle(), L"Instalace aplikace VantorPro DEMO");
  EXPECT_EQ(platform::ApplicationTitle(), L"Instalace aplikace VantorPro DEMO");
  wchar_t caption[100];
  GetWindowTextW(form.Handle(), caption, 100);
  EXPECT_STREQ(caption, L"Instalace aplikace VantorPro DEMO");
  EXPECT_FALSE(form.TimerEnabled());
  EXPECT_FALSE(::AbortRequested);
  ExpectDefaultFolders(form);
  EXPECT_TRUE(boxes.Asked().empty());

  // Both "leave on CD-ROM" boxes are hidden and unchecked; the examples row
  // is hidden too.
  for (const wchar_t* name :
       {L"cbVzory", L"cbPriklady", L"Label6", L"txtPriklady", L"SpeedButton4", L"Memo1"})
    EXPECT_FALSE(form.Visible(name)) << platform::Utf8(name);
  EXPECT_FALSE(form.Checked(L"cbVzory"));
  EXPECT_FALSE(form.Checked(L"cbPriklady"));

  // Fixed frame: system menu and close button only, client 632 x 453, centred.
  const LONG style = GetWindowLongW(form.Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  RECT client;
  GetClientRect(form.Handle(), &client);
  EXPECT_EQ(client.right, 632);
  EXPECT_EQ(client.bottom, 453);
  RECT frame;
  GetWindowRect(form.Handle(), &frame);
  EXPECT_NEAR((frame.left + frame.right) / 2, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
  EXPECT_NEAR((frame.top + frame.bottom) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 1);

  // Controls are children of the window at their places, with their texts.
  wchar_t cls[32];
  GetClassNameW(form.Handle(), cls, 32);
  EXPECT_STREQ(cls, L"TfrmSetup");
  auto placement = [&](const wchar_t* name) {
    RECT r;
    GetWindowRect(form.Control(name), &r);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  };
  EXPECT_EQ(placement(L"pbNext").left, 554);
  EXPECT_EQ(placement(L"pbNext").top, 423 + 4);
  EXPECT_EQ(placement(L"txtVantorPro").left, 124 + 120);
  EXPECT_EQ(placement(L"Image1").right - placement(L"Image1").left, 123);
  EXPECT_EQ(placement(L"Image1").bottom - placement(L"Image1").top, 308);
  EXPECT_EQ(placement(L"Image3").right - placement(L"Image3").left, 72);
  EXPECT_EQ(form.Text(L"pbPrev"), L"<  &Zpět");
  EXPECT_EQ(form.Text(L"pbNext"), L"&Další  >");
  EXPECT_EQ(form.Hint(L"pbCancel"), L"Ukončí instalaci aplikace VantorPro");
  EXPECT_EQ(GetDlgItem(form.Handle(), 1004), form.Control(L"pbNext"));
  EXPECT_EQ(form.Text(L"Memo1"), L"Memo1");
}

TEST_F(StartTest, SourceDirOfADriveRootHasNoBackslash) {
  wchar_t before[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, before);
  SetCurrentDirectoryW(L"C:\\");
  TfrmSetup& form = Open();
  SetCurrentDirectoryW(before);
  EXPECT_EQ(form.SourceDir, L"C:");
}

TEST_F(StartTest, NameAndCompanyComeFromTheKeyOfThePlatform) {
  SetString(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOwner", L"Jan Novák");
  SetString(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOrganization", L"Stavby Žďár");
  SetString(HKEY_LOCAL_MACHINE, k9xKey, L"RegisteredOwner", L"Petr Dvořák");
  SetString(HKEY_LOCAL_MACHINE, k9xKey, L"RegisteredOrganization", L"Mosty Brno");

  platform::OverridePlatformId(VER_PLATFORM_WIN32_NT);
  TfrmSetup& nt = Open();
  EXPECT_EQ(nt.Text(L"txtName"), L"Jan Novák");
  EXPECT_EQ(nt.Text(L"txtCompany"), L"Stavby Žďár");
  EXPECT_EQ(nt.ProgramsFolder, programsDir_.Path());
  form_.reset();

  platform::OverridePlatformId(VER_PLATFORM_WIN32_WINDOWS);
  TfrmSetup& w9x = Open();
  EXPECT_EQ(w9x.Text(L"txtName"), L"Petr Dvořák");
  EXPECT_EQ(w9x.Text(L"txtCompany"), L"Mosty Brno");
  form_.reset();

  // An unknown platform opens no key: no name, but the Programs folder and
  // the list are still read.
  testutil::MakeDirs(programsDir_ / L"Accessories");
  platform::OverridePlatformId(3);
  TfrmSetup& other = Open();
  EXPECT_EQ(other.Text(L"txtName"), L"");
  EXPECT_EQ(other.Text(L"txtCompany"), L"");
  EXPECT_EQ(other.ProgramsFolder, programsDir_.Path());
  EXPECT_EQ(other.ListItems(L"lbFolders"), std::vector<std::wstring>{L"Accessories"});
}

TEST_F(StartTest, OwnerOfAnotherTypeEndsTheRegistryBlockSilently) {
  testutil::MakeDirs(programsDir_ / L"Accessories");
  platform::OverridePlatformId(VER_PLATFORM_WIN32_NT);
  SetString(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOrganization", L"Firma");
  const DWORD number = 42;
  const BYTE bytes[] = {1, 2, 3};
  struct Case {
    DWORD type;
    const void* data;
    DWORD size;
  };
  for (const Case& c : {Case{REG_DWORD, &number, sizeof(number)}, Case{REG_BINARY, bytes, 3}}) {
    SCOPED_TRACE(c.type);
    SetRaw(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOwner", c.type, c.data, c.size);
    ScriptedBoxes boxes;
    TfrmSetup& form = Open();
    EXPECT_EQ(form.Text(L"txtName"), L"");
    EXPECT_EQ(form.Text(L"txtCompany"), L"");
    // The block ended before the Programs folder: the shell's is taken.
    EXPECT_EQ(form.ProgramsFolder, ShellPrograms());
    ExpectDefaultFolders(form);
    EXPECT_TRUE(boxes.Asked().empty());
    form_.reset();
  }
}

TEST_F(StartTest, CompanyOfAnotherTypeKeepsTheNameReadBeforeIt) {
  platform::OverridePlatformId(VER_PLATFORM_WIN32_NT);
  SetString(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOwner", L"Jan");
  const DWORD number = 7;
  SetRaw(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOrganization", REG_DWORD, &number, 4);
  TfrmSetup& form = Open();
  EXPECT_EQ(form.Text(L"txtName"), L"Jan");
  EXPECT_EQ(form.Text(L"txtCompany"), L"");
  EXPECT_EQ(form.ProgramsFolder, ShellPrograms());
}

TEST_F(StartTest, MissingValuesGiveEmptyTexts) {
  platform::OverridePlatformId(VER_PLATFORM_WIN32_NT);
  SetString(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOwner", L"Jan");
  DeleteValue(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOrganization");
  TfrmSetup& form = Open();
  EXPECT_EQ(form.Text(L"txtName"), L"Jan");
  EXPECT_EQ(form.Text(L"txtCompany"), L"");
  EXPECT_EQ(form.ProgramsFolder, programsDir_.Path());
  form_.reset();

  DeleteValue(HKEY_CURRENT_USER, kShellFolders, L"Programs");
  ScriptedBoxes boxes;
  TfrmSetup& noPrograms = Open();
  // None in the registry: the shell's, never a folder at a drive's root.
  EXPECT_EQ(noPrograms.ProgramsFolder, ShellPrograms());
  EXPECT_FALSE(noPrograms.ProgramsFolder.empty());
  ExpectDefaultFolders(noPrograms);
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(StartTest, ValuesAreTakenAsStoredUpToTheFirstNul) {
  platform::OverridePlatformId(VER_PLATFORM_WIN32_NT);
  SetString(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOwner", L"%USERNAME% s.r.o.", REG_EXPAND_SZ);
  const wchar_t twoStrings[] = L"Quor\0hidden";
  SetRaw(HKEY_LOCAL_MACHINE, kNtKey, L"RegisteredOrganization", REG_SZ, twoStrings,
         sizeof(twoStrings));
  TfrmSetup& form = Open();
  EXPECT_EQ(form.Text(L"txtName"), L"%USERNAME% s.r.o.");
  EXPECT_EQ(form.Text(L"txtCompany"), L"Quor");
}

TEST_F(StartTest, GroupListHoldsOnlyFoldersWithoutLeadingDot) {
  testutil::MakeDirs(programsDir_ / L"Accessories");
  testutil::MakeDirs(programsDir_ / L".cache");
  testutil::MakeDirs(programsDir_ / L"Hry");
  testutil::MakeDirs(programsDir_ / L"Systém");
  SetFileAttributesW((programsDir_ / L"Systém").c_str(),
                     FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  testutil::WriteFile(programsDir_ / L"x.lnk", "link");
  testutil::WriteFile(programsDir_ / L"Folder.txt", "file");

  // The order is the file system's own.
  std::vector<std::wstring> expected;
  {
    platform::FolderListing listing(programsDir_.Path());
    platform::DirEntry e;
    while (listing.Next(e))
      if (e.IsFolder() && e.name[0] != L'.') expected.push_back(e.name);
  }
  ASSERT_EQ(expected.size(), 3u);
  TfrmSetup& form = Open();
  EXPECT_EQ(form.ListItems(L"lbFolders"), expected);
}

TEST_F(StartTest, ProgramsFolderThatDoesNotExistGivesAnEmptyList) {
  SetString(HKEY_CURRENT_USER, kShellFolders, L"Programs", programsDir_ / L"missing");
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  EXPECT_EQ(form.ProgramsFolder, programsDir_ / L"missing");
  EXPECT_TRUE(form.ListItems(L"lbFolders").empty());
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(StartTest, AControlThatCannotBeMadeLeavesNoWindowAndNoReferenceToIt) {
  ASSERT_EQ(frmSetup, nullptr);
  ASSERT_EQ(platform::MainWindow(), nullptr);
  {
    testutil::RefusedChild refused(ids::txtCompany);
    install::Session session(platform::CurrentDir());
    EXPECT_THROW(TfrmSetup{session}, platform::SetupError);
  }
  EXPECT_EQ(FindWindowW(L"TfrmSetup", nullptr), nullptr);
  EXPECT_EQ(frmSetup, nullptr);
  EXPECT_EQ(platform::MainWindow(), nullptr);
  // The next window is made as usual.
  TfrmSetup& form = Open();
  EXPECT_EQ(frmSetup, &form);
  EXPECT_NE(form.Control(L"txtCompany"), nullptr);
}

}  // namespace
}  // namespace wiztest
