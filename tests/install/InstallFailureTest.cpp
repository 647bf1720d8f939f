// The ways an installation does not simply run through: the abort button at
// each stage, and every failure message of the sequence provoked for real.
#include "tests/install/InstallFixture.h"

#include <algorithm>

#include "install/Journal.h"
#include "install/Messages.h"

namespace installtest {
namespace {

using testutil::AskedBox;
using testutil::ReadFile;

const wchar_t kShellLinkClass[] = L"CLSID\\{00021401-0000-0000-C000-000000000046}";

int CountFilesIn(const std::wstring& folder) {
  int n = 0;
  platform::FolderListing listing(folder);
  platform::DirEntry entry;
  while (listing.Next(entry))
    if (!entry.IsFolder()) ++n;
  return n;
}

// Stop: yes; close: as given.
Boxes::Rule StopThenClose(int closeAnswer) {
  return [closeAnswer](const AskedBox& box) {
    if (box.text == kStopQuestion) return IDYES;
    if (box.text == kCloseQuestion) return closeAnswer;
    return IDOK;
  };
}

class AbortTest : public InstallTest {
 public:
  void ClickAbort() { Click(L"pbPrerusit"); }
  // The state a stop leaves behind, the close question answered no.
  void ExpectStopped(const Boxes& boxes) {
    EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{kStopQuestion, kCloseQuestion}));
    for (const AskedBox& box : boxes.Asked()) {
      EXPECT_EQ(box.caption, kTitle);
      EXPECT_EQ(box.flags, static_cast<unsigned>(MB_YESNO | MB_ICONQUESTION));
    }
    EXPECT_EQ(Form().ShownPageName(), L"pgStartCopy");
    EXPECT_EQ(Form().CurrentPage, 4);
    EXPECT_TRUE(Form().Showing(L"pbNext"));
    EXPECT_TRUE(Form().Showing(L"pbPrev"));
    EXPECT_TRUE(Form().Showing(L"pbCancel"));
    EXPECT_EQ(Form().Text(L"pbNext"), L"&Další  >");
    EXPECT_TRUE(::AbortRequested);
    EXPECT_FALSE(platform::Terminated());
    EXPECT_FALSE(Form().CloseWithoutPrompt);
    EXPECT_EQ(platform::AppCursor(), platform::Cursor::Default);
    // The summary was written again on the way back.
    EXPECT_TRUE(Form().Text(L"memSettings").starts_with(L"Cílové složky součástí\r\n"));
  }
  // "&Další  >" again: a new run from the medium, to the end.
  void RunAgainToTheEnd(Boxes& boxes, const std::wstring& app) {
    boxes.Clear();
    boxes.SetRule({});
    StartInstall();
    ASSERT_EQ(Form().ShownPage(), 5);
    EXPECT_FALSE(::AbortRequested);
    ASSERT_TRUE(WaitForFinishPage());
    for (const auto& [name, content] : payload_.files) {
      if (name.find('/') != std::string::npos) continue;
      EXPECT_EQ(ReadFile(app + L"\\" + platform::Wide(name)), content) << name;
    }
    EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), L"Jan Novák");
    ASSERT_TRUE(WaitForEngineToEnd());
    Click(L"pbNext");
    EXPECT_TRUE(platform::Terminated());
    EXPECT_FALSE(platform::FolderExists(app + L"\\Instalace"));
    EXPECT_TRUE(boxes.Asked().empty());
  }
};

TEST_F(AbortTest, YesWhileUnpackingThenNoKeepsTheWizardAndTheNextRunCompletes) {
  Boxes boxes(StopThenClose(IDNO));
  TfrmSetup& form = OpenOnMedium({RealEngineSetup(), 0, 150});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  WhenStatus when(form, L"Rozbaluji soubor", [this] { ClickAbort(); });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  ExpectStopped(boxes);
  EXPECT_FALSE(form.TimerEnabled());
  // The unpacking ended early and nothing after it ran.
  EXPECT_LT(CountFilesIn(app + L"\\Instalace"), 150);
  EXPECT_FALSE(platform::FileExists(app + L"\\VantorPro.exe"));
  EXPECT_FALSE(platform::FolderExists(Work() + L"\\Projekty"));
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), std::nullopt);
  RunAgainToTheEnd(boxes, app);
}

