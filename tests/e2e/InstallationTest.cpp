// The built wizard installing from the demo medium, driven as a person would
// drive it; afterwards everything it should have left behind is checked from
// outside against the payload the medium was packed from.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include <map>
#include <set>

#include "platform/Platform.h"
#include "tests/e2e/Config.h"
#include "tests/e2e/Installing.h"
#include "tests/e2e/Wizard.h"
#include "tests/support/TestUtil.h"
#include "wizard/ControlIds.h"

namespace e2e {

namespace {

const wchar_t kQuor[] = L"Software\\Quor";
const wchar_t kVantor[] = L"Software\\Quor\\Vantor";
const wchar_t kFlag[] = L"Vantor_BDE_Inst_OK";

}  // namespace

std::wstring ProgramsFolder() {
  platform::Registry r;
  r.SetRootKey(HKEY_CURRENT_USER);
  r.OpenKey(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  return r.ReadString(L"Programs");
}

std::map<std::wstring, std::string> Tree(const std::wstring& root, bool deep,
                                         const std::wstring& prefix) {
  std::map<std::wstring, std::string> tree;
  platform::FolderListing list(root);
  platform::DirEntry e;
  while (list.Next(e)) {
    if (e.name == L"." || e.name == L"..") continue;
    if (e.IsFolder()) {
      tree[prefix + e.name + L"\\"] = {};
      if (deep) tree.merge(Tree(root + L"\\" + e.name, true, prefix + e.name + L"\\"));
    } else {
      tree[prefix + e.name] = testutil::ReadFile(root + L"\\" + e.name);
    }
  }
  return tree;
}

std::map<std::wstring, std::string> FilesOnly(std::map<std::wstring, std::string> tree) {
  std::erase_if(tree, [](const auto& item) { return item.first.back() == L'\\'; });
  return tree;
}

namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

void Pause() {
  if (TheConfig().pauseMs) Sleep(TheConfig().pauseMs);
}

}  // namespace

void RemoveRegistration() {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVantor, KEY_WOW64_32KEY, 0);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kUninstallEntry, KEY_WOW64_32KEY, 0);
  platform::UniqueHkey key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kQuor, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, key.put()) ==
      ERROR_SUCCESS)
    RegDeleteValueW(key.get(), kFlag);
}

// Folders and the group are typed only when they differ from what the wizard
// offers.
void DriveToSummary(Wizard& w, const Choices& c) {
  w.WaitForPage(0);
  EXPECT_EQ(WindowText(w.Window()), kTitle);
  EXPECT_FALSE(IsWindowEnabled(w.Control(ids::pbPrev)));
  w.Shot(L"uvod");
  Pause();
  w.Next();

  w.WaitForPage(1);
  w.Type(ids::txtName, c.name);
  w.Type(ids::txtCompany, c.company);
  w.Shot(L"uzivatel");
  Pause();
  w.Next();

  w.WaitForPage(2);
  EXPECT_EQ(w.Text(ids::txtVantorPro), L"C:\\Vantor");
  EXPECT_EQ(w.Text(ids::txtProjekty), L"C:\\Vantor\\Projekty");
  EXPECT_EQ(w.Text(ids::txtVzory), L"C:\\Vantor\\Vzory");
  // The examples row is hidden: the person cannot change it.
  EXPECT_FALSE(Shown(w.Control(ids::txtPriklady)));
  EXPECT_EQ(w.Text(ids::txtPriklady), c.examples);
  if (w.Text(ids::txtVantorPro) != c.app) w.Type(ids::txtVantorPro, c.app);
  if (w.Text(ids::txtProjekty) != c.projects) w.Type(ids::txtProjekty, c.projects);
  if (w.Text(ids::txtVzory) != c.templates) w.Type(ids::txtVzory, c.templates);
  w.Shot(L"slozky");
  Pause();
  w.Next();

  w.WaitForPage(3);
  EXPECT_EQ(w.Text(ids::txtFolderName), L"VantorPro");
  if (w.Text(ids::txtFolderName) != c.group) w.Type(ids::txtFolderName, c.group);
  w.Shot(L"nabidka");
  Pause();
  w.Next();

  w.WaitForPage(4);
  const std::wstring summary = w.Text(ids::memSettings);
  EXPECT_NE(summary.find(L"    VantorPro:\t" + c.app), std::wstring::npos) << Narrow(summary);
  EXPECT_NE(summary.find(L"\\" + c.group), std::wstring::npos) << Narrow(summary);
  EXPECT_NE(summary.find(L"    Jméno:\t\t" + c.name), std::wstring::npos) << Narrow(summary);
  w.Shot(L"souhrn");
  Pause();
}

void Finish(Wizard& w) {
  w.WaitForFinishPage();
  EXPECT_FALSE(Shown(w.Control(ids::pbPrev)));
  EXPECT_FALSE(Shown(w.Control(ids::pbCancel)));
  EXPECT_FALSE(Shown(w.Control(ids::rbRestartAno)));
  w.Shot(L"hotovo");
  Pause();
  w.Press(ids::pbNext);
  ASSERT_TRUE(w.WaitForExit()) << "the wizard did not end after \"&Dokončit\"";
  const DWORD code = w.Program().ExitCode();
  EXPECT_NE(code & 0xC0000000u, 0xC0000000u)
      << "the wizard crashed: exit code " << std::hex << code;
}

