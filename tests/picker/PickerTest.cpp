// The folder picker driven as a person drives it: the real dialog in its own
// modal loop, with clicks, keys and answers delivered from inside that loop.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "picker/BrowseFolder.h"
#include "picker/FolderChoice.h"
#include "platform/Platform.h"
#include "tests/support/TestUtil.h"

using picker::DirItem;
using picker::frmBrowseFldr;
using picker::TfrmBrowseFldr;
using testutil::ScriptedBoxes;
using testutil::TempDir;

namespace {

std::wstring Text(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return buffer;
}

TfrmBrowseFldr& Dialog() {
  return *frmBrowseFldr;
}

// Runs steps one per timer tick while the dialog's modal loop runs. A step
// is taken off the queue before it runs, so a step that blocks in a nested
// loop (a real message box) lets the next one act inside that loop. When the
// steps are used up and the dialog is still open, it is closed, so that a
// failing test cannot hang.
class InsideModal {
 public:
  explicit InsideModal(std::vector<std::function<void()>> steps)
      : steps_(steps.begin(), steps.end()) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 30, &Tick);
  }
  ~InsideModal() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }
  InsideModal(const InsideModal&) = delete;
  InsideModal& operator=(const InsideModal&) = delete;
  bool LeftOpen() const { return leftOpen_; }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    InsideModal* self = current_;
    if (!self) return;
    if (self->steps_.empty()) {
      if (frmBrowseFldr && frmBrowseFldr->ModalResult == 0) {
        self->leftOpen_ = true;
        PostMessageW(frmBrowseFldr->Handle(), WM_CLOSE, 0, 0);
      }
      return;
    }
    auto step = std::move(self->steps_.front());
    self->steps_.pop_front();
    step();
  }

  static inline InsideModal* current_ = nullptr;
  std::deque<std::function<void()>> steps_;
  UINT_PTR timer_ = 0;
  bool leftOpen_ = false;
};