TEST_F(AbortTest, YesWhileCopyingThenNoKeepsTheWizardAndTheNextRunCompletes) {
  Boxes boxes(StopThenClose(IDNO));
  TfrmSetup& form = OpenOnMedium({RealEngineSetup(), 150, 0});
  const std::wstring app = Work() + L"\\App", templates = Work() + L"\\Vzory";
  SetFolders(app, Work() + L"\\Projekty", templates);
  ToSummary();
  WhenStatus when(form, L"Kopíruji soubor Vzor", [this] { ClickAbort(); });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  ExpectStopped(boxes);
  EXPECT_FALSE(form.TimerEnabled());
  // Templates partly copied; the Start menu and the registry untouched.
  EXPECT_TRUE(platform::FolderExists(Work() + L"\\Projekty"));
  EXPECT_LT(CountFilesIn(templates + L"\\Hromadne"), 150);
  EXPECT_FALSE(platform::FolderExists(Programs() + L"\\VantorPro"));
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), std::nullopt);
  RunAgainToTheEnd(boxes, app);
  EXPECT_EQ(CountFilesIn(templates + L"\\Hromadne"), 150);
  // The record names the folders the stopped run made, for the uninstaller.
  platform::Registry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  r.OpenKey(kUninstallKey);
  std::vector<std::wstring> record;
  ASSERT_TRUE(r.ReadLines(L"SetupRecord", record));
  for (const std::wstring& folder : {app, Work() + L"\\Projekty", templates})
    EXPECT_NE(std::find(record.begin(), record.end(), L"D\t" + folder), record.end())
        << platform::Utf8(folder);
}

// The templates on a drive of their own (tests/make-drives.sh): a file
// unpacked on the application's drive is moved into place at once, one
// copied to another drive is written in pieces, and a stop can land inside.
TEST_F(AbortTest, YesInsideALargeFileEndsItThereAndNextWaitsForTheRunToReturn) {
  const std::wstring smallDrive = L"C:\\svdrives\\small";
  if (!platform::FileExists(smallDrive + L"\\drive"))
    GTEST_SKIP() << "no small drive: tests/make-drives.sh mounts it as root";
  testutil::RemoveTree(smallDrive + L"\\Vzory");
  MappedDrive drive(smallDrive);
  ASSERT_TRUE(drive.Mapped());
  Boxes boxes(StopThenClose(IDNO));
  TfrmSetup& form = OpenOnMedium({RealEngineSetup(), 0, 0, 4});
  const std::wstring app = Work() + L"\\App", templates = drive.Root() + L"Vzory";
  SetFolders(app, Work() + L"\\Projekty", templates);
  ToSummary();
  bool nextUsable = true;
  WhenStatus when(form, L"Kopíruji soubor Velky", [&] {
    ClickAbort();
    // The summary is back while the stopped run unwinds: a second run must
    // not start inside it.
    nextUsable = IsWindowEnabled(form.Control(L"pbNext"));
    Click(L"pbNext");
  });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  EXPECT_FALSE(nextUsable);
  ExpectStopped(boxes);
  EXPECT_FALSE(form.TimerEnabled());
  // The copy ended inside the file, and its half-written target is gone.
  EXPECT_FALSE(platform::FileExists(templates + L"\\Velky.vzr"));
  EXPECT_FALSE(platform::FolderExists(Programs() + L"\\VantorPro"));
  EXPECT_TRUE(IsWindowEnabled(form.Control(L"pbNext")));
  EXPECT_TRUE(IsWindowEnabled(form.Control(L"pbPrev")));
  RunAgainToTheEnd(boxes, app);
  testutil::RemoveTree(smallDrive + L"\\Vzory");
}

