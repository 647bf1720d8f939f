// Screenshots of the installation's messages as the person sees them: each
// box shown by the code that produces it (the folders page's judging, a run
// of the installation, the in-use question, the one-wizard lock, the
// wizard's rollback that cannot put everything back) on ground
// made for it here, taken by tools/page-shooter.sh as NN-name.png (see
// tests/e2e/with-shots.sh) and answered. tools/screenshot-messages.sh runs it.
//
//   message_shots.exe SETUP UNINSTALLER   the medium's SetupVantor.exe and
//                                         the built Odinstalovat.exe
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "install/FolderCheck.h"
#include "install/InUse.h"
#include "install/Install.h"
#include "install/Journal.h"
#include "install/Messages.h"
#include "platform/Access.h"
#include "platform/OneWizard.h"
#include "platform/Platform.h"
#include "tests/e2e/Driver.h"
#include "tests/e2e/Wizard.h"
#include "wizard/ControlIds.h"
#include "tests/install/MediumSupport.h"
#include "tests/install/Scene.h"
#include "tests/support/TestUtil.h"

namespace {

using installtest::RecordingHost;
using installtest::Scene;

// The box of process pid (with caption: of any process with that caption)
// whose text holds part, once it is up.
std::optional<e2e::MessageBoxWindow> WaitForBox(DWORD pid, const std::wstring& caption,
                                                const std::wstring& part, DWORD timeoutMs) {
  std::optional<e2e::MessageBoxWindow> box;
  const bool up = e2e::WaitUntil(
      [&] {
        try {
          box = caption.empty() ? e2e::FindMessageBox(pid) : e2e::FindMessageBoxTitled(caption);
        } catch (const e2e::DriveError&) {
          return false;  // a box going away as it is read: the next round
        }
        return box && !box->text.empty() && box->text.find(part) != std::wstring::npos;
      },
      timeoutMs);
  return up ? box : std::nullopt;
}

// Runs show(), which puts up a box (of this process, or of another one with
// that caption; holding `part`, when given); the box is taken as `name` and
// answered with `button`.
void Shoot(const std::wstring& name, int button, const std::function<void()>& show,
           const std::wstring& caption = L"", const std::wstring& part = L"") {
  std::thread taker([&] {
    const auto box = WaitForBox(GetCurrentProcessId(), caption, part, 60000);
    if (!box) {
      fwprintf(stderr, L"no message box for %ls\n", name.c_str());
      return;
    }
    e2e::Shot(name, box->window);
    e2e::Answer(*box, button);
  });
  show();
  taker.join();
}

// As the wizard's folders page shows a refusal.
void ShowRefusal(const install::InstallChoices& choices) {
  const install::FolderRefusal refusal = install::JudgeChosenFolders(choices, {});
  platform::ShowMessageBox(refusal.message.empty() ? L"(nic nebylo odmítnuto)" : refusal.message,
                           installtest::kTitle, MB_OK | MB_ICONEXCLAMATION);
}

// As the wizard shows the message a run ended with.
void ShowEnding(const install::InstallResult& result) {
  platform::ShowMessageBox(result.message.empty() ? L"(běh skončil bez zprávy)" : result.message,
                           installtest::kTitle, MB_OK | MB_ICONERROR);
}

// A scene whose boxes are real ones.
std::unique_ptr<Scene> RealScene(int largeTemplateMb = 0) {
  auto scene = std::make_unique<Scene>(
      installtest::MediumSpec{installtest::EngineStub(), 0, 0, largeTemplateMb});
  platform::SetMessageBoxResponder({});
  return scene;
}

// `command` (chmod, chown) run on path from the Unix side, waited for until
// the folder is judged as changed.
void ChangeFromUnix(const std::wstring& command, const std::wstring& path) {
  testutil::RunUnixOn(command, path, [&] {
    const platform::UniqueFile handle(CreateFileW(path.c_str(), READ_CONTROL, 7, nullptr,
                                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                                  nullptr));
    return platform::JudgeFolder(handle.get(), platform::ChangeOf::Above) !=
           platform::FolderTrust::Sound;
  });
}

// Nad\Odkaz, a link to Cil; `command` run on Nad (holderChanged) or on Cil.
std::wstring LinkIn(const Scene& scene, const std::wstring& command, bool holderChanged) {
  const std::wstring holder = scene.work / L"Nad", target = scene.work / L"Cil";
  const std::wstring link = holder + L"\\Odkaz";
  testutil::MakeDirs(link);
  testutil::MakeDirs(target);
  testutil::SwapForLink(link, target);
  ChangeFromUnix(command, holderChanged ? holder : target);
  return link;
}

void FoldersPage() {
  {
    auto scene = RealScene();
    while (scene->choices.vantorPro.size() < 236) scene->choices.vantorPro += L"\\Dlouha_slozka";
    Shoot(L"slozky-dlouha-cesta", IDOK, [&] { ShowRefusal(scene->choices); });
  }
  {
    // tests/make-drives.sh mounts the 24 MB drive (as root); without it, no shot.
    installtest::SmallDrive small(L"small");
    if (small.Ready()) {
      auto scene = RealScene(26);
      scene->choices.vantorPro = small.Root() + L"Vantor";
      scene->choices.vzory = small.Root() + L"Vzory";
      Shoot(L"slozky-malo-mista", IDOK, [&] { ShowRefusal(scene->choices); });
    }
  }
  {
    auto scene = RealScene();
    testutil::MakeDirs(scene->choices.vantorPro + L"\\Instalace");
    Shoot(L"slozky-cizi-instalace", IDOK, [&] { ShowRefusal(scene->choices); });
  }
  {
    auto scene = RealScene();
    const std::wstring above = scene->work / L"Sdilena";
    testutil::MakeDirs(above);
    ChangeFromUnix(L"chmod 0777", above);
    scene->choices.vzory = above + L"\\Vzory";
    Shoot(L"slozky-mohou-menit", IDOK, [&] { ShowRefusal(scene->choices); });
  }
  {
    auto scene = RealScene();
    scene->choices.vantorPro = LinkIn(*scene, L"chown 1001", false);
    Shoot(L"slozky-odkaz-jiny-ucet", IDOK, [&] { ShowRefusal(scene->choices); });
  }
  {
    auto scene = RealScene();
    scene->choices.vantorPro = LinkIn(*scene, L"chmod 0777", true);
    Shoot(L"slozky-odkaz-mohou-menit", IDOK, [&] { ShowRefusal(scene->choices); });
  }
}

void Runs() {
  {
    // The ground changed after the folders page: the run's own refusal.
    auto scene = RealScene();
    scene->choices.vantorPro = LinkIn(*scene, L"chmod 0777", true);
    RecordingHost host(scene->choices);
    const install::InstallResult result = install::Install(scene->choices, host);
    Shoot(L"beh-odkaz-mohou-menit", IDOK, [&] { ShowEnding(result); });
  }
  {
    // Every name the uninstaller could take is taken meanwhile.
    auto scene = RealScene();
    const install::InstallChoices& c = scene->choices;
    RecordingHost host(c);
    install::Journal journal;
    host.onStatus = [&](const std::wstring& status) {
      if (status != installtest::kMaking + c.vantorPro) return;
      for (int n = 0; n < 100; ++n)
        testutil::MakeDirs(c.vantorPro + L"\\" + journal.Prefix() + std::to_wstring(n) +
                           L"-Odinstalovat.exe");
    };
    install::InstallResult result = install::Install(c, host, {}, &journal);
    Shoot(L"beh-odinstalator-nelze-zapsat", IDOK, [&] { ShowEnding(result); });
    result.workFolder.Release();
    journal.RollBack({});
  }
  {
    // The medium cut short while it is unpacked: the run's own question.
    auto scene = RealScene();
    std::string noise(1500000, '\0');
    unsigned x = 3;
    for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 23);
    scene->payload.files.push_back({"Navod/Video.bin", noise});
    const std::wstring archive = scene->medium / L"Vaninst.pak";
    installtest::WriteArchive(archive, scene->payload);
    RecordingHost host(scene->choices);
    bool cut = false;
    host.onStatus = [&](const std::wstring& status) {
      if (cut || !status.starts_with(L"Rozbaluji soubor")) return;
      cut = true;
      testutil::RunUnixOn(L"truncate -s 1000", archive,
                          [&] { return testutil::ReadFile(archive).size() == 1000; });
    };
    Shoot(L"beh-medium-nelze-cist", IDCANCEL,
          [&] { install::Install(scene->choices, host).workFolder.Release(); });
  }
}