// A click on the list's item, by mouse messages.
void ClickItem(int index, bool twice = false) {
  RECT r;
  SendMessageW(Dialog().lbDir, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM(r.left + 40, (r.top + r.bottom) / 2);
  SendMessageW(Dialog().lbDir, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(Dialog().lbDir, WM_LBUTTONUP, 0, at);
  if (twice) {
    SendMessageW(Dialog().lbDir, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageW(Dialog().lbDir, WM_LBUTTONUP, 0, at);
  }
}

// A key pressed on a control, delivered through the message queue so that it
// takes the dialog keyboard routing.
void PressKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

void Type(const std::wstring& path) {
  SetWindowTextW(Dialog().txtPath, path.c_str());
}
void ClickOk() {
  SendMessageW(Dialog().pbOk, BM_CLICK, 0, 0);
}

int IndexOf(const std::wstring& path) {
  const auto& items = Dialog().Items();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].path == path) return static_cast<int>(i);
  return -1;
}

std::wstring SelectedPath() {
  return Dialog().ItemPath(static_cast<int>(SendMessageW(Dialog().lbDir, LB_GETCURSEL, 0, 0)));
}

// The drive root of the program's current folder, where the list starts.
std::wstring StartRoot() {
  return platform::CurrentDir().substr(0, 3);
}

class PickerTest : public testing::Test {
 protected:
  void SetUp() override {
    platform::ResetTerminated();
    platform::SetApplicationTitle(L"Instalace VantorPro");
    // A box no test asked for fails the test instead of waiting for a person.
    unexpected_.emplace(&ScriptedBoxes::Unexpected);
  }
  void TearDown() override {
    frmBrowseFldr.reset();
    unexpected_.reset();
    platform::SetMainWindow(nullptr);
    platform::ResetTerminated();
  }
  // A fresh dialog in the program-wide reference, opened at selected.
  TfrmBrowseFldr& Make(const std::wstring& selected = L"") {
    frmBrowseFldr = std::make_unique<TfrmBrowseFldr>();
    frmBrowseFldr->SelectedDir = selected;
    return *frmBrowseFldr;
  }
  // The folder as the list names it: letter in upper case, names as stored.
  static std::wstring Listed(std::wstring path) {
    path[0] = static_cast<wchar_t>(towupper(path[0]));
    return path;
  }
  TempDir temp;
  std::optional<ScriptedBoxes> unexpected_;
};

// ---------------------------------------------------------------- the window

TEST_F(PickerTest, WindowHasItsControlsPlacesAndKeyboardOrder) {
  TfrmBrowseFldr& d = Make();
  HWND w = d.Handle();
  wchar_t cls[64];
  GetClassNameW(w, cls, 64);
  EXPECT_STREQ(cls, L"TfrmBrowseFldr");
  EXPECT_EQ(Text(w), L"Výběr složky");
  RECT client;
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, 333);
  EXPECT_EQ(client.bottom, 277);
  const LONG style = GetWindowLongW(w, GWL_STYLE);
  EXPECT_FALSE(style & WS_THICKFRAME) << "fixed border";
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_MINIMIZEBOX));
  EXPECT_FALSE(IsWindowVisible(w)) << "not shown before ShowModal";

  struct Expected {
    HWND control;
    int id;
    const wchar_t* cls;
    const wchar_t* text;
    RECT place;  // left, top, width, height
  };
  const Expected controls[] = {
      {d.txtPath, picker::idTxtPath, L"Edit", nullptr, {1, 48, 249, 21}},
      {d.lbDir, picker::idLbDir, L"ListBox", nullptr, {1, 72, 249, 177}},
      {d.cmbDrive, picker::idCmbDrive, L"ComboBox", nullptr, {1, 256, 249, 19}},
      {d.pbOk, IDOK, L"Button", L"OK", {257, 48, 75, 25}},
      {d.pbCancel, IDCANCEL, L"Button", L"Storno", {257, 80, 75, 25}},
      {d.Label1, picker::idLabel1, L"Static", L"Složka:", {1, 32, 0, 0}},
      {d.lblCaption, picker::idLblCaption, L"Static", L"", {1, 8, 0, 0}},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(testing::Message() << c.id);
    ASSERT_TRUE(c.control);
    EXPECT_EQ(GetDlgItem(w, c.id), c.control);
    GetClassNameW(c.control, cls, 64);
    EXPECT_EQ(_wcsicmp(cls, c.cls), 0) << platform::Utf8(cls);
    if (c.text) {
      EXPECT_EQ(Text(c.control), c.text);
    }
    RECT r;
    GetWindowRect(c.control, &r);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, c.place.left);
    EXPECT_EQ(r.top, c.place.top);
    if (c.place.right) {
      EXPECT_EQ(r.right - r.left, c.place.right);
      EXPECT_EQ(r.bottom - r.top, c.place.bottom);
    }
  }
  EXPECT_EQ(GetWindowLongW(d.pbOk, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(SendMessageW(d.lbDir, LB_GETITEMHEIGHT, 0, 0), 16);

  // Fonts: MS Sans Serif 8 point, the caption label bold.
  LOGFONTW normal{}, bold{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(d.txtPath, WM_GETFONT, 0, 0)), sizeof(normal),
             &normal);
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(d.lblCaption, WM_GETFONT, 0, 0)), sizeof(bold),
             &bold);
  EXPECT_STREQ(normal.lfFaceName, L"MS Sans Serif");
  EXPECT_LT(normal.lfWeight, FW_BOLD);
  EXPECT_EQ(bold.lfWeight, FW_BOLD);

  // Tab order: list, drive box, OK, Storno, path field, and round again.
  const HWND order[] = {d.lbDir, d.cmbDrive, d.pbOk, d.pbCancel, d.txtPath, d.lbDir};
  HWND at = GetNextDlgTabItem(w, nullptr, FALSE);
  EXPECT_EQ(at, d.lbDir);
  for (size_t i = 1; i < std::size(order); ++i) {
    at = GetNextDlgTabItem(w, at, FALSE);
    EXPECT_EQ(at, order[i]) << i;
  }
}

TEST_F(PickerTest, CreationClearsTheInputsAndSelectsTheRoot) {
  TfrmBrowseFldr& d = Make();
  EXPECT_EQ(d.SelectedDir, L"");
  EXPECT_EQ(Text(d.lblCaption), L"");
  EXPECT_EQ(SendMessageW(d.lbDir, LB_GETCURSEL, 0, 0), 0);
  // The list starts on the program's current folder.
  EXPECT_EQ(_wcsicmp(d.Directory().c_str(), platform::CurrentDir().c_str()), 0);
  EXPECT_EQ(_wcsicmp(d.ItemPath(0).c_str(), StartRoot().c_str()), 0);
}

// ------------------------------------------------------- the walk at showing