TEST_F(AbortTest, YesAndYesEndsTheProgramWithoutStartingThePoll) {
  Boxes boxes(StopThenClose(IDYES));
  TfrmSetup& form = OpenOnMedium({RealEngineSetup(), 0, 150});
  SetFolders(Work() + L"\\App", Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  WhenStatus when(form, L"Rozbaluji soubor", [this] { ClickAbort(); });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  EXPECT_EQ(boxes.Texts(), (std::vector<std::wstring>{kStopQuestion, kCloseQuestion}));
  EXPECT_TRUE(platform::Terminated());
  EXPECT_FALSE(form.TimerEnabled());
  EXPECT_FALSE(platform::FileExists(Work() + L"\\App\\VantorPro.exe"));
}

// Stopped in the copy and closed while a file the run put in place is held
// open: the rollback runs on the copy page, saying so, with no button to
// press, and names the file it could not remove; the next start removes it.
TEST_F(AbortTest, TheRollBackShowsOnTheCopyPageAndNamesWhatStayed) {
  const std::wstring app = Work() + L"\\App";
  platform::UniqueFile held;
  std::wstring heldName;
  TfrmSetup* form = nullptr;
  std::vector<bool> seen;
  Boxes boxes([&](const AskedBox& box) {
    if (box.text == kStopQuestion) return IDYES;
    if (box.text == kCloseQuestion) {
      platform::DirEntry entry;
      for (platform::FolderListing files(app); !held && files.Next(entry);) {
        if (entry.IsFolder()) continue;
        heldName = app + L"\\" + entry.name;
        held.reset(CreateFileW(heldName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, 0, nullptr));
      }
      return IDYES;
    }
    seen = {form->ShownPage() == 5, form->Text(L"lblCopyFile") == install::RollingBack(),
            !form->Showing(L"pbPrerusit"), !form->Showing(L"pbNext")};
    return IDOK;
  });
  form = &OpenOnMedium({RealEngineSetup(), 40, 0});
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  WhenStatus when(*form, L"Kopíruji soubor Vzor", [this] { ClickAbort(); });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  ASSERT_TRUE(held) << "no file in " << platform::Utf8(app);
  ASSERT_EQ(boxes.Texts().size(), 3u);
  // Named as the run's temporaries are: by their common beginning.
  const size_t dash = heldName.find(L'-', app.size());
  EXPECT_EQ(boxes.Texts()[2], install::RollBackLeft({heldName.substr(0, dash + 1) + L"*"}));
  EXPECT_EQ(seen, std::vector<bool>(4, true));
  EXPECT_TRUE(platform::Terminated());
  held.reset();
  EXPECT_EQ(install::RecoverUnfinishedRun().state, install::Recovery::State::Clean);
  EXPECT_FALSE(platform::FolderExists(app));
}

TEST_F(AbortTest, NoLetsTheRunGoOn) {
  Boxes boxes([](const AskedBox&) { return IDNO; });
  TfrmSetup& form = OpenOnMedium({RealEngineSetup(), 40, 0});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  WhenStatus when(form, L"Kopíruji soubor", [this] { ClickAbort(); });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kStopQuestion});
  EXPECT_EQ(form.ShownPage(), 5);
  EXPECT_FALSE(::AbortRequested);
  EXPECT_TRUE(form.TimerEnabled());
  EXPECT_EQ(CountFilesIn(Work() + L"\\Vzory\\Hromadne"), 40);
  ASSERT_TRUE(WaitForFinishPage());
  EXPECT_EQ(ReadFile(app + L"\\VantorPro.exe"), "the program");
}

