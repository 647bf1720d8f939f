// The way back: installations made through the wizard, then removed as
// Windows' list of installed apps removes them (Wine's own uninstaller starts
// the registered UninstallString), the uninstaller's questions answered as a
// person would. Afterwards the PC is compared with what it was before.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/Platform.h"
#include "tests/e2e/Config.h"
#include "tests/e2e/Installing.h"
#include "tests/support/TestUtil.h"
#include "wizard/ControlIds.h"

namespace e2e {

namespace {

const std::wstring kCaption = L"Odinstalace VantorPro";
const wchar_t kRecord[] = L"SetupRecord";

// How often Windows' list (as Wine's uninstaller prints it) names the product.
int Listed() {
  const std::string list = RunForOutput(L"uninstaller.exe --list");
  int count = 0;
  for (size_t at = 0; (at = list.find("|||VantorPro V1.3", at)) != std::string::npos; ++at) ++count;
  return count;
}

// Everything below HKEY_LOCAL_MACHINE\Software in the 32-bit view: key paths
// (ending in "\") and values with their type and data.
void DumpKey(HKEY parent, const std::wstring& path, std::map<std::wstring, std::string>& into) {
  platform::UniqueHkey key;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | KEY_WOW64_32KEY, key.put()) !=
      ERROR_SUCCESS)
    return;
  into[path + L"\\"] = {};
  std::vector<wchar_t> name(16384);
  std::vector<BYTE> data(1 << 20);
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size()), type = 0,
          size = static_cast<DWORD>(data.size());
    if (RegEnumValueW(key.get(), i, name.data(), &nameLength, nullptr, &type, data.data(), &size) !=
        ERROR_SUCCESS)
      break;
    into[path + L"\\" + name.data()] =
        std::to_string(type) + ":" + std::string(data.begin(), data.begin() + size);
  }
  std::vector<std::wstring> subKeys;
  for (DWORD i = 0;; ++i) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key.get(), i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS)
      break;
    subKeys.emplace_back(name.data());
  }
  for (const std::wstring& sub : subKeys) DumpKey(parent, path + L"\\" + sub, into);
}

// The temporary folders: the user's and Windows' own.
std::vector<std::wstring> TempFolders() {
  wchar_t temp[MAX_PATH] = {}, windows[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  return {std::wstring(temp, wcslen(temp) - 1), std::wstring(windows) + L"\\Temp"};
}

void AddTree(std::map<std::wstring, std::string>& into, const std::wstring& root) {
  for (auto& [name, content] : Tree(root, true)) into[root + L"\\" + name] = std::move(content);
}

}  // namespace

Snapshot Take(const std::vector<std::wstring>& roots) {
  Snapshot s;
  for (const std::wstring& root : roots) AddTree(s.files, root);
  AddTree(s.files, ProgramsFolder());
  for (const std::wstring& temp : TempFolders()) AddTree(s.files, temp);
  DumpKey(HKEY_LOCAL_MACHINE, L"Software", s.registry);
  return s;
}

std::vector<std::string> Differences(const std::map<std::wstring, std::string>& a,
                                     const std::map<std::wstring, std::string>& b) {
  std::vector<std::string> differ;
  for (const auto& [key, value] : a)
    if (!b.contains(key) || b.at(key) != value) differ.push_back("- " + Narrow(key));
  for (const auto& [key, value] : b)
    if (!a.contains(key)) differ.push_back("+ " + Narrow(key));
  return differ;
}

namespace {

void Install(const Choices& c) {
  Drive([&] {
    Wizard w(TheConfig().medium);
    DriveToSummary(w, c);
    w.Next();
    Finish(w);
  });
}

// The uninstaller's next box, of whichever process shows it.
MessageBoxWindow WaitForBox(HWND notThis = nullptr) {
  std::optional<MessageBoxWindow> box;
  if (!WaitUntil(
          [&] {
            box = FindMessageBoxTitled(kCaption);
            return box && box->window != notThis && !box->text.empty();
          },
          30000))
    throw DriveError(L"the uninstaller showed no message");
  return *box;
}

// Presses the box's button and waits for the end of the process that showed
// it, so that all it did is done.
void AnswerAndWaitForEnd(const MessageBoxWindow& box, int id) {
  DWORD pid = 0;
  GetWindowThreadProcessId(box.window, &pid);
  const platform::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  Answer(box, id);
  if (!process || WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0)
    throw DriveError(L"the uninstaller did not end");
}

}  // namespace

