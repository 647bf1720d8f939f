// Moving through the pages, the folder checks, the finish and every way of
// closing the window, driven through the real controls and keys.
#include "tests/wizard/WizardFixture.h"

#include "fileops/FileOps.h"
#include "picker/BrowseFolder.h"

namespace wiztest {
namespace {

using testutil::ScriptedBoxes;

const wchar_t kCloseQuestion[] = L"Opravdu chcete ukončit instalaci?";
const wchar_t kTitle[] = L"Instalace aplikace VantorPro DEMO";

class NavigationTest : public WizardTest {
 public:
  void GoTo(int page) {
    while (Form().CurrentPage < page) Click(L"pbNext");
    ASSERT_EQ(Form().ShownPage(), page);
  }
  // The last page, reached the way the completion poll reaches it.
  void EnterLastPage() {
    Form().CurrentPage = 6;
    Form().ShowPage(6);
  }
  // A run's work folder, held by the session as a run leaves it.
  static void KeepWorkFolder(TfrmSetup& form, const std::wstring& work) {
    install::InstallResult left;
    left.workFolder = platform::HeldFolder::Open(work);
    form.Session().Keep(left);
  }
};

TEST_F(NavigationTest, ButtonsOnEveryPageForwardAndBack) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  EXPECT_FALSE(form.Enabled(L"pbPrev"));
  for (int page = 1; page <= 4; ++page) {
    Click(L"pbNext");
    EXPECT_EQ(form.CurrentPage, page);
    EXPECT_EQ(form.ShownPage(), page);
    EXPECT_TRUE(form.Enabled(L"pbPrev")) << page;
    EXPECT_TRUE(form.Showing(L"pbPrev")) << page;
    EXPECT_TRUE(form.Showing(L"pbCancel")) << page;
    EXPECT_EQ(form.Text(L"pbNext"), L"&Další  >");
    // Only the shown page's controls are visible windows.
    EXPECT_TRUE(IsWindowVisible(form.Control(L"Label1")) == (page == 2));
    EXPECT_TRUE(IsWindowVisible(form.Control(L"lbFolders")) == (page == 3));
  }
  for (int page = 3; page >= 0; --page) {
    Click(L"pbPrev");
    EXPECT_EQ(form.CurrentPage, page);
    EXPECT_EQ(form.ShownPage(), page);
  }
  EXPECT_FALSE(form.Enabled(L"pbPrev"));
  Click(L"pbNext");
  EXPECT_TRUE(form.Enabled(L"pbPrev"));
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(NavigationTest, LastPageShowsOnlyTheFinishButton) {
  TfrmSetup& form = Open();
  GoTo(4);
  EnterLastPage();
  EXPECT_FALSE(form.Showing(L"pbPrev"));
  EXPECT_FALSE(form.Showing(L"pbCancel"));
  EXPECT_TRUE(form.Showing(L"pbNext"));
  EXPECT_EQ(form.Text(L"pbNext"), L"&Dokončit");
  EXPECT_EQ(form.Hint(L"pbNext"), L"Dokončí instalaci aplikace VantorPro");
  EXPECT_TRUE(form.Showing(L"Label16"));
  EXPECT_FALSE(form.Showing(L"lblRestart"));
  EXPECT_FALSE(form.Showing(L"rbRestartAno"));
  EXPECT_FALSE(form.Showing(L"rbRestartNe"));
  EXPECT_TRUE(form.Checked(L"rbRestartNe"));
  EXPECT_FALSE(form.Checked(L"rbRestartAno"));
  // Going back from there restores the forward caption. (The copy page's
  // installation then finds no archive here and ends with its message.)
  ScriptedBoxes boxes;
  form.pbPrevClick();
  EXPECT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(form.CurrentPage, 5);
  EXPECT_EQ(form.Text(L"pbNext"), L"&Další  >");
}

TEST_F(NavigationTest, EnteringTheInputPagesFocusesTheirFirstField) {
  TfrmSetup& form = Open();
  Click(L"pbNext");
  EXPECT_EQ(FocusName(), L"txtName");
  Click(L"pbNext");
  EXPECT_EQ(FocusName(), L"txtVantorPro");
  Click(L"pbPrev");
  EXPECT_EQ(FocusName(), L"txtName");
  EXPECT_EQ(form.CurrentPage, 1);
}

TEST_F(NavigationTest, EmptyNameAndCompanyPassWithoutAQuestion) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  GoTo(1);
  form.SetText(L"txtName", L"");
  form.SetText(L"txtCompany", L"");
  Click(L"pbNext");
  EXPECT_EQ(form.CurrentPage, 2);
  form.SetText(L"txtFolderName", L"");
  Click(L"pbNext");
  Click(L"pbNext");
  EXPECT_EQ(form.CurrentPage, 4);
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(NavigationTest, FolderChecksStopAtTheFirstEmptyField) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  GoTo(2);
  form.SetText(L"txtVantorPro", L"");
  form.SetText(L"txtProjekty", L"");
  Click(L"pbNext");
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].text, L"Není vyplněn název složky pro součást \"VantorPro\"!");
  EXPECT_EQ(boxes.Asked()[0].caption, kTitle);
  EXPECT_EQ(boxes.Asked()[0].flags, 0x30u);
  EXPECT_EQ(form.CurrentPage, 2);
  EXPECT_EQ(form.ShownPage(), 2);
  EXPECT_EQ(FocusName(), L"txtVantorPro");

  form.SetText(L"txtVantorPro", L"D:\\Vantor");
  Click(L"pbNext");
  ASSERT_EQ(boxes.Asked().size(), 2u);
  EXPECT_EQ(boxes.Asked()[1].text, L"Není vyplněn název složky pro součást \"Projekty\"!");
  EXPECT_EQ(FocusName(), L"txtProjekty");

  form.SetText(L"txtProjekty", L"D:\\P");
  form.SetText(L"txtVzory", L"");
  Click(L"pbNext");
  ASSERT_EQ(boxes.Asked().size(), 3u);
  EXPECT_EQ(boxes.Asked()[2].text, L"Není vyplněn název složky pro součást \"Vzory\"!");
  EXPECT_EQ(FocusName(), L"txtVzory");
  EXPECT_EQ(form.CurrentPage, 2);

  // Blanks are a name; nothing else about the path is checked.
  form.SetText(L"txtVzory", L"   ");
  Click(L"pbNext");
  EXPECT_EQ(boxes.Asked().size(), 3u);
  EXPECT_EQ(form.CurrentPage, 3);
}