TEST_F(AbortTest, YesWhileWaitingKeepsThePollAndTheNextRunCompletes) {
  Boxes boxes(StopThenClose(IDNO));
  TfrmSetup& form = OpenOnMedium({EngineStub()});  // never reports by itself
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ASSERT_EQ(form.ShownPage(), 5);
  ASSERT_TRUE(form.TimerEnabled());
  ClickAbort();
  ExpectStopped(boxes);
  EXPECT_TRUE(form.TimerEnabled());  // the stop leaves the poll running
  PollTicks ticks(form);
  ASSERT_TRUE(ticks.WaitFor(1));
  EXPECT_EQ(form.ShownPage(), 4);

  // Second run. While it unpacks, the user presses "Přerušit" and thinks
  // the question over; meanwhile the first run's engine setup reports. The
  // new run must neither be cut short by that old report nor end the wait
  // on it: it clears the flag and starts the engine's setup again.
  boxes.Clear();
  boxes.SetRule([](const AskedBox& box) {
    if (box.text != kStopQuestion) return IDOK;
    WriteFlag();
    PumpThroughOneInterval();  // a real box runs the messages meanwhile
    return IDNO;
  });
  WhenStatus when(form, L"Rozbaluji soubor", [this] { ClickAbort(); });
  StartInstall();
  ASSERT_TRUE(when.Fired());
  EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kStopQuestion});
  EXPECT_EQ(form.ShownPage(), 5);
  EXPECT_EQ(form.Text(L"pbNext"), L"&Další  >");
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Konfiguruji BDE");
  EXPECT_FALSE(FlagExists());
  EXPECT_TRUE(form.TimerEnabled());
  ASSERT_TRUE(ticks.WaitFor(1));
  EXPECT_EQ(form.ShownPage(), 5);

  WriteFlag();  // this run's engine setup reports
  ASSERT_TRUE(WaitForFinishPage(5000));
  // The stand-in's trace is not the archive's: the finish would leave it.
  DeleteFileW((app + L"\\Instalace\\Utility\\Bde\\Setup.exe.ran").c_str());
  Click(L"pbNext");
  EXPECT_TRUE(platform::Terminated());
  EXPECT_FALSE(platform::FolderExists(app + L"\\Instalace"));
  EXPECT_EQ(ReadFile(app + L"\\VantorPro.exe"), "the program");
}

TEST_F(AbortTest, FlagFoundAfterAStopWhileWaitingStartsTheNextRunItself) {
  Boxes boxes(StopThenClose(IDNO));
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ClickAbort();
  ExpectStopped(boxes);
  boxes.Clear();
  // The first run's engine setup reports while the summary page is shown:
  // the poll presses "&Další  >" there, which runs the installation again.
  WriteFlag();
  ASSERT_TRUE(PumpUntil([&] { return form.ShownPage() == 5 && form.TimerEnabled(); }, 5000));
  EXPECT_FALSE(::AbortRequested);
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Konfiguruji BDE");
  EXPECT_TRUE(boxes.Asked().empty());
  WriteFlag();
  ASSERT_TRUE(WaitForFinishPage(5000));
}

// --------------------------------------------------------------- messages

class FailureTest : public InstallTest {
 protected:
  // The fatal unpacking message, naming the unpack folder below the application folder.
  void ExpectCannotUnpack(const Boxes& boxes, const std::wstring& app) {
    ExpectFatal(
        boxes, L"Nelze rozbalit instalační soubory do složky \"" + app + L"\\Instalace\"!" + kEnds);
  }
};

TEST_F(FailureTest, A_ApplicationFolderOnAMissingDrive) {
  Boxes boxes;
  const wchar_t letter = FreeDriveLetter();
  ASSERT_NE(letter, 0);
  const std::wstring app = std::wstring(1, letter) + L":\\Vantor";
  OpenOnMedium({EngineStub()});
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ExpectCannotUnpack(boxes, app);
  EXPECT_FALSE(platform::FolderExists(Work() + L"\\Projekty"));
}