// The demo program under each name, started in dir and held still, so that
// it does not close when asked.
std::vector<PROCESS_INFORMATION> StartHeld(const std::wstring& dir,
                                           const std::vector<std::wstring>& names) {
  std::vector<PROCESS_INFORMATION> started;
  for (const std::wstring& name : names) {
    std::wstring program = dir + L"\\" + name;
    CopyFileW(installtest::DemoProgram().c_str(), program.c_str(), FALSE);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!testutil::StartProcess(nullptr, program, false, 0, dir.c_str(), si, pi)) continue;
    WaitForInputIdle(pi.hProcess, 30000);
    SuspendThread(pi.hThread);
    started.push_back(pi);
  }
  return started;
}

void EndHeld(const std::vector<PROCESS_INFORMATION>& held) {
  for (const PROCESS_INFORMATION& pi : held) {
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 30000);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
}

void ProgramsInUse() {
  const std::vector<std::vector<std::wstring>> sets = {{L"VantorPro.exe"},
                                                       {L"VantorPro.exe", L"Prevodnik.exe"}};
  for (const auto& names : sets) {
    testutil::TempDir dir;
    const std::vector<PROCESS_INFORMATION> held = StartHeld(dir.Path(), names);
    std::vector<std::wstring> paths;
    for (const std::wstring& name : names) paths.push_back(dir / name);
    const install::InstallChoices choices;
    RecordingHost host(choices);
    const std::wstring count = names.size() == 1 ? L"jeden" : L"dva";
    // OK: they are asked to close and do not; then Cancel.
    std::thread second([&] {
      Shoot(
          L"programy-nelze-ukoncit-" + count, IDCANCEL, [] {}, L"", L"nepodařilo ukončit");
    });
    Shoot(
        L"programy-spusteny-" + count, IDOK, [&] { install::ProgramsLetGo(host, paths, 1000); },
        L"", L"instalace nahrazuje");
    second.join();
    EndHeld(held);
  }
}