// As the list of installed apps does it: the question answered yes; the
// closing message's text is returned once the uninstaller has ended.
std::wstring UninstallFromList(const std::wstring& shotPrefix) {
  Process list(L"C:\\windows\\system32\\uninstaller.exe", L"--remove VantorPro", L"");
  const MessageBoxWindow question = WaitForBox();
  EXPECT_NE(
      question.text.find(L"Opravdu chcete z tohoto počítače odebrat aplikaci VantorPro V1.3?"),
      std::wstring::npos)
      << Narrow(question.text);
  EXPECT_TRUE(question.HasButton(IDYES) && question.HasButton(IDNO));
  if (!shotPrefix.empty()) Shot(shotPrefix + L"-dotaz", question.window);
  Answer(question, IDYES);
  const MessageBoxWindow done = WaitForBox(question.window);
  if (!shotPrefix.empty()) Shot(shotPrefix + L"-hotovo", done.window);
  AnswerAndWaitForEnd(done, IDOK);
  if (!list.WaitForExit(30000)) throw DriveError(L"Wine's uninstaller did not end");
  return done.text;
}

namespace {

class Uninstall : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(TheConfig().medium.empty()) << "--medium= missing";
    const std::wstring id = std::to_wstring(GetCurrentProcessId());
    root_ = L"C:\\e2e-uninstall-" + id;
    c_ = {root_ + L"\\Vantor",     root_ + L"\\Vantor\\Projekty",  root_ + L"\\Vantor\\Vzory",
          L"C:\\Vantor\\Priklady", L"VantorPro odinstalace " + id, L"Jan Zkoušek",
          L"Zkušební s.r.o."};
    testutil::RemoveTree(root_);
    RemoveRegistration();
    // As on Windows, where the list of installed apps always has its key:
    // in a fresh prefix the first installation would make it, and it stays.
    platform::UniqueHkey list;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", 0,
                              nullptr, 0, KEY_READ | KEY_WOW64_32KEY, nullptr, list.put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    testutil::RemoveTree(root_);
    testutil::RemoveTree(ProgramsFolder() + L"\\" + c_.group);
    RemoveRegistration();
  }

  std::wstring root_;
  Choices c_;
};

TEST_F(Uninstall, TwoInstallationsGoButThePersonsOwnFilesStay) {
  const Snapshot before = Take({root_});
  // A second installation over the first, with its templates elsewhere.
  Install(c_);
  Choices second = c_;
  second.templates = root_ + L"\\Vzory2";
  Install(second);
  if (HasFailure()) return;
  EXPECT_EQ(Listed(), 1);

  // The person's own work since: a changed template, a note beside the
  // program, a project.
  const std::map<std::wstring, std::string> own = {
      {c_.templates + L"\\Faktury\\Faktura.vzr", "moje faktura"},
      {c_.app + L"\\Poznámky.txt", "moje poznámky"},
      {c_.projects + L"\\Sklad.vpr", "můj projekt"}};
  for (const auto& [path, content] : own) testutil::WriteFile(path, content);

  std::wstring said;
  Drive([&] { said = UninstallFromList(L"ponechano"); });
  for (const std::wstring& kept : {c_.templates + L"\\Faktury\\Faktura.vzr", c_.app, c_.projects})
    EXPECT_NE(said.find(kept), std::wstring::npos) << Narrow(said);
  EXPECT_EQ(Listed(), 0);

  // As before, apart from the person's files and the folders that hold them.
  Snapshot expected = before;
  expected.files.insert(own.begin(), own.end());
  for (const std::wstring& folder :
       {c_.app, c_.projects, c_.templates, c_.templates + L"\\Faktury"})
    expected.files[folder + L"\\"] = {};
  const Snapshot after = Take({root_});
  EXPECT_EQ(Differences(expected.registry, after.registry), std::vector<std::string>{});
  EXPECT_EQ(Differences(expected.files, after.files), std::vector<std::string>{});
}