TEST_F(NavigationTest, LeavingAComponentOnCdSkipsItsCheck) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  GoTo(2);
  form.SetText(L"txtVzory", L"");
  form.SetChecked(L"cbVzory", true);
  form.SetText(L"txtPriklady", L"");
  Click(L"pbNext");
  // The hidden examples field is checked too; its focus cannot go to a
  // hidden field, and nothing else goes wrong.
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].text, L"Není vyplněn název složky pro součást \"Příklady\"!");
  EXPECT_EQ(boxes.Asked()[0].flags, 0x30u);
  EXPECT_EQ(form.CurrentPage, 2);
  form.SetChecked(L"cbPriklady", true);
  Click(L"pbNext");
  EXPECT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(form.CurrentPage, 3);
}

TEST_F(NavigationTest, FinishRemovesTheWorkFolderAndClosesWithoutAQuestion) {
  ScriptedBoxes boxes;
  testutil::TempDir target;
  const std::wstring work = target / L"Instalace";
  testutil::MakeDirs(work + L"\\Utility\\Bde");
  testutil::WriteFile(work + L"\\Utility\\Bde\\Setup.exe", "x");
  testutil::WriteFile(work + L"\\readme.txt", "x");
  bool restarted = false;
  platform::SetRestartHandler([&] { restarted = true; });
  TfrmSetup& form = Open();
  form.SourceDir = work;
  KeepWorkFolder(form, work);
  EnterLastPage();
  Click(L"pbNext");
  EXPECT_FALSE(platform::FolderExists(work));
  EXPECT_TRUE(platform::FolderExists(target.Path()));
  EXPECT_TRUE(form.CloseWithoutPrompt);
  EXPECT_TRUE(platform::Terminated());
  EXPECT_FALSE(restarted);
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(NavigationTest, FinishWithRestartChosenAsksForTheRestartInstead) {
  ScriptedBoxes boxes;
  testutil::TempDir target;
  const std::wstring work = target / L"Instalace";
  testutil::MakeDirs(work);
  int restarts = 0;
  platform::SetRestartHandler([&] { ++restarts; });
  TfrmSetup& form = Open();
  form.SourceDir = work;
  KeepWorkFolder(form, work);
  EnterLastPage();
  form.SetChecked(L"rbRestartAno", true);
  EXPECT_FALSE(form.Checked(L"rbRestartNe"));
  Click(L"pbNext");
  EXPECT_EQ(restarts, 1);
  EXPECT_FALSE(platform::FolderExists(work));
  EXPECT_EQ(platform::AppCursor(), platform::Cursor::Wait);
  EXPECT_FALSE(platform::Terminated());
  EXPECT_FALSE(form.CloseWithoutPrompt);
  EXPECT_TRUE(boxes.Asked().empty());
}

// Each way of asking the window to close, answered No and then Yes.
TEST_F(NavigationTest, EveryCloseRouteAsksAndNoKeepsThePage) {
  struct Route {
    const char* name;
    void (*ask)(NavigationTest&);
  };
  const Route routes[] = {
      {"pbCancel", [](NavigationTest& t) { t.Click(L"pbCancel"); }},
      {"Esc", [](NavigationTest&) { PressKey(VK_ESCAPE); }},
      {"Alt+F4",
       [](NavigationTest& t) {
         // Alt+F4 reaches the window's default handling as the system key.
         PostMessageW(t.Form().Handle(), WM_SYSKEYDOWN, VK_F4, 1 | (1 << 29));
         Pump();
       }},
      {"title bar close",
       [](NavigationTest& t) {
         SendMessageW(t.Form().Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
         Pump();
       }},
  };
  for (const Route& route : routes) {
    SCOPED_TRACE(route.name);
    ScriptedBoxes boxes({IDNO, IDYES});
    TfrmSetup& form = Open();
    GoTo(2);
    route.ask(*this);
    ASSERT_EQ(boxes.Asked().size(), 1u);
    EXPECT_EQ(boxes.Asked()[0].text, kCloseQuestion);
    EXPECT_EQ(boxes.Asked()[0].caption, kTitle);
    EXPECT_EQ(boxes.Asked()[0].flags, 0x24u);
    EXPECT_FALSE(platform::Terminated());
    EXPECT_EQ(form.ShownPage(), 2);
    EXPECT_EQ(form.CurrentPage, 2);
    EXPECT_TRUE(IsWindowVisible(form.Handle()));

    form.SetFocus(L"txtVantorPro");
    route.ask(*this);
    EXPECT_EQ(boxes.Asked().size(), 2u);
    EXPECT_TRUE(platform::Terminated());
    form_.reset();
    platform::ResetTerminated();
  }
}

TEST_F(NavigationTest, CloseWithoutPromptAsksNothing) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  form.CloseWithoutPrompt = true;
  SendMessageW(form.Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(platform::Terminated());
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(NavigationTest, AcceptedCloseLetsTheRunningCodeGoOn) {
  // A close accepted inside a pump (as during the installation) only ends the
  // program once control is back in the main loop: the window stays usable.
  ScriptedBoxes boxes({IDYES});
  TfrmSetup& form = Open();
  PostMessageW(form.Handle(), WM_CLOSE, 0, 0);
  form.ProcessMessages();
  EXPECT_TRUE(platform::Terminated());
  EXPECT_TRUE(IsWindow(form.Handle()));
  form.SetStatus(L"after the close");
  EXPECT_EQ(form.Text(L"lblCopyFile"), L"after the close");
  platform::RunMessageLoop();  // returns at once: the close was accepted
  EXPECT_EQ(boxes.Asked().size(), 1u);
}

TEST_F(NavigationTest, EnterPressesNextAndEscPressesCancel) {
  ScriptedBoxes boxes({IDNO});
  TfrmSetup& form = Open();
  EXPECT_EQ(FocusName(), L"pbNext");
  PressKey(VK_RETURN);
  EXPECT_EQ(form.CurrentPage, 1);
  EXPECT_EQ(FocusName(), L"txtName");
  PressKey(VK_RETURN);  // from an edit field, the default button acts
  EXPECT_EQ(form.CurrentPage, 2);
  PressKey(VK_ESCAPE);
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].text, kCloseQuestion);
  EXPECT_EQ(form.CurrentPage, 2);
  // The failed check keeps Enter on the page.
  form.SetText(L"txtProjekty", L"");
  PressKey(VK_RETURN);
  EXPECT_EQ(form.CurrentPage, 2);
  ASSERT_EQ(boxes.Asked().size(), 2u);
  EXPECT_EQ(FocusName(), L"txtProjekty");
}

// A page change that hides the focused field leaves the focus where Enter
// still goes forward, never on "<  Zpět".
TEST_F(NavigationTest, EnterAloneWalksForwardToTheSummary) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  for (int page = 1; page <= 4; ++page) {
    PressKey(VK_RETURN);
    EXPECT_EQ(form.CurrentPage, page);
  }
  EXPECT_TRUE(boxes.Asked().empty());
}