TEST_F(PickerTest, ShowingOpensTheFoldersBeforeTheLastBackslash) {
  const std::wstring base = Listed(temp.Path());
  testutil::MakeDirs(temp / L"Vantor\\Projekty");
  struct Case {
    std::wstring selected, opened;
  } cases[] = {
      // The last name is never opened, even when it exists.
      {base + L"\\Vantor", base},
      {base + L"\\Vantor\\Projekty", base + L"\\Vantor"},
      // The walk stops at the first prefix that does not exist.
      {base + L"\\Chybi\\Vantor\\Projekty", base},
      // A trailing "\" opens every folder named.
      {base + L"\\Vantor\\Projekty\\", base + L"\\Vantor\\Projekty"},
      {L"C:\\Vantor", L"C:\\"},
      {L"z:\\tmp", L"Z:\\"},
      // Typed in other case: shown as stored.
      {base + L"\\VANTOR\\x", base + L"\\Vantor"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::Utf8(c.selected));
    Make(c.selected);
    std::wstring shownPath, selected;
    InsideModal script({[&] {
      shownPath = Text(Dialog().txtPath);
      selected = SelectedPath();
      SendMessageW(Dialog().pbCancel, BM_CLICK, 0, 0);
    }});
    EXPECT_EQ(Dialog().ShowModal(), 2);
    EXPECT_EQ(Dialog().Directory(), c.opened);
    EXPECT_EQ(shownPath, c.opened);
    EXPECT_EQ(selected, c.opened);
    EXPECT_EQ(Dialog().Items()[IndexOf(c.opened)].kind, DirItem::Open);
  }
}

TEST_F(PickerTest, NothingOpenableLeavesTheStartFolderWithItsRootShown) {
  // No drive Q:, no "\" at all, an empty text.
  for (const std::wstring selected : {L"Q:\\Vantor\\Projekty", L"Vantor", L""}) {
    SCOPED_TRACE(platform::Utf8(selected));
    Make(selected);
    std::wstring shownPath;
    InsideModal script({[&] {
      shownPath = Text(Dialog().txtPath);
      PressKey(Dialog().lbDir, VK_ESCAPE);
    }});
    EXPECT_EQ(Dialog().ShowModal(), 2);
    EXPECT_EQ(_wcsicmp(Dialog().Directory().c_str(), platform::CurrentDir().c_str()), 0);
    EXPECT_EQ(_wcsicmp(shownPath.c_str(), StartRoot().c_str()), 0);
  }
}

// ------------------------------------------------------------ the folder list

