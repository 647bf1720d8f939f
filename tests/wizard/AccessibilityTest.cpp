// What a screen reader finds: the name of every field through the system's
// accessibility layer, and where the keyboard focus goes when the focused
// control hides.
#include <windows.h>
#include <oleacc.h>

#include <string>
#include <utility>

#include "picker/BrowseFolder.h"
#include "tests/wizard/WizardFixture.h"

namespace wiztest {
namespace {

using testutil::WindowText;

// The name the accessibility layer gives a window, as a screen reader reads
// it (empty when it has none).
std::wstring AccessibleName(HWND control) {
  platform::ComPtr<IAccessible> accessible;
  if (FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT),
                                        __uuidof(IAccessible), accessible.put_void())))
    return L"(no accessible object)";
  VARIANT self;
  VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::wstring text;
  if (accessible->get_accName(self, &name) == S_OK && name) text = name;
  SysFreeString(name);
  return text;
}

class AccessibilityTest : public WizardTest {};

TEST_F(AccessibilityTest, EveryFieldIsNamedByItsLabelOrItsHint) {
  TfrmSetup& form = Open();
  const std::wstring folderHint = L"Umožní vybrat složku pro danou součást";
  // clang-format off
  const std::pair<const wchar_t*, std::wstring> fields[] = {
      {L"txtName",       L"Jméno:"},
      {L"txtCompany",    L"Společnost:"},
      {L"txtVantorPro",  L"VantorPro:"},
      {L"SpeedButton1",  folderHint},
      {L"txtProjekty",   L"Projekty:"},
      {L"SpeedButton2",  folderHint},
      {L"txtVzory",      L"Vzory:"},
      {L"SpeedButton3",  folderHint},
      {L"cbVzory",       L"Ponechat vzory na CD-ROM"},
      {L"txtPriklady",   L"Příklady:"},
      {L"SpeedButton4",  folderHint},
      {L"txtFolderName", L"Název:"},
      {L"lbFolders",     L"Existující skupiny:"},
      {L"memSettings",   L"Zkontrolujte nastavení instalace aplikace VantorPro"},
      {L"pbPrerusit",    L"Přerušit"},
      {L"rbRestartAno",  L"restartovat počítač nyní"},
      {L"pbNext",        L"Další  >"},
  };
  // clang-format on
  for (const auto& [field, name] : fields) {
    SCOPED_TRACE(platform::Utf8(field));
    HWND hwnd = form.Control(field);
    ASSERT_NE(hwnd, nullptr);
    // Wine's layer names no list box (Windows takes the label before it):
    // for the list the label's place in the stacking order is what counts.
    const bool list = field == std::wstring(L"lbFolders");
    if (!list) {
      EXPECT_EQ(AccessibleName(hwnd), name);
    }
    // A field without text of its own is named by the label right before it.
    if (list || WindowText(hwnd).empty()) {
      EXPECT_EQ(WindowText(GetWindow(hwnd, GW_HWNDPREV)), name);
    }
  }
}

TEST_F(AccessibilityTest, PickerFieldsAreNamed) {
  Open();
  picker::TfrmBrowseFldr dialog;
  EXPECT_EQ(AccessibleName(dialog.txtPath), L"Složka:");
  // Wine's layer reads a drop-down box's selection as its name; Windows
  // reads the label right before it, which is a label of no size here.
  HWND driveLabel = GetWindow(dialog.cmbDrive, GW_HWNDPREV);
  EXPECT_EQ(WindowText(driveLabel), L"Jednotka:");
  RECT r;
  GetWindowRect(driveLabel, &r);
  EXPECT_TRUE(IsRectEmpty(&r));
  EXPECT_EQ(AccessibleName(dialog.pbOk), L"OK");
  // The owner-drawn list keeps its item texts for the reader.
  ASSERT_GT(SendMessageW(dialog.lbDir, LB_GETCOUNT, 0, 0), 0);
  wchar_t item[MAX_PATH] = {};
  SendMessageW(dialog.lbDir, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(std::wstring(item), dialog.Items()[0].name);
}

TEST_F(AccessibilityTest, FocusMovesOnWhenTheBottomBarHidesOnTheCopyPage) {
  TfrmSetup& form = Open();
  {
    testutil::ScriptedBoxes boxes;  // the copy finds no archive here
    form.CurrentPage = 5;
    form.ShowPage(5);
    platform::ResetTerminated();
    ::AbortRequested = false;
  }
  form.SetVisible(L"pnlBottom", true);
  form.SetFocus(L"pbNext");
  ASSERT_EQ(FocusName(), L"pbNext");
  form.SetVisible(L"pnlBottom", false);
  EXPECT_EQ(FocusName(), L"pbPrerusit");
}

}  // namespace
}  // namespace wiztest