// One program holds the one-wizard lock; the other is started and says so.
void OneAtATime(const std::wstring& setup, const std::wstring& uninstaller) {
  OneWizard lock;
  if (!lock.Take()) return;
  for (const auto& [program, caption, name] :
       {std::tuple{uninstaller, L"Odinstalace VantorPro", L"odinstalace-pri-instalaci"},
        std::tuple{setup, L"Instalace VantorPro", L"instalace-pri-odinstalaci"}}) {
    const std::wstring folder = platform::ExtractFilePath(program);
    Shoot(
        name, IDOK,
        [&] {
          e2e::Process started(program, L"", folder);
          started.WaitForExit(60000);
        },
        caption);
  }
}

// From the welcome page to the summary; with app, the folders below it and
// the Start-menu group given.
void ToSummary(e2e::Wizard& w, const std::wstring& app = L"", const std::wstring& group = L"") {
  w.WaitForPage(0);
  w.Next();
  w.WaitForPage(1);
  w.Type(ids::txtName, L"Jan Zkoušek");
  w.Type(ids::txtCompany, L"Zkušební s.r.o.");
  w.Next();
  w.WaitForPage(2);
  if (!app.empty()) {
    w.Type(ids::txtVantorPro, app);
    w.Type(ids::txtProjekty, app + L"\\Projekty");
    w.Type(ids::txtVzory, app + L"\\Vzory");
  }
  w.Next();
  w.WaitForPage(3);
  if (!group.empty()) w.Type(ids::txtFolderName, group);
  w.Next();
  w.WaitForPage(4);
}