TEST_F(PickerTest, ListShowsTheChainThenVisibleSubFoldersSortedWithoutCase) {
  const std::wstring base = Listed(temp.Path());
  for (const wchar_t* name : {L"beta", L"Alpha", L"gamma", L"Žluťoučký", L"skryta", L"systemova"})
    testutil::MakeDirs(temp / name);
  SetFileAttributesW((temp / L"skryta").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((temp / L"systemova").c_str(), FILE_ATTRIBUTE_SYSTEM);
  testutil::WriteFile(temp / L"soubor.txt", "x");

  TfrmBrowseFldr& d = Make();
  ASSERT_TRUE(d.OpenDirectory(base));
  const auto& items = d.Items();
  // Chain: root, one item per folder on the way, the open folder.
  size_t chain = 1;
  for (wchar_t ch : base.substr(3))
    if (ch == L'\\') ++chain;
  ASSERT_EQ(items.size(), chain + 1 + 4);
  EXPECT_EQ(items[0].path, base.substr(0, 3));
  EXPECT_EQ(items[0].name, base.substr(0, 3));
  for (size_t i = 0; i <= chain; ++i) {
    EXPECT_EQ(items[i].level, static_cast<int>(i));
    EXPECT_EQ(items[i].kind, i == chain ? DirItem::Open : DirItem::Chain);
    EXPECT_EQ(base.compare(0, items[i].path.size(), items[i].path), 0) << i;
  }
  EXPECT_EQ(items[chain].path, base);
  std::vector<std::wstring> subs;
  for (size_t i = chain + 1; i < items.size(); ++i) {
    EXPECT_EQ(items[i].kind, DirItem::Sub);
    EXPECT_EQ(items[i].level, static_cast<int>(chain) + 1);
    EXPECT_EQ(items[i].path, base + L"\\" + items[i].name);
    subs.push_back(items[i].name);
  }
  EXPECT_EQ(subs, (std::vector<std::wstring>{L"Alpha", L"beta", L"gamma", L"Žluťoučký"}));
  // The list control holds the same texts, for screen readers too.
  ASSERT_EQ(SendMessageW(d.lbDir, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(items.size()));
  wchar_t shown[MAX_PATH];
  SendMessageW(d.lbDir, LB_GETTEXT, chain + 1, reinterpret_cast<LPARAM>(shown));
  EXPECT_STREQ(shown, L"Alpha");

  // A sub-folder of a root gets a single "\".
  ASSERT_TRUE(d.OpenDirectory(L"Z:\\"));
  EXPECT_EQ(d.Items()[0].kind, DirItem::Open);
  EXPECT_EQ(d.ItemPath(IndexOf(L"Z:\\tmp")), L"Z:\\tmp");
}

TEST_F(PickerTest, ClickShowsThePathAndDoubleClickOpens) {
  const std::wstring base = Listed(temp.Path());
  testutil::MakeDirs(temp / L"Vantor\\Data");
  Make(base + L"\\x");
  std::wstring afterClick, afterTyping, afterDouble, afterKey;
  InsideModal script({
      [&] {
        Type(L"C:\\jinam");
        ClickItem(IndexOf(base + L"\\Vantor"));
        afterClick = Text(Dialog().txtPath);
      },
      [&] {
        ClickItem(IndexOf(base + L"\\Vantor"), true);
        afterDouble = Dialog().Directory();
        // Down from the open folder reaches its first sub-folder.
        PressKey(Dialog().lbDir, VK_DOWN);
      },
      [&] {
        afterKey = Text(Dialog().txtPath);
        ClickItem(0, true);  // back up to the root
      },
      [&] { SendMessageW(Dialog().pbCancel, BM_CLICK, 0, 0); },
  });
  EXPECT_EQ(Dialog().ShowModal(), 2);
  EXPECT_EQ(afterClick, base + L"\\Vantor");
  EXPECT_EQ(afterDouble, base + L"\\Vantor");
  EXPECT_EQ(afterKey, base + L"\\Vantor\\Data");
  EXPECT_EQ(Dialog().Directory(), base.substr(0, 3));
}

TEST_F(PickerTest, FolderThatVanishedIsReportedAndTheListKeepsItsFolder) {
  const std::wstring base = Listed(temp.Path());
  testutil::MakeDirs(temp / L"Pryc");
  TfrmBrowseFldr& d = Make();
  ASSERT_TRUE(d.OpenDirectory(base));
  RemoveDirectoryW((temp / L"Pryc").c_str());
  ScriptedBoxes boxes;
  SendMessageW(d.lbDir, LB_SETCURSEL, IndexOf(base + L"\\Pryc"), 0);
  d.lbDirDblClick(d.lbDir);
  EXPECT_EQ(d.Directory(), base);
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].flags, static_cast<unsigned>(MB_ICONHAND));
  EXPECT_NE(boxes.Asked()[0].text.find(L"Pryc"), std::wstring::npos);
}

// ------------------------------------------------------------------ drives

