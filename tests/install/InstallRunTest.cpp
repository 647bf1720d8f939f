// Whole installations from the first page to "&Dokončit" on media made here:
// what lands on disk, in the Start menu and in the registry, the summary, the
// completion poll, and the unusual folder texts.
#include "tests/install/InstallFixture.h"

#include "install/Engine.h"
#include "platform/Crc32.h"
#include "platform/HeldFolder.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

namespace installtest {
namespace {

using testutil::IsEmptyFolder;
using testutil::Names;
using testutil::ReadFile;

std::vector<std::wstring> Lines(const std::wstring& text) {
  std::vector<std::wstring> lines;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find(L"\r\n", start);
    lines.push_back(text.substr(start, end == std::wstring::npos ? end : end - start));
    if (end == std::wstring::npos) return lines;
    start = end + 2;
  }
}

std::wstring Joined(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? L"\r\n" : L"") + lines[i];
  return text;
}

// The command line the engine stub was started with, "" when it did not run.
std::string StubCommandLine(const std::wstring& stub) {
  const std::string raw = ReadFile(stub + L".ran");
  return platform::Utf8(
      std::wstring(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / sizeof(wchar_t)));
}

TEST_F(InstallTest, CompleteRunInstallsEverythingAndTheFinishRemovesTheUnpackFolder) {
  Boxes boxes;
  TfrmSetup& form = OpenOnMedium({RealEngineSetup()});
  const std::wstring app = Work() + L"\\Vantor Pro";
  const std::wstring projects = Work() + L"\\Data\\Projekty";
  const std::wstring templates = Work() + L"\\Šablony\\Vzory";
  const std::wstring examples = Work() + L"\\Priklady";
  // Where an unquoted engine path would start another program first.
  ASSERT_TRUE(CopyFileW(EngineStub().c_str(), (Work() + L"\\Vantor.exe").c_str(), FALSE));
  SetFolders(app, projects, templates);
  form.SetText(L"txtPriklady", examples);
  form.SetText(L"txtFolderName", L"VantorPro Demo");

  ToSummary();
  StartInstall();

  // Back from the sequence: waiting for the engine's setup program.
  EXPECT_EQ(form.ShownPageName(), L"pgCopyFiles");
  EXPECT_EQ(form.CurrentPage, 5);
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Konfiguruji BDE");
  EXPECT_FALSE(form.Showing(L"pnlBottom"));
  EXPECT_TRUE(form.Showing(L"pbPrerusit"));
  EXPECT_TRUE(form.TimerEnabled());
  EXPECT_FALSE(::AbortRequested);
  EXPECT_EQ(platform::AppCursor(), platform::Cursor::Default);
  EXPECT_EQ(form.SourceDir, app + L"\\Instalace");
  // 7 counted files + 8; six stages and the five files copied.
  EXPECT_EQ(payload_.Counted(), 7);
  EXPECT_EQ(ProgressMax(), 15);
  EXPECT_EQ(ProgressPos(), 11);

  // The application folder: the top-level files and the uninstaller.
  EXPECT_EQ(Names(app), (std::vector<std::wstring>{L"Ctimne.txt", L"Instalace", L"Odinstalovat.exe",
                                                   L"VantorPro.exe", L"VantorPro.hlp"}));
  EXPECT_EQ(ReadFile(app + L"\\VantorPro.exe"), "the program");
  EXPECT_EQ(ReadFile(app + L"\\VantorPro.hlp"), "the help file");
  EXPECT_EQ(ReadFile(app + L"\\Ctimne.txt"), "read me");
  EXPECT_EQ(ReadFile(templates + L"\\Faktura.vzr"), "invoice");
  EXPECT_EQ(ReadFile(templates + L"\\Dopisy\\Dopis.vzr"), "letter");
  EXPECT_TRUE(IsEmptyFolder(projects));
  EXPECT_FALSE(platform::FolderExists(examples));
  EXPECT_TRUE(platform::FileExists(form.SourceDir + L"\\Utility\\Bde\\Setup.exe"));

  const std::wstring group = Programs() + L"\\VantorPro Demo";
  platform::ShortcutInfo link;
  ASSERT_TRUE(platform::ReadShortcut(group + L"\\VantorPro.lnk", link));
  EXPECT_EQ(link.path, app + L"\\VantorPro.exe");
  EXPECT_EQ(link.arguments, L"");
  EXPECT_EQ(link.workingDirectory, app + L"\\");
  EXPECT_EQ(link.description, L"VantorPro");
  ASSERT_TRUE(platform::ReadShortcut(group + L"\\Nápověda VantorPro.lnk", link));
  EXPECT_EQ(link.path, app + L"\\VantorPro.hlp");
  EXPECT_EQ(link.arguments, L"");
  EXPECT_EQ(link.workingDirectory, app + L"\\");
  EXPECT_EQ(link.description, L"Nápověda VantorPro");

  const std::pair<const wchar_t*, std::wstring> values[] = {
      {L"Name", L"Jan Novák"}, {L"Company", L"Kůň a spol."}, {L"LastOpen", projects},
      {L"Vzory", templates},   {L"Priklady", examples},
  };
  for (const auto& [name, expected] : values) {
    DWORD bytes = 0;
    EXPECT_EQ(ReadMachineString(kVantorKey, name, &bytes), expected) << platform::Utf8(name);
    EXPECT_EQ(bytes, (expected.size() + 1) * sizeof(wchar_t)) << platform::Utf8(name);
  }

  // The entry in the list of installed apps, beside them.
  const std::pair<const wchar_t*, std::wstring> entry[] = {
      {L"DisplayName", L"VantorPro V1.3"},
      {L"DisplayVersion", L"1.3"},
      {L"Publisher", L"Quor"},
      {L"InstallLocation", app},
      {L"DisplayIcon", app + L"\\VantorPro.exe"},
      {L"UninstallString", L"\"" + app + L"\\Odinstalovat.exe\""},
  };
  for (const auto& [name, expected] : entry)
    EXPECT_EQ(ReadMachineString(kUninstallKey, name), expected) << platform::Utf8(name);
  for (const wchar_t* name : {L"NoModify", L"NoRepair", L"EstimatedSize"}) {
    DWORD value = 0, size = sizeof value;
    EXPECT_EQ(
        RegGetValueW(HKEY_LOCAL_MACHINE, kUninstallKey, name,
                     RRF_RT_REG_DWORD | 0x20000 /* the 32-bit view */, nullptr, &value, &size),
        ERROR_SUCCESS)
        << platform::Utf8(name);
    EXPECT_GE(value, 1u) << platform::Utf8(name);
  }
  EXPECT_EQ(ReadMachineString(kUninstallKey, L"InstallDate").value_or(L"").size(), 8u);

  // The stand-in finishes; the poll moves on by itself.
  ASSERT_TRUE(WaitForFinishPage());
  EXPECT_FALSE(FlagExists());
  EXPECT_FALSE(form.TimerEnabled());
  EXPECT_EQ(form.CurrentPage, 6);
  EXPECT_TRUE(form.Showing(L"pbNext"));
  EXPECT_EQ(form.Text(L"pbNext"), L"&Dokončit");
  EXPECT_FALSE(form.Showing(L"pbPrev"));
  EXPECT_FALSE(form.Showing(L"pbCancel"));
  EXPECT_FALSE(platform::FileExists(Work() + L"\\Vantor.exe.ran"));

  ASSERT_TRUE(WaitForEngineToEnd());
  Click(L"pbNext");
  ExpectFinished(app + L"\\Instalace");
  EXPECT_TRUE(platform::FileExists(app + L"\\VantorPro.exe"));
  EXPECT_TRUE(platform::Terminated());
  EXPECT_TRUE(boxes.Asked().empty());
}