// No Start-menu Programs folder known at all (the registry's value gone, and
// the folder with it, so the shell knows none): the summary says that no
// group is made. Both are put back afterwards.
void SummaryWithoutStartMenu(const std::wstring& setup) {
  const wchar_t kFolders[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  platform::Registry registry;
  registry.SetRootKey(HKEY_CURRENT_USER);
  registry.OpenKey(kFolders);
  const std::wstring programs = registry.ReadString(L"Programs");
  registry.CloseKey();
  if (programs.empty() || !MoveFileW(programs.c_str(), (programs + L".pryc").c_str())) return;
  registry.OpenKey(kFolders);
  registry.DeleteValue(L"Programs");
  registry.CloseKey();
  try {
    e2e::Wizard w(platform::ExtractFilePath(setup));
    ToSummary(w);
    w.Shot(L"souhrn-bez-nabidky-start");
    w.Press(ids::pbCancel);
    e2e::Answer(w.WaitForQuestion(), IDYES);
    w.WaitForExit();
  } catch (const e2e::DriveError& e) {
    fprintf(stderr, "%s\n", e.what());
  }
  MoveFileW((programs + L".pryc").c_str(), programs.c_str());
  registry.OpenKey(kFolders);
  registry.WriteString(L"Programs", programs);
  registry.CloseKey();
}

// A run put back that cannot remove one of its files: VantorPro.exe, which
// the run replaces, is running, and at the wizard's question about it
// (everything staged, the run waiting) a staged file is opened here without
// delete sharing. Cancel rolls the run back; the copy page says so behind
// the message that names what stayed. The whole screen is taken.
void RollBackLeftBehind(const std::wstring& setup) {
  const std::wstring id = std::to_wstring(GetCurrentProcessId());
  const std::wstring root = L"C:\\zpravy-vraceni-" + id, app = root + L"\\Vantor";
  testutil::MakeDirs(app);
  const std::vector<PROCESS_INFORMATION> running = StartHeld(app, {L"VantorPro.exe"});
  platform::UniqueFile held;
  try {
    if (running.size() != 1) throw e2e::DriveError(L"VantorPro.exe did not start in " + app);
    e2e::Wizard w(platform::ExtractFilePath(setup));
    ToSummary(w, app, L"VantorPro vraceni " + id);
    w.Next();
    // The box of the wizard whose text holds part.
    auto boxWith = [&](const std::wstring& part) {
      const auto box = WaitForBox(w.Program().Id(), L"", part, e2e::Timeouts{}.install);
      if (!box) throw e2e::DriveError(L"no message box with \"" + part + L"\"");
      return *box;
    };
    const e2e::MessageBoxWindow asked = boxWith(L"instalace nahrazuje");
    WIN32_FIND_DATAW found;
    const HANDLE find = FindFirstFileW((app + L"\\~sv*").c_str(), &found);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more && !held;
         more = FindNextFileW(find, &found))
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        held.reset(CreateFileW((app + L"\\" + found.cFileName).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr));
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    if (!held) throw e2e::DriveError(L"no staged file to hold in " + app);
    e2e::Answer(asked, IDCANCEL);
    const e2e::MessageBoxWindow left = boxWith(L"nepodařilo zcela vrátit");
    if (w.Text(ids::lblCopyFile) != install::RollingBack())
      throw e2e::DriveError(L"the copy page reads \"" + w.Text(ids::lblCopyFile) + L"\"");
    // Moved to the foot of the screen, as a person would drag it, off the
    // status line and the bar, which are painted again.
    RECT r{};
    GetWindowRect(left.window, &r);
    SetWindowPos(left.window, nullptr, r.left, GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top),
                 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(w.Window(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    w.Sync();
    e2e::Shot(L"vraceni-zmen", nullptr);
    e2e::Answer(left, IDOK);
    // Back on the summary, the wizard asks whether to end: each question
    // answered, it ends.
    if (!e2e::WaitUntil(
            [&] {
              try {
                if (const auto box = e2e::FindMessageBox(w.Program().Id()))
                  e2e::Answer(*box, box->HasButton(IDYES) ? IDYES : IDOK);
              } catch (const e2e::DriveError&) {
                // a box going away as it is read: the next round
              }
              return !w.Program().Running();
            },
            e2e::Timeouts{}.exit))
      throw e2e::DriveError(L"the wizard did not end");
  } catch (const e2e::DriveError& e) {
    fprintf(stderr, "%s\n", e.what());
  }
  EndHeld(running);
  held.reset();
  // The next start puts back what the rollback left (and a run that a
  // failed drive ended at once); it is closed on its first page.
  try {
    e2e::Wizard next(platform::ExtractFilePath(setup));
    next.WaitForPage(0);
    next.Press(ids::pbCancel);
    e2e::Answer(next.WaitForQuestion(), IDYES);
    next.WaitForExit();
  } catch (const e2e::DriveError& e) {
    fprintf(stderr, "%s\n", e.what());
  }
  if (platform::Registry::KeyExists(HKEY_LOCAL_MACHINE, install::kJournalKey))
    fprintf(stderr, "the next start left the journal\n");
  testutil::RemoveTree(root);
}

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3) return 2;
  const std::wstring setup = e2e::WindowsPath(argv[1]), uninstaller = e2e::WindowsPath(argv[2]);
  LocalFree(argv);
  platform::ComApartment com;
  FoldersPage();
  Runs();
  ProgramsInUse();
  OneAtATime(setup, uninstaller);
  SummaryWithoutStartMenu(setup);
  RollBackLeftBehind(setup);
  return 0;
}