TEST_F(PickerTest, DriveBoxListsDrivesInLetterOrderAndFollowsTheList) {
  TfrmBrowseFldr& d = Make();
  const auto& drives = d.Drives();
  ASSERT_GE(drives.size(), 2u);
  for (size_t i = 1; i < drives.size(); ++i) EXPECT_LT(drives[i - 1].letter, drives[i].letter);
  int c = -1, z = -1;
  for (size_t i = 0; i < drives.size(); ++i) {
    if (drives[i].letter == L'C') c = static_cast<int>(i);
    if (drives[i].letter == L'Z') z = static_cast<int>(i);
  }
  ASSERT_GE(c, 0);
  ASSERT_GE(z, 0);
  // Fixed drives: lower-case letter, the label in brackets.
  EXPECT_EQ(drives[c].type, static_cast<UINT>(DRIVE_FIXED));
  EXPECT_EQ(drives[c].text.substr(0, 4), L"c: [");
  EXPECT_EQ(drives[c].text.back(), L']');
  EXPECT_EQ(picker::DriveText(L'C', DRIVE_FIXED), drives[c].text);
  EXPECT_EQ(picker::DriveText(L'C', DRIVE_REMOVABLE), L"c:");
  EXPECT_EQ(SendMessageW(d.cmbDrive, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(drives.size()));

  ASSERT_TRUE(d.OpenDirectory(L"C:\\windows"));
  EXPECT_EQ(SendMessageW(d.cmbDrive, CB_GETCURSEL, 0, 0), c);
  ASSERT_TRUE(d.OpenDirectory(L"Z:\\tmp"));
  EXPECT_EQ(SendMessageW(d.cmbDrive, CB_GETCURSEL, 0, 0), z);

  // Choosing C: in the box goes back to the folder that was open there;
  // the path field keeps its text until an item is selected.
  SetWindowTextW(d.txtPath, L"beze změny");
  SendMessageW(d.cmbDrive, CB_SETCURSEL, c, 0);
  SendMessageW(d.Handle(), WM_COMMAND, MAKEWPARAM(picker::idCmbDrive, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(d.cmbDrive));
  EXPECT_EQ(d.Directory(), L"C:\\windows");
  EXPECT_EQ(Text(d.txtPath), L"beze změny");
}

TEST_F(PickerTest, DriveThatCannotBeReadIsReportedAndTheListKeepsItsFolder) {
  TfrmBrowseFldr& d = Make();
  ASSERT_TRUE(d.OpenDirectory(L"C:\\windows"));
  wchar_t missing = 0;
  const DWORD present = GetLogicalDrives();
  for (int i = 25; i >= 3 && !missing; --i)
    if (!(present & (1u << i))) missing = static_cast<wchar_t>(L'A' + i);
  ASSERT_NE(missing, 0);
  ScriptedBoxes boxes;
  EXPECT_FALSE(d.SelectDrive(missing));
  EXPECT_EQ(d.Directory(), L"C:\\windows");
  EXPECT_EQ(d.Drives()[SendMessageW(d.cmbDrive, CB_GETCURSEL, 0, 0)].letter, L'C');
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].flags, static_cast<unsigned>(MB_ICONHAND));
  EXPECT_EQ(boxes.Asked()[0].caption, L"Instalace VantorPro");
  EXPECT_NE(boxes.Asked()[0].text.find(std::wstring{missing, L':'}), std::wstring::npos);
}

// -------------------------------------------------------------- accepting

TEST_F(PickerTest, OkAcceptsAnExistingFolderExactlyAsTyped) {
  const std::wstring typed = temp.Path() + L"\\";  // trailing "\" kept
  ScriptedBoxes boxes;
  Make(L"C:\\");
  InsideModal script({[&] {
    Type(typed);
    ClickOk();
  }});
  EXPECT_EQ(Dialog().ShowModal(), 1);
  EXPECT_EQ(Dialog().SelectedDir, typed);
  EXPECT_TRUE(boxes.Asked().empty());
  EXPECT_FALSE(IsWindowVisible(Dialog().Handle()));

  // Enter in the path field works as OK.
  Make(L"C:\\");
  InsideModal enter({[&] {
    Type(L"z:\\TMP");
    SetFocus(Dialog().txtPath);
    PressKey(Dialog().txtPath, VK_RETURN);
  }});
  EXPECT_EQ(Dialog().ShowModal(), 1);
  EXPECT_EQ(Dialog().SelectedDir, L"z:\\TMP");
}

TEST_F(PickerTest, MissingFolderIsCreatedWithItsParentsOnYes) {
  const std::wstring typed = temp.Path() + L"\\Nova\\Hloubka\\Vantor";
  ScriptedBoxes boxes({IDYES});
  Make(L"C:\\");
  InsideModal script({[&] {
    Type(typed);
    ClickOk();
  }});
  EXPECT_EQ(Dialog().ShowModal(), 1);
  EXPECT_EQ(Dialog().SelectedDir, typed);
  EXPECT_TRUE(platform::FolderExists(typed));
  ASSERT_EQ(boxes.Asked().size(), 1u);
  EXPECT_EQ(boxes.Asked()[0].text, L"Složka \r\r" + typed + L"\r\rneexistuje! Chcete ji vytvořit?");
  EXPECT_EQ(boxes.Asked()[0].caption, L"Výběr složky");
  EXPECT_EQ(boxes.Asked()[0].flags, 36u);
}