TEST_F(NavigationTest, EscDoesNothingWhenCancelIsHidden) {
  ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  EnterLastPage();
  PressKey(VK_ESCAPE);
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_FALSE(platform::Terminated());
  EXPECT_EQ(form.ShownPage(), 6);
}

TEST_F(NavigationTest, TabOrderAndAccelerators) {
  ScriptedBoxes boxes({IDNO});
  TfrmSetup& form = Open();
  Click(L"pbNext");
  ASSERT_EQ(FocusName(), L"txtName");
  const wchar_t* const order[] = {L"txtCompany", L"pbPrev", L"pbNext", L"pbCancel", L"txtName"};
  for (const wchar_t* expected : order) {
    PressKey(VK_TAB);
    EXPECT_EQ(FocusName(), expected);
  }
  // Enter on a focused push button presses that button.
  form.SetFocus(L"pbCancel");
  PressKey(VK_RETURN);
  EXPECT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(form.CurrentPage, 1);

  form.SetFocus(L"txtName");
  TypeAltChar(L'd');
  EXPECT_EQ(form.CurrentPage, 2);
  TypeAltChar(L'z');
  EXPECT_EQ(form.CurrentPage, 1);
  TypeAltChar(L'z');
  EXPECT_EQ(form.CurrentPage, 0);
  EXPECT_FALSE(form.Enabled(L"pbPrev"));
  EXPECT_NE(GetFocus(), nullptr);  // the disabled button handed its focus on
}