TEST_F(Uninstall, MissingOrDamagedRecordRemovesNothing) {
  Install(c_);
  if (HasFailure()) return;
  std::vector<std::wstring> record;
  {
    platform::Registry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    r.OpenKey(kUninstallEntry);
    ASSERT_TRUE(r.ReadLines(kRecord, record));
  }
  // A file's size changed without its checksum: the record was tampered with.
  std::vector<std::wstring> damaged = record;
  for (std::wstring& line : damaged)
    if (line.starts_with(L"F\t")) {
      line.insert(2, L"1");
      break;
    }
  const std::wstring program = c_.app + L"\\" + kUninstaller;
  const struct {
    const char* name;
    std::vector<std::wstring> lines;  // empty: no record at all
    bool programChanged;              // the uninstaller's own file, since the installation
    std::wstring says;
  } cases[] = {{"missing", {}, false, L"nebyl nalezen"},
               {"damaged", damaged, false, L"je poškozen"},
               {"the uninstaller changed", record, true,
                L"\"" + program + L"\" byl po instalaci aplikace VantorPro V1.3 změněn"}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    platform::Registry r;
    r.SetRootKey(HKEY_LOCAL_MACHINE);
    r.OpenKey(kUninstallEntry);
    if (test.lines.empty())
      r.DeleteValue(kRecord);
    else
      r.WriteLines(kRecord, test.lines);
    r.CloseKey();
    if (test.programChanged)
      testutil::WriteFile(program, testutil::ReadFile(program) + std::string(1, '\0'));
    const Snapshot before = Take({root_});
    Drive([&] {
      Process uninstaller(program, L"", L"");
      const MessageBoxWindow box = WaitForBox();
      EXPECT_NE(box.text.find(test.says), std::wstring::npos) << Narrow(box.text);
      if (test.programChanged) Shot(L"zmeneny-odinstalator", box.window);
      EXPECT_NE(box.text.find(L"nic nebylo odebráno"), std::wstring::npos);
      AnswerAndWaitForEnd(box, IDOK);
    });
    const Snapshot after = Take({root_});
    EXPECT_EQ(Differences(before.files, after.files), std::vector<std::string>{});
    EXPECT_EQ(Differences(before.registry, after.registry), std::vector<std::string>{});
    EXPECT_EQ(Listed(), 1);
  }
}

TEST_F(Uninstall, TemplatesPastTheLimitOfPathsInstallAndGo) {
  // An application folder of 187 characters in four levels, the templates
  // two levels below it: the deepest template's path passes 260.
  Choices c = c_;
  c.app = root_;
  for (int level = 0; level < 4; ++level) {
    c.app += L"\\Dlouha_slozka_" + std::to_wstring(level) + L"_";
    const size_t end = level == 3 ? 187 : root_.size() + (187 - root_.size()) * (level + 1) / 4;
    c.app.append(end - c.app.size(), L'x');
  }
  c.projects = c.app + L"\\Projekty";
  c.templates = c.app + L"\\Sablony_pro_dokumenty_firmy\\Vzory_dokumentu";
  const std::wstring deepest = c.templates + L"\\Účetnictví\\Pokladní doklad.vzr";
  ASSERT_EQ(c.app.size(), 187u);
  ASSERT_GT(deepest.size(), 260u);
  const Snapshot before = Take({root_});
  Install(c);
  if (HasFailure()) return;
  EXPECT_EQ(Tree(c.templates, true), Tree(TheConfig().payload + L"\\Vzory", true));
  EXPECT_TRUE(platform::FileExists(deepest));
  EXPECT_EQ(Listed(), 1);

  std::wstring said;
  Drive([&] { said = UninstallFromList(L""); });
  EXPECT_EQ(Listed(), 0);
  const Snapshot after = Take({root_});
  EXPECT_EQ(Differences(before.files, after.files), std::vector<std::string>{}) << Narrow(said);
  EXPECT_EQ(Differences(before.registry, after.registry), std::vector<std::string>{});
}