TEST_F(PickerTest, MissingFolderAnsweredNoCreatesNothingAndTheDialogStays) {
  const std::wstring typed = temp.Path() + L"\\Nova\\Vantor";
  ScriptedBoxes boxes({IDNO});
  Make(L"C:\\");
  bool stillOpen = false;
  std::wstring stillTyped;
  InsideModal script({
      [&] {
        Type(typed);
        ClickOk();
      },
      [&] {
        stillOpen = IsWindowVisible(Dialog().Handle()) && Dialog().ModalResult == 0;
        stillTyped = Text(Dialog().txtPath);
        SendMessageW(Dialog().pbCancel, BM_CLICK, 0, 0);
      },
  });
  EXPECT_EQ(Dialog().ShowModal(), 2);
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(stillTyped, typed);
  EXPECT_FALSE(platform::FolderExists(temp / L"Nova"));
  EXPECT_EQ(boxes.Asked().size(), 1u);
}

TEST_F(PickerTest, EmptyPathAnsweredYesShowsTheErrorAndTheDialogStays) {
  ScriptedBoxes boxes({IDYES, IDOK});
  Make(L"C:\\");
  bool stillOpen = false;
  InsideModal script({
      [&] {
        Type(L"");
        ClickOk();
      },
      [&] {
        stillOpen = IsWindowVisible(Dialog().Handle()) && Dialog().ModalResult == 0;
        PressKey(Dialog().lbDir, VK_ESCAPE);
      },
  });
  EXPECT_EQ(Dialog().ShowModal(), 2);
  EXPECT_TRUE(stillOpen);
  ASSERT_EQ(boxes.Asked().size(), 2u);
  EXPECT_EQ(boxes.Asked()[0].flags, 36u);
  EXPECT_EQ(boxes.Asked()[1].text, L"Unable to create directory.");
  EXPECT_EQ(boxes.Asked()[1].caption, L"Instalace VantorPro");
  EXPECT_EQ(boxes.Asked()[1].flags, static_cast<unsigned>(MB_ICONHAND));
}

TEST_F(PickerTest, RealQuestionBoxShowsTheLinesAndNoKeepsTheDialog) {
  const std::wstring typed = temp.Path() + L"\\Nikdy";
  platform::SetMessageBoxResponder({});  // the real box
  Make(L"C:\\");
  std::wstring boxText;
  bool boxFound = false, stillOpen = false;
  InsideModal script({
      [&] {
        Type(typed);
        ClickOk();  // blocks in the real message box; the next steps run inside it
      },
      [&] {
        HWND box = FindWindowW(L"#32770", L"Výběr složky");
        boxFound = box != nullptr;
        if (!box) return;
        // The text is in the box's static control.
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
          wchar_t cls[32];
          GetClassNameW(c, cls, 32);
          if (!_wcsicmp(cls, L"Static") && GetWindowTextLengthW(c) > 0) boxText = Text(c);
        }
        EXPECT_TRUE(GetDlgItem(box, IDYES) && GetDlgItem(box, IDNO));
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDNO)));
      },
      [&] {
        stillOpen = IsWindowVisible(Dialog().Handle()) && Dialog().ModalResult == 0;
        PostMessageW(Dialog().Handle(), WM_CLOSE, 0, 0);
      },
  });
  EXPECT_EQ(Dialog().ShowModal(), 2);
  EXPECT_TRUE(boxFound);
  EXPECT_EQ(boxText, L"Složka \r\r" + typed + L"\r\rneexistuje! Chcete ji vytvořit?");
  EXPECT_TRUE(stillOpen);
  EXPECT_FALSE(platform::FolderExists(typed));
}

// -------------------------------------------------------------- cancelling

TEST_F(PickerTest, StornoEscapeAndClosingGiveTwoWhateverWasTyped) {
  const std::function<void()> ways[] = {
      [] { SendMessageW(Dialog().pbCancel, BM_CLICK, 0, 0); },
      [] { PressKey(Dialog().lbDir, VK_ESCAPE); },
      [] { PressKey(Dialog().txtPath, VK_ESCAPE); },
      [] { PostMessageW(Dialog().Handle(), WM_SYSCOMMAND, SC_CLOSE, 0); },
  };
  int way = 0;
  for (const auto& cancel : ways) {
    SCOPED_TRACE(way++);
    ScriptedBoxes boxes;
    Make(temp.Path() + L"\\x");
    InsideModal script({[&] {
      Type(temp.Path());
      cancel();
    }});
    EXPECT_EQ(Dialog().ShowModal(), 2);
    EXPECT_FALSE(script.LeftOpen());
    EXPECT_TRUE(boxes.Asked().empty());
    EXPECT_FALSE(IsWindowVisible(Dialog().Handle()));
  }
}