void ExpectInstalled(const Choices& c, bool examplesExistedBefore, const std::wstring& payload) {
  // Application folder: every top-level file of the archive and the
  // uninstaller, and besides the component folders placed inside it nothing
  // else: neither the examples, the manual, the utilities nor the work folder.
  auto installed = FilesOnly(Tree(c.app, false));
  EXPECT_EQ(installed.erase(kUninstaller), 1u) << "no uninstaller in the application folder";
  EXPECT_EQ(installed, FilesOnly(Tree(payload, false)));
  std::set<std::wstring> folders;
  for (const auto& [name, content] : Tree(c.app, false))
    if (name.back() == L'\\') folders.insert(name);
  EXPECT_EQ(folders, (std::set<std::wstring>{L"Projekty\\", L"Vzory\\"}));
  EXPECT_FALSE(platform::FolderExists(c.app + L"\\Instalace")) << "the work folder is left";

  EXPECT_EQ(Tree(c.templates, true), Tree(payload + L"\\Vzory", true));
  EXPECT_TRUE(platform::FolderExists(c.projects));
  EXPECT_TRUE(Tree(c.projects, true).empty());
  if (!examplesExistedBefore) {
    EXPECT_FALSE(platform::FolderExists(c.examples));
  }

  const std::wstring group = ProgramsFolder() + L"\\" + c.group;
  struct Link {
    std::wstring file, target, description;
  };
  for (const Link& link :
       {Link{L"VantorPro.lnk", L"VantorPro.exe", L"VantorPro"},
        Link{L"Nápověda VantorPro.lnk", L"VantorPro.hlp", L"Nápověda VantorPro"}}) {
    platform::ShortcutInfo info;
    ASSERT_TRUE(platform::ReadShortcut(group + L"\\" + link.file, info))
        << "no shortcut " << Narrow(group + L"\\" + link.file);
    EXPECT_TRUE(SamePath(info.path, c.app + L"\\" + link.target)) << Narrow(info.path);
    EXPECT_TRUE(SamePath(info.workingDirectory, c.app + L"\\")) << Narrow(info.workingDirectory);
    EXPECT_EQ(info.description, link.description);
    EXPECT_EQ(info.arguments, L"");
  }

  platform::Registry r;
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  r.OpenKey(kVantor);
  const std::pair<const wchar_t*, std::wstring> values[] = {{L"Name", c.name},
                                                            {L"Company", c.company},
                                                            {L"LastOpen", c.projects},
                                                            {L"Vzory", c.templates},
                                                            {L"Priklady", c.examples}};
  for (const auto& [name, data] : values) {
    EXPECT_TRUE(r.ValueExists(name)) << "missing value " << Narrow(name);
    EXPECT_EQ(r.ReadString(name), data) << Narrow(name);
  }
  r.OpenKey(kQuor);
  EXPECT_FALSE(r.ValueExists(kFlag)) << "the completion flag is left behind";
}

namespace {

class Installation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TheConfig().medium.empty()) << "--medium= missing";
    ASSERT_FALSE(TheConfig().payload.empty()) << "--payload= missing";
    ASSERT_TRUE(platform::FileExists(TheConfig().medium + L"\\SetupVantor.exe"));
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    root_ = L"C:\\e2e-" + id;
    c_.app = root_ + L"\\Vantor";
    c_.projects = c_.app + L"\\Projekty";
    c_.templates = c_.app + L"\\Vzory";
    c_.examples = L"C:\\Vantor\\Priklady";
    c_.group = L"VantorPro e2e " + id;
    c_.name = L"Jan Zkoušek";
    c_.company = L"Zkušební s.r.o.";
    testutil::RemoveTree(root_);
    RemoveRegistration();
    examplesExisted_ = platform::FolderExists(c_.examples);
  }
  void TearDown() override {
    testutil::RemoveTree(root_);
    testutil::RemoveTree(ProgramsFolder() + L"\\" + c_.group);
    RemoveRegistration();
    SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", nullptr);
  }

  std::wstring root_;
  Choices c_;
  bool examplesExisted_ = false;
};

}  // namespace

void AnswerQuestion(Wizard& w, const std::wstring& text, const wchar_t* shot, int answer) {
  MessageBoxWindow box = w.WaitForQuestion();
  EXPECT_EQ(box.caption, kTitle);
  EXPECT_EQ(box.text, text);
  EXPECT_TRUE(box.HasButton(IDYES) && box.HasButton(IDNO));
  Shot(shot, nullptr);
  Answer(box, answer);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box.window); }, 10000));
}

TEST_F(Installation, InstallsTheApplicationFromTheMedium) {
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"1500");
  Drive([&] {
    Wizard w(TheConfig().medium);
    DriveToSummary(w, c_);
    w.Next();
    w.WaitForPage(5);
    // The page shows a moment before the work begins and hides the bar.
    EXPECT_TRUE(WaitUntil([&] { return !Shown(w.Control(ids::pbNext)); }, 5000))
        << "the bottom bar must hide while installing";
    w.Shot(L"kopirovani");
    Finish(w);
  });
  if (HasFatalFailure()) return;
  ExpectInstalled(c_, examplesExisted_);
}