// What is left for the next restart: the system's list of pending removals.
std::wstring PendingRemovals() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                    KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return {};
  const platform::UniqueHkey owned(key);
  std::vector<wchar_t> data(1 << 16);
  DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS)
    return {};
  std::wstring all(data.data(), bytes / sizeof(wchar_t));
  std::replace(all.begin(), all.end(), L'\0', L'|');
  return platform::AsciiUpper(all);
}

void ForgetPendingRemovals() {
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager",
                     L"PendingFileRenameOperations");
}

// The engine's setup reports and stays open (a last dialog nobody closes):
// "&Dokončit" still ends the wizard, the window answering meanwhile; the
// archive's entries go, and the engine's own file, in use, goes at the next
// start.
TEST_F(InstallTest, TheFinishEndsWhileTheEngineStaysOpen) {
  Boxes boxes;
  ForgetPendingRemovals();
  const platform::UniqueHandle linger(CreateEventW(nullptr, TRUE, FALSE, L"SvEngineStubLinger"));
  ASSERT_TRUE(linger);
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", L"100");
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ASSERT_TRUE(WaitForFinishPage());
  ASSERT_TRUE(form.Session().Engine());
  platform::UniqueHandle engine;
  {
    HANDLE copy = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), form.Session().Engine(), GetCurrentProcess(),
                                &copy, SYNCHRONIZE, FALSE, 0));
    engine.reset(copy);
  }
  // The stub's trace is not the archive's: the finish would rightly keep it.
  DeleteFileW((app + L"\\Instalace\\Utility\\Bde\\Setup.exe.ran").c_str());

  // A probe from another thread, sent once the click is under way.
  std::atomic<bool> clicking = false, answered = false;
  std::thread probe([&] {
    while (!clicking) SwitchToThread();
    DWORD_PTR result = 0;
    answered = SendMessageTimeoutW(form.Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result) != 0;
  });
  clicking = true;
  Click(L"pbNext");
  probe.join();
  EXPECT_TRUE(answered);
  EXPECT_TRUE(platform::Terminated());
  EXPECT_EQ(WaitForSingleObject(engine.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_FALSE(platform::FileExists(app + L"\\Instalace\\VantorPro.exe"));
  EXPECT_FALSE(platform::FolderExists(app + L"\\Instalace\\Vzory"));
  // In use, it stays with its folders, for the next start that the journal
  // sends to it: nothing waits for a removal by path at the restart.
  EXPECT_TRUE(platform::FileExists(app + L"\\Instalace\\Utility\\Bde\\Setup.exe"));
  EXPECT_EQ(PendingRemovals().find(L"INSTALACE"), std::wstring::npos);
  const std::optional<install::Journal> journal = install::Journal::Load();
  ASSERT_TRUE(journal);
  EXPECT_EQ(journal->CurrentPhase(), install::Journal::Phase::Done);
  EXPECT_TRUE(boxes.Asked().empty());
  SetEvent(linger.get());
  EXPECT_EQ(WaitForSingleObject(engine.get(), 20000), static_cast<DWORD>(WAIT_OBJECT_0));
  install::RecoverUnfinishedRun();  // the next start
  EXPECT_FALSE(platform::FolderExists(app + L"\\Instalace"));
  EXPECT_TRUE(platform::FileExists(app + L"\\VantorPro.exe"));
  EXPECT_FALSE(install::Journal::Load());
}

TEST_F(InstallTest, SummaryExactAndRebuiltAfterGoingBack) {
  Boxes boxes;
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  form.SetText(L"txtName", L" Jan Novák ");  // as typed: nothing trimmed
  ToSummary();
  std::vector<std::wstring> expected = {
      L"Cílové složky součástí",
      L"    VantorPro:\tC:\\Vantor",
      L"    Projekty:\tC:\\Vantor\\Projekty",
      L"    Vzory:\t\tC:\\Vantor\\Vzory",
      L"    Příklady:\tC:\\Vantor\\Priklady",
      L"",
      L"",
      L"Umístění v nabídce START",
      L"    Programy\\VantorPro",
      L"",
      L"",
      L"Informace o uživateli",
      L"    Jméno:\t\t Jan Novák ",
      L"    Společnost:\tKůň a spol.",
  };
  EXPECT_EQ(form.Text(L"memSettings"), Joined(expected));
  EXPECT_EQ(Lines(form.Text(L"memSettings")).size(), 14u);

  Click(L"pbPrev");
  ASSERT_EQ(form.ShownPageName(), L"pgNabidka");
  form.SetText(L"txtFolderName", L"Účetnictví\\VantorPro");
  Click(L"pbNext");
  expected[8] = L"    Programy\\Účetnictví\\VantorPro";
  EXPECT_EQ(form.Text(L"memSettings"), Joined(expected));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(InstallTest, SummaryWithoutProgramsFolderAndCompany) {
  wiztest::SetString(HKEY_CURRENT_USER, wiztest::kShellFolders, L"Programs", L"");
  wiztest::SetString(HKEY_LOCAL_MACHINE, wiztest::kNtKey, L"RegisteredOrganization", L"");
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  // The shell knows the folder the registry does not name.
  ASSERT_TRUE(platform::FolderExists(form.ProgramsFolder));
  ToSummary();
  std::vector<std::wstring> lines = Lines(form.Text(L"memSettings"));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[8], L"    " + platform::ExtractFileName(form.ProgramsFolder) + L"\\VantorPro");
  // Where the shell knows none either, the summary says that no group comes.
  form.ProgramsFolder.clear();
  Click(L"pbPrev");
  Click(L"pbNext");
  lines = Lines(form.Text(L"memSettings"));
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[8], L"    Složku nabídky START nelze zjistit, skupina nebude vytvořena.");
  EXPECT_EQ(lines[13], L"    Společnost:\t");
  EXPECT_EQ(lines[12], L"    Jméno:\t\tJan Novák");
}