TEST_F(FailureTest, A_DamagedArchive) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  const std::string whole = ReadFile(Medium() + L"\\Vaninst.pak");
  testutil::WriteFile(Medium() + L"\\Vaninst.pak", whole.substr(0, whole.size() * 2 / 3));
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  WriteFlag();
  ToSummary();
  StartInstall();
  ExpectCannotUnpack(boxes, app);
  // Nothing of the later steps: no copy, no registry, the old flag untouched.
  EXPECT_FALSE(platform::FileExists(app + L"\\VantorPro.exe"));
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), std::nullopt);
  EXPECT_TRUE(FlagExists());
  // The folders this run made for the unpacking are gone again.
  EXPECT_FALSE(platform::FolderExists(app));
}

TEST_F(FailureTest, A_MissingArchive) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  ASSERT_TRUE(DeleteFileW((Medium() + L"\\Vaninst.pak").c_str()));
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ExpectCannotUnpack(boxes, app);
  EXPECT_FALSE(platform::FolderExists(Work() + L"\\Projekty"));
  EXPECT_FALSE(platform::FolderExists(app));
}

TEST_F(FailureTest, A_WorkFolderThatIsALinkIsNotWrittenThrough) {
  Boxes boxes;
  const std::wstring set = L"C:\\svlinks\\work";  // made by tests/make-links.sh
  ASSERT_TRUE(platform::IsLinkAt(set + L"\\app\\Instalace"));
  OpenOnMedium({EngineStub()});
  SetFolders(Work() + L"\\App", Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  // The folders page refuses it (FoldersPageTest); here it is chosen after
  // that page, as ground that changed in between: the run's own check.
  Form().SetText(L"txtVantorPro", set + L"\\app");
  StartInstall();
  ExpectFatal(boxes, L"Složka \"" + set + L"\\app\\Instalace\" již existuje a instalační " +
                         L"program ji nevytvořil!\rOdstraňte ji, nebo zvolte pro součást " +
                         L"\"VantorPro\" jinou složku." + kEnds);
  EXPECT_TRUE(platform::FileExists(set + L"\\target\\keep.txt"));
  EXPECT_TRUE(platform::FileExists(set + L"\\target\\sub\\inner.txt"));
  EXPECT_FALSE(platform::FileExists(set + L"\\target\\VantorPro.exe"));
  EXPECT_FALSE(platform::FolderExists(set + L"\\target\\Utility"));
}

TEST_F(FailureTest, C_ProjectsFolderBelowAFile) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  testutil::WriteFile(Work() + L"\\soubor.txt", "in the way");
  const std::wstring app = Work() + L"\\App", projects = Work() + L"\\soubor.txt\\Projekty";
  SetFolders(app, projects, Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ExpectFatal(boxes, L"Složku \"" + projects + L" nelze vytvořit!\"" + kEnds);
  // Step 9 ran, and went back with the rest: the run made the folder.
  EXPECT_FALSE(platform::FolderExists(app));
  EXPECT_FALSE(platform::FolderExists(Work() + L"\\Vzory"));
  EXPECT_FALSE(platform::FolderExists(Programs() + L"\\VantorPro"));
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), std::nullopt);
}

TEST_F(FailureTest, C_TemplatesFolderBelowAFile) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  testutil::WriteFile(Work() + L"\\soubor.txt", "in the way");
  const std::wstring templates = Work() + L"\\soubor.txt\\Vzory";
  SetFolders(Work() + L"\\App", Work() + L"\\Projekty", templates);
  ToSummary();
  StartInstall();
  ExpectFatal(boxes, L"Složku \"" + templates + L" nelze vytvořit!\"" + kEnds);
  EXPECT_FALSE(platform::FolderExists(Work() + L"\\Projekty"));  // made, then rolled back
  EXPECT_FALSE(platform::FolderExists(Programs() + L"\\VantorPro"));
}