TEST_F(Installation, AbortDeclinedCloseThenSecondRunCompletes) {
  // The engine's setup works long enough for the person to abort while the
  // wizard waits for it, and to start again before it reports.
  SetEnvironmentVariableW(L"VANTOR_BDE_SETUP_MS", L"10000");
  Drive([&] {
    Wizard w(TheConfig().medium);
    DriveToSummary(w, c_);
    w.Next();
    w.WaitForEngineSetup();
    w.Shot(L"ceka-na-bde");
    w.Press(ids::pbPrerusit);

    AnswerQuestion(w, kAbortQuestion, L"preruseni", IDYES);
    if (HasFatalFailure()) return;
    AnswerQuestion(w, kCloseQuestion, L"ukoncit", IDNO);
    if (HasFatalFailure()) return;

    // Back on the summary, with the bottom buttons, the program still running.
    w.WaitForPage(4);
    EXPECT_TRUE(Shown(w.Control(ids::pbCancel)));
    EXPECT_NE(w.Text(ids::memSettings).find(c_.app), std::wstring::npos);
    w.Shot(L"souhrn-po-preruseni");
    w.Next();
    w.WaitForPage(5);
    Finish(w);
  });
  if (HasFatalFailure()) return;
  ExpectInstalled(c_, examplesExisted_);
}

// The medium's archive swapped for another (here the same archive one byte
// longer): the wizard, stamped with the digest of its own, says so and
// writes nothing.
TEST_F(Installation, AnArchiveSwappedOnTheMediumIsRefused) {
  testutil::TempDir medium;
  for (const wchar_t* name : {L"\\SetupVantor.exe", L"\\Vaninst.pak"})
    ASSERT_TRUE(
        CopyFileW((TheConfig().medium + name).c_str(), (medium.Path() + name).c_str(), FALSE));
  {
    std::ofstream archive(platform::Utf8(medium.Path() + L"\\Vaninst.pak"),
                          std::ios::binary | std::ios::app);
    archive.put('\0');
  }
  Drive([&] {
    Wizard w(medium.Path());
    DriveToSummary(w, c_);
    w.Next();
    std::optional<MessageBoxWindow> box;
    ASSERT_TRUE(
        WaitUntil([&] { return (box = FindMessageBox(w.Program().Id())).has_value(); }, 20000));
    EXPECT_EQ(box->caption, kTitle);
    EXPECT_NE(box->text.find(L"Soubor \"" + medium.Path() +
                             L"\\Vaninst.pak\" nepatří k tomuto instalačnímu programu"),
              std::wstring::npos)
        << Narrow(box->text);
    Answer(*box, IDOK);
    EXPECT_TRUE(w.WaitForExit());
  });
  EXPECT_FALSE(platform::FolderExists(root_));
}

// make demo: the wizard installing with its own defaults, slowly enough to be
// watched, then the installed application started from its shortcut target,
// then removed again through the list of installed apps.
TEST(Demo, DISABLED_InstallsWithDefaults) {
  Choices c{L"C:\\Vantor", L"C:\\Vantor\\Projekty", L"C:\\Vantor\\Vzory", L"C:\\Vantor\\Priklady",
            L"VantorPro",  L"Jan Zkoušek",          L"Zkušební s.r.o."};
  testutil::RemoveTree(c.app);
  RemoveRegistration();
  Drive([&] {
    Wizard w(TheConfig().medium);
    DriveToSummary(w, c);
    w.Next();
    w.WaitForPage(5);
    Sleep(700);
    w.Shot(L"kopirovani");
    Finish(w);
  });
  if (HasFatalFailure()) return;
  ExpectInstalled(c, false);
  Drive([&] {
    Process app(c.app + L"\\VantorPro.exe", L"", c.app);
    HWND window = nullptr;
    ASSERT_TRUE(
        WaitUntil([&] { return (window = FindTopWindow(app.Id(), L"TfrmVantorPro")); }, 15000));
    EXPECT_EQ(WindowText(FindControl(window, 101)), c.name);
    Shot(L"vantorpro", window);
    Pause();
    Pause();
    PostMessageW(window, WM_CLOSE, 0, 0);
    app.WaitForExit(10000);
  });
  if (HasFatalFailure()) return;
  // The way back, as Windows' list of installed apps offers it.
  EXPECT_NE(RunForOutput(L"uninstaller.exe --list").find("|||VantorPro V1.3"), std::string::npos);
  Drive([&] {
    const std::wstring said = UninstallFromList(L"odinstalace");
    EXPECT_EQ(said.find(L"zůstaly zachovány"), std::wstring::npos) << Narrow(said);
  });
  EXPECT_EQ(RunForOutput(L"uninstaller.exe --list").find("VantorPro"), std::string::npos);
  EXPECT_FALSE(platform::FolderExists(c.app)) << "the application folder is left";
}

}  // namespace e2e