TEST_F(InstallTest, PollEndsWithinOneIntervalAndALeftoverFlagDoesNotEndTheWait) {
  Boxes boxes;
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  const std::wstring app = Work() + L"\\App";
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  WriteFlag();  // left by an earlier installation
  ToSummary();
  StartInstall();
  ASSERT_EQ(form.ShownPage(), 5) << testing::PrintToString(boxes.Texts());
  EXPECT_FALSE(FlagExists());
  EXPECT_TRUE(form.TimerEnabled());
  const std::wstring stub = app + L"\\Instalace\\Utility\\Bde\\Setup.exe";
  EXPECT_TRUE(PumpUntil([&] { return platform::FileExists(stub + L".ran"); }, 10000));

  // The engine's setup never reports: the wizard keeps waiting.
  PollTicks ticks(form);
  ASSERT_TRUE(ticks.WaitFor(2));
  EXPECT_EQ(form.ShownPage(), 5);
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"Konfiguruji BDE");
  EXPECT_TRUE(form.TimerEnabled());

  WriteFlag();
  const int before = ticks.Count();
  ASSERT_TRUE(WaitForFinishPage());
  // Within one interval: the first tick after the flag was written took it.
  EXPECT_EQ(ticks.Count() - before, 1);
  EXPECT_FALSE(FlagExists());
  EXPECT_EQ(form.Text(L"pbNext"), L"&Dokončit");
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(InstallTest, ApplicationFolderAtADriveRoot) {
  Boxes boxes;
  const std::wstring disk = Work() + L"\\Disk";
  testutil::MakeDirs(disk);
  MappedDrive drive(disk);
  ASSERT_TRUE(drive.Mapped()) << "no drive letter could be mapped";
  const std::wstring root = drive.Root();  // e.g. R:\ .
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", L"100");
  SetFolders(root, root + L"Projekty", root + L"Vzory");
  form.SetText(L"txtPriklady", root + L"Priklady");
  ToSummary();
  StartInstall();
  ASSERT_EQ(form.ShownPage(), 5) << testing::PrintToString(boxes.Texts());
  EXPECT_EQ(form.Text(L"txtVantorPro"), root);  // the root keeps its backslash
  EXPECT_EQ(form.SourceDir, root + L"\\Instalace");
  EXPECT_EQ(ReadFile(disk + L"\\VantorPro.exe"), "the program");
  EXPECT_EQ(ReadFile(disk + L"\\Vzory\\Faktura.vzr"), "invoice");
  EXPECT_TRUE(platform::FolderExists(disk + L"\\Projekty"));
  EXPECT_EQ(ReadMachineString(kVantorKey, L"LastOpen"), root + L"Projekty");

  platform::ShortcutInfo link;
  ASSERT_TRUE(platform::ReadShortcut(Programs() + L"\\VantorPro\\VantorPro.lnk", link));
  // The doubled backslash is the platform's to accept: the target is the
  // installed program.
  wchar_t full[MAX_PATH] = {};
  GetFullPathNameW(link.path.c_str(), MAX_PATH, full, nullptr);
  EXPECT_EQ(std::wstring(full), root + L"VantorPro.exe") << platform::Utf8(link.path);
  EXPECT_TRUE(platform::FileExists(link.path));

  // The engine setup program was started from the unpack folder, quoted.
  const std::wstring stub = disk + L"\\Instalace\\Utility\\Bde\\Setup.exe";
  ASSERT_TRUE(WaitForFinishPage());
  std::string quoted = "\"";
  quoted += platform::Utf8(root);
  quoted += "\\Instalace\\Utility\\Bde\\Setup.exe\"";
  EXPECT_EQ(StubCommandLine(stub), quoted);
  // The stand-in's trace is not the archive's: the finish would leave it.
  DeleteFileW((stub + L".ran").c_str());
  Click(L"pbNext");
  ExpectFinished(disk + L"\\Instalace");
  EXPECT_TRUE(platform::FileExists(disk + L"\\VantorPro.exe"));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(InstallTest, FolderTextsWithTwoTrailingBackslashesLoseOne) {
  Boxes boxes;
  TfrmSetup& form = OpenOnMedium({EngineStub()});
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", L"100");
  const std::wstring app = Work() + L"\\App", projects = Work() + L"\\Proj",
                     templates = Work() + L"\\Vz", examples = Work() + L"\\Pr";
  SetFolders(app + L"\\\\", projects + L"\\\\", templates + L"\\\\");
  form.SetText(L"txtPriklady", examples + L"\\\\");
  ToSummary();
  // The summary shows the texts as typed, before the installation trims them.
  EXPECT_EQ(Lines(form.Text(L"memSettings"))[1], L"    VantorPro:\t" + app + L"\\\\");
  StartInstall();
  ASSERT_EQ(form.ShownPage(), 5) << testing::PrintToString(boxes.Texts());
  EXPECT_EQ(form.Text(L"txtVantorPro"), app + L"\\");
  EXPECT_EQ(form.Text(L"txtProjekty"), projects + L"\\");
  EXPECT_EQ(form.Text(L"txtVzory"), templates + L"\\");
  EXPECT_EQ(form.Text(L"txtPriklady"), examples + L"\\");
  EXPECT_EQ(form.SourceDir, app + L"\\\\Instalace");
  EXPECT_EQ(ReadFile(app + L"\\VantorPro.hlp"), "the help file");
  EXPECT_EQ(ReadFile(templates + L"\\Dopisy\\Dopis.vzr"), "letter");
  EXPECT_TRUE(platform::FolderExists(projects));
  EXPECT_EQ(ReadMachineString(kVantorKey, L"LastOpen"), projects + L"\\");
  EXPECT_EQ(ReadMachineString(kVantorKey, L"Priklady"), examples + L"\\");
  ASSERT_TRUE(WaitForFinishPage()) << testing::PrintToString(boxes.Texts());
  // The stand-in's trace is not the archive's: the finish would leave it.
  DeleteFileW((app + L"\\Instalace\\Utility\\Bde\\Setup.exe.ran").c_str());
  // Its folder is never removed while the engine's setup runs from it.
  ASSERT_EQ(WaitForSingleObject(form.Session().Engine(), 60000), WAIT_OBJECT_0);
  Click(L"pbNext");
  ExpectFinished(app + L"\\Instalace");
  EXPECT_TRUE(boxes.Asked().empty());
}

// The application folder swapped for a link while the finish page waits:
// "&Dokončit" removes through the work folder it holds, never through the
// link, and what the link leads to keeps its files of the archive's names.
TEST_F(InstallTest, TheFinishNeverRemovesThroughASwappedFolder) {
  Boxes boxes;
  OpenOnMedium({EngineStub()});
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", L"100");
  const std::wstring app = Work() + L"\\App", elsewhere = Work() + L"\\Jinde";
  testutil::MakeDirs(elsewhere + L"\\Instalace\\Utility\\Bde");
  testutil::WriteFile(elsewhere + L"\\Instalace\\VantorPro.exe", "theirs");
  testutil::WriteFile(elsewhere + L"\\Instalace\\Utility\\Bde\\Setup.exe", "theirs too");
  SetFolders(app, Work() + L"\\Projekty", Work() + L"\\Vzory");
  ToSummary();
  StartInstall();
  ASSERT_TRUE(WaitForFinishPage());
  ASSERT_TRUE(WaitForEngineToEnd());
  ASSERT_TRUE(testutil::SwapForLink(app, elsewhere));
  Click(L"pbNext");
  EXPECT_TRUE(platform::Terminated());
  EXPECT_EQ(ReadFile(elsewhere + L"\\Instalace\\VantorPro.exe"), "theirs");
  EXPECT_EQ(ReadFile(elsewhere + L"\\Instalace\\Utility\\Bde\\Setup.exe"), "theirs too");
  EXPECT_TRUE(platform::FolderExists(elsewhere + L"\\Instalace"));
  EXPECT_TRUE(boxes.Asked().empty());
  ForgetPendingRemovals();
}

// The name the system gives a folder's handle can lead nowhere: Wine renews
// its drive table once a second, and a folder made just after a letter went
// may get the number the letter's folder had. The engine's setup starts all
// the same. Where the system never names it so, there is nothing to show.
TEST(EngineStart, AFolderNamedOnALetterJustGoneStillStarts) {
  const auto nameOf = [](const std::wstring& folder) {
    const platform::UniqueFile file(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, 7, nullptr,
                                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                nullptr));
    wchar_t name[MAX_PATH * 2] = {};
    GetFinalPathNameByHandleW(file.get(), name, MAX_PATH * 2, VOLUME_NAME_DOS);
    return std::wstring(name);
  };
  SetEnvironmentVariableW(L"SV_STUB_FLAG_MS", nullptr);  // it reports nothing
  testutil::TempDir base;
  const std::string stub = ReadFile(EngineStub());
  const fileops::EntryFacts facts{stub.size(), platform::Crc32(stub.data(), stub.size())};
  bool seen = false;
  for (int attempt = 0; attempt < 20 && !seen; ++attempt) {
    const std::wstring gone = base / (L"gone" + std::to_wstring(attempt)),
                       now = base / (L"now" + std::to_wstring(attempt));
    testutil::MakeDirs(gone);
    std::wstring letter;
    {
      std::optional<MappedDrive> drive;
      // A letter just taken away elsewhere may still resolve here until the
      // drive table is read again.
      ASSERT_TRUE(PumpUntil(
          [&] {
            drive.reset();
            drive.emplace(gone);
            return drive->Mapped();
          },
          5000))
          << "no drive letter could be mapped";
      letter = L"\\\\?\\" + drive->Root();
      ASSERT_TRUE(PumpUntil([&] { return nameOf(gone).starts_with(letter); }, 5000));
    }
    ASSERT_TRUE(RemoveDirectoryW(gone.c_str()));
    testutil::MakeDirs(now);
    testutil::WriteFile(now + L"\\Setup.exe", stub);
    const platform::HeldFolder held = platform::HeldFolder::Open(now);
    ASSERT_TRUE(held);
    const std::wstring confirmed = held.ConfirmedPath();
    platform::UniqueHandle engine;
    const bool started = install::StartEngineSetup(held, facts, L"Setup", engine);
    // Named so after the start, it was named so during it: the table only
    // ever catches up.
    seen = nameOf(now).starts_with(letter);
    if (!seen) continue;
    EXPECT_EQ(confirmed, now);
    EXPECT_TRUE(started);
    if (started) WaitForSingleObject(engine.get(), 30000);
  }
  if (!seen) GTEST_SKIP() << "no folder was named on a letter just gone";
}

}  // namespace
}  // namespace installtest