TEST_F(FailureTest, D_ShellLinkObjectUnobtainableIsReportedAndTheRunGoesOn) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", L"100");
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  {
    // The shell link class cannot be read from the registry: no object.
    LockedKey noShellLink(HKEY_CLASSES_ROOT, kShellLinkClass, 0, L"D:P");
    ASSERT_TRUE(noShellLink.Locked());
    StartInstall();
  }
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].text, L"Startovací nabídku se nepodařilo zaktualizovat!");
  EXPECT_EQ(boxes.Asked()[0].caption, kTitle);
  EXPECT_EQ(boxes.Asked()[0].flags, static_cast<unsigned>(MB_OK | MB_ICONERROR));
  EXPECT_TRUE(platform::FolderExists(Programs() + L"\\VantorPro"));
  EXPECT_FALSE(platform::FileExists(Programs() + L"\\VantorPro\\VantorPro.lnk"));
  // Not fatal: the registry and the engine steps ran, the poll waits.
  EXPECT_FALSE(platform::Terminated());
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), L"Jan Novák");
  EXPECT_TRUE(Form().TimerEnabled());
  ASSERT_TRUE(WaitForFinishPage());
  EXPECT_EQ(boxes.Asked().size(), 1u);
}

TEST_F(FailureTest, E_RegistryKeyThatCannotBeWritten) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  wiztest::SetString(HKEY_LOCAL_MACHINE, kVantorKey, L"Name", L"earlier");
  WriteFlag();
  ToSummary();
  {
    LockedKey readOnly(HKEY_LOCAL_MACHINE, kVantorKey, KEY_WOW64_32KEY, L"D:P(A;;KR;;;WD)");
    ASSERT_TRUE(readOnly.Locked());
    StartInstall();
    ExpectFatal(boxes, std::wstring(L"Při zápisu do registru došlo k chybě!") + kEnds);
  }
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), L"earlier");
  // The engine step did not run: the old flag stays, no setup started.
  EXPECT_TRUE(FlagExists());
  EXPECT_FALSE(platform::FileExists(app + L"\\Instalace\\Utility\\Bde\\Setup.exe.ran"));
  // The shortcuts were staged only: none is left.
  EXPECT_FALSE(platform::FolderExists(Programs() + L"\\VantorPro"));
}

// The archive must hold the engine's setup program (the unpacking refuses it
// otherwise); one that is no program at all cannot be started.
TEST_F(FailureTest, F_EngineSetupProgramThatCannotStart) {
  Boxes boxes;
  const std::wstring notAProgram = Work() + L"\\NotAProgram.exe";
  testutil::WriteFile(notAProgram, "no program, only text");
  OpenOnMedium({notAProgram});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  WriteFlag();
  ToSummary();
  StartInstall();
  ExpectFatal(boxes, std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kEnds);
  // After the message the rollback shows what it does on the same line.
  EXPECT_EQ(Form().Text(L"lblCopyFile"), L"Vracím provedené změny");
  // Committed, then rolled back: the values, the files and the old flag are
  // as they were.
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Name"), std::nullopt);
  EXPECT_FALSE(platform::FolderExists(app));
  EXPECT_TRUE(FlagExists());
}

// The window closed while the run copies, and the run then ends fatally:
// its message still shows before the program ends, and the PC goes back.
TEST_F(FailureTest, F_AfterTheWindowWasClosedStillShowsItsMessage) {
  Boxes boxes(
      [](const testutil::AskedBox& box) { return box.text == kCloseQuestion ? IDYES : IDOK; });
  const std::wstring notAProgram = Work() + L"\\NotAProgram.exe";
  testutil::WriteFile(notAProgram, "no program, only text");
  OpenOnMedium({notAProgram, 20});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  WhenStatus closing(Form(), L"Kopíruji", [this] { Form().Close(); });
  StartInstall();
  EXPECT_TRUE(closing.Fired());
  EXPECT_TRUE(platform::Terminated());
  EXPECT_EQ(boxes.Texts(),
            (std::vector<std::wstring>{
                kCloseQuestion, std::wstring(L"Ovladač BDE se nepodařilo nainstalovat!") + kEnds}));
  EXPECT_FALSE(platform::FolderExists(app));
}

}  // namespace
}  // namespace installtest