TEST_F(PickerTest, ModalLoopDisablesTheMainWindowAndEndsWhenTheProgramEnds) {
  HWND main = CreateWindowExW(0, L"STATIC", L"hlavní", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_TRUE(main);
  platform::SetMainWindow(main);
  Make(L"C:\\");
  bool disabled = false;
  HWND owner = nullptr;
  InsideModal script({[&] {
    disabled = !IsWindowEnabled(main);
    owner = GetWindow(Dialog().Handle(), GW_OWNER);
    platform::Terminate();
  }});
  EXPECT_EQ(Dialog().ShowModal(), 2);
  EXPECT_TRUE(disabled);
  EXPECT_EQ(owner, main);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_TRUE(platform::Terminated());
  DestroyWindow(main);
}

// ------------------------------------------------------ the component choice

struct Choice {
  int index;
  std::wstring field;     // before
  std::wstring typed;     // into the picker's path field; empty: accepted as shown
  std::wstring expected;  // the field afterwards
  std::wstring caption;   // the picker's caption label
};

TEST_F(PickerTest, ComponentFolderChoiceWritesThePickedFolderWithTheSubFolder) {
  const std::wstring base = Listed(temp.Path());
  testutil::MakeDirs(temp / L"Vantor");
  testutil::MakeDirs(temp / L"Data");
  const std::wstring vantor = L"Zvolte složku pro součást \"VantorPro\"";
  const Choice choices[] = {
      // Accepted as shown: the walk opened the root, the name is appended again.
      {1, L"C:\\Vantor", L"", L"C:\\Vantor", vantor},
      // No "Vantor" folder: the picker opens the drive root.
      {2, base + L"\\Chybi\\Projekty", L"", base + L"\\Projekty",
       L"Zvolte složku pro součást \"Projekty\""},
      {3, L"", base + L"\\Data", base + L"\\Data\\Vzory", L"Zvolte složku pro součást \"Vzory\""},
      {4, L"C:\\", L"Z:\\", L"Z:\\Priklady", L"Zvolte složku pro součást \"Příklady\""},
      // The name is appended even when the folder already ends with it.
      {1, base + L"\\Vantor\\Vantor", L"", base + L"\\Vantor\\Vantor", vantor},
      // Only one of two trailing "\" goes.
      {2, L"", base + L"\\Data\\\\", base + L"\\Data\\\\Projekty",
       L"Zvolte složku pro součást \"Projekty\""},
  };
  for (const auto& c : choices) {
    SCOPED_TRACE(platform::Utf8(c.field + L" -> " + c.expected));
    ScriptedBoxes boxes({IDYES});
    std::wstring field = c.field, caption, selectedAtShow;
    InsideModal script({[&] {
      caption = Text(Dialog().lblCaption);
      if (!c.typed.empty()) Type(c.typed);
      ClickOk();
    }});
    EXPECT_TRUE(picker::ChooseComponentFolder(c.index, field));
    EXPECT_EQ(field, c.expected);
    EXPECT_EQ(caption, c.caption);
    EXPECT_FALSE(frmBrowseFldr) << "destroyed after the choice";
    EXPECT_FALSE(FindWindowW(picker::kBrowseFldrClass, nullptr));
  }
}

TEST_F(PickerTest, PickerThatCannotBeMadeLeavesNoWindowAndTheFieldAsItWas) {
  std::wstring field = L"C:\\Vantor";
  {
    testutil::RefusedChild refused(picker::idTxtPath);
    EXPECT_THROW(picker::ChooseComponentFolder(1, field), platform::SetupError);
  }
  EXPECT_EQ(field, L"C:\\Vantor");
  EXPECT_FALSE(frmBrowseFldr);
  EXPECT_FALSE(FindWindowW(picker::kBrowseFldrClass, nullptr));
}

TEST_F(PickerTest, CancelledChoiceKeepsTheField) {
  std::wstring field = temp.Path() + L"\\Vantor";
  const std::wstring before = field;
  InsideModal script({[&] {
    Type(L"C:\\windows");
    PressKey(Dialog().lbDir, VK_ESCAPE);
  }});
  EXPECT_FALSE(picker::ChooseComponentFolder(1, field));
  EXPECT_EQ(field, before);
  EXPECT_FALSE(frmBrowseFldr);
  EXPECT_FALSE(FindWindowW(picker::kBrowseFldrClass, nullptr));
}

}  // namespace