TEST_F(NavigationTest, FolderButtonsTakeNoFocus) {
  TfrmSetup& form = Open();
  GoTo(2);
  ASSERT_EQ(FocusName(), L"txtVantorPro");
  HWND button = form.Control(L"SpeedButton2");
  // The click opens the folder picker; it is cancelled from inside its loop.
  static bool pickerSeen;
  pickerSeen = false;
  SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND picker = FindWindowW(picker::kBrowseFldrClass, nullptr);
    if (!picker || !IsWindowVisible(picker)) return;
    KillTimer(nullptr, id);
    pickerSeen = true;
    PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  });
  SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  Pump();
  EXPECT_TRUE(pickerSeen);
  EXPECT_EQ(FocusName(), L"txtVantorPro");
  EXPECT_EQ(form.CurrentPage, 2);
  EXPECT_NE(SendMessageW(button, BM_GETIMAGE, IMAGE_ICON, 0), 0);
}

TEST_F(NavigationTest, ChoosingAGroupFillsTheGroupName) {
  testutil::MakeDirs(programsDir_ / L"Accessories");
  TfrmSetup& form = Open();
  GoTo(3);
  form.SetFocus(L"lbFolders");
  PressKey(VK_DOWN);
  EXPECT_EQ(form.Text(L"txtFolderName"), L"Accessories");
  form.SetFocus(L"txtFolderName");
  form.SetText(L"txtFolderName", L"Vlastní");
  EXPECT_EQ(SendMessageW(form.Control(L"lbFolders"), LB_GETCURSEL, 0, 0), 0);
}

}  // namespace
}  // namespace wiztest

namespace wiztest {
namespace {

// The binoculars buttons: the picker comes up over the wizard, and what the
// user accepts there comes back into the field with the component's folder.
class FolderButtonTest : public WizardTest {
 public:
  static inline std::wstring typed;
  static inline bool pressOk = true;
  static inline bool ownerDisabled = false;
  static void CALLBACK Act(HWND, UINT, UINT_PTR id, DWORD) {
    HWND picker = FindWindowW(picker::kBrowseFldrClass, nullptr);
    if (!picker || !IsWindowVisible(picker)) return;
    KillTimer(nullptr, id);
    ownerDisabled = !IsWindowEnabled(platform::MainWindow());
    SetWindowTextW(GetDlgItem(picker, picker::idTxtPath), typed.c_str());
    PostMessageW(picker, WM_COMMAND, pressOk ? IDOK : IDCANCEL, 0);
  }
};

TEST_F(FolderButtonTest, AcceptedFolderComesBackWithTheSubFolderCancelKeepsTheField) {
  testutil::ScriptedBoxes boxes;
  TfrmSetup& form = Open();
  Click(L"pbNext");
  Click(L"pbNext");
  ASSERT_EQ(form.ShownPageName(), L"pgCesty");
  testutil::TempDir dir;

  typed = dir.Path() + L"\\";
  pressOk = true;
  SetTimer(nullptr, 0, 50, &Act);
  Click(L"SpeedButton3");
  EXPECT_TRUE(ownerDisabled);
  EXPECT_EQ(form.Text(L"txtVzory"), dir.Path() + L"\\Vzory");
  EXPECT_TRUE(IsWindowEnabled(form.Handle()));

  typed = L"C:\\Elsewhere";
  pressOk = false;
  SetTimer(nullptr, 0, 50, &Act);
  Click(L"SpeedButton1");
  EXPECT_EQ(form.Text(L"txtVantorPro"), L"C:\\Vantor");
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_EQ(picker::frmBrowseFldr, nullptr);
}

}  // namespace
}  // namespace wiztest