TEST_F(Uninstall, LinkInPlaceOfTheApplicationFolderIsNotFollowed) {
  // make-links.sh: C:\svlinks\uninst\target, empty, and swap\app -> target.
  const std::wstring set = L"C:\\svlinks\\uninst";
  ASSERT_TRUE(platform::IsLinkAt(set + L"\\swap\\app")) << "tests/make-links.sh did not run";
  Choices c = c_;
  c.app = set + L"\\installed\\app";
  c.projects = c.app + L"\\Projekty";
  c.templates = c.app + L"\\Vzory";
  Install(c);
  if (HasFailure()) return;
  // What the link leads to holds the very files that were installed: a
  // walk that followed the link would find them unchanged and remove them.
  for (const auto& [name, content] : Tree(c.app, true)) {
    if (name.back() == L'\\')
      testutil::MakeDirs(set + L"\\target\\" + name);
    else
      testutil::WriteFile(set + L"\\target\\" + name, content);
  }
  ASSERT_TRUE(MoveFileW((set + L"\\installed").c_str(), (set + L"\\real").c_str()));
  ASSERT_TRUE(MoveFileW((set + L"\\swap").c_str(), (set + L"\\installed").c_str()));
  ASSERT_TRUE(platform::IsLinkAt(c.app));
  const auto target = Tree(set + L"\\target", true);
  const auto real = Tree(set + L"\\real", true);
  ASSERT_FALSE(target.empty());

  std::wstring said;
  Drive([&] { said = UninstallFromList(L""); });
  EXPECT_NE(said.find(c.app), std::wstring::npos) << Narrow(said);
  EXPECT_EQ(Tree(set + L"\\target", true), target);
  EXPECT_EQ(Tree(set + L"\\real", true), real);
  // What lay outside the link went.
  EXPECT_FALSE(platform::FolderExists(ProgramsFolder() + L"\\" + c.group));
  EXPECT_EQ(Listed(), 0);
  testutil::RemoveTree(set + L"\\real");
}

// A wizard started while the uninstaller runs is turned away with a message
// and writes nothing: while the question is up (the uninstaller holds the
// one-wizard lock) and while its working copy shows the closing message,
// after the removal it did under the lock it took over. Once the
// uninstaller has ended, the wizard starts.
TEST_F(Uninstall, AWizardStartedMeanwhileIsTurnedAway) {
  Install(c_);
  if (HasFailure()) return;
  const std::wstring medium = TheConfig().medium;
  auto turnedAway = [&](const wchar_t* shot) {
    SCOPED_TRACE(Narrow(shot));
    const Snapshot before = Take({root_});
    Process wizard(medium + L"\\SetupVantor.exe", L"", medium);
    std::optional<MessageBoxWindow> box;
    if (!WaitUntil([&] { return (box = FindMessageBox(wizard.Id())) && !box->text.empty(); },
                   30000))
      throw DriveError(L"the wizard started meanwhile said nothing");
    for (const wchar_t* part :
         {L"Na tomto počítači již probíhá instalace nebo odinstalace aplikace VantorPro.",
          L"Počkejte, až skončí, a instalaci spusťte znovu."})
      EXPECT_NE(box->text.find(part), std::wstring::npos) << Narrow(box->text);
    EXPECT_EQ(FindTopWindow(wizard.Id(), L"TfrmSetup"), nullptr);
    Shot(shot, box->window);
    Answer(*box, IDOK);
    if (!wizard.WaitForExit(30000)) throw DriveError(L"the wizard did not end");
    const Snapshot after = Take({root_});
    EXPECT_EQ(Differences(before.files, after.files), std::vector<std::string>{});
    EXPECT_EQ(Differences(before.registry, after.registry), std::vector<std::string>{});
  };
  Drive([&] {
    Process list(L"C:\\windows\\system32\\uninstaller.exe", L"--remove VantorPro", L"");
    const MessageBoxWindow question = WaitForBox();
    turnedAway(L"odinstalace-probiha");
    Answer(question, IDYES);
    const MessageBoxWindow done = WaitForBox(question.window);
    EXPECT_NE(done.text.find(L"byla z tohoto počítače odebrána"), std::wstring::npos);
    turnedAway(L"odinstalace-probiha-kopie");
    AnswerAndWaitForEnd(done, IDOK);
    if (!list.WaitForExit(30000)) throw DriveError(L"Wine's uninstaller did not end");
  });
  EXPECT_EQ(Listed(), 0);
  Drive([&] {
    Wizard w(medium);
    w.Press(ids::pbCancel);
    AnswerQuestion(w, kCloseQuestion, L"ukoncit-po-odinstalaci", IDYES);
    if (!w.WaitForExit()) throw DriveError(L"the wizard did not end");
  });
}

}  // namespace

}  // namespace e2e
