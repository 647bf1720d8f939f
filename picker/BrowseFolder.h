// The modal folder picker: a directory list of one drive, a drive box and an
// editable path field; OK accepts the path (offering to create it), Storno
// cancels.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/Window.h"

namespace picker {

// Child-window identifiers. OK and Storno carry the dialog identifiers, so
// that Enter and Esc reach them through the dialog keyboard routing.
enum : int {
  idPbOk = IDOK,
  idPbCancel = IDCANCEL,
  idLblCaption = 100,
  idLbDir,
  idCmbDrive,
  idLabel1,
  idTxtPath,
  idLblDrive,  // names the drive box for screen readers; no size
};

// The window class, also how another process finds the dialog.
inline constexpr const wchar_t* kBrowseFldrClass = L"TfrmBrowseFldr";
inline constexpr const wchar_t* kBrowseFldrCaption = L"Výběr složky";

// One line of the directory list.
struct DirItem {
  enum Kind { Chain, Open, Sub };  // on the way down, the open folder, a sub-folder
  Kind kind = Chain;
  int level = 0;      // indentation step
  std::wstring name;  // as shown
  std::wstring path;  // full path ("C:\" for the root)
};

// One entry of the drive box.
struct DriveItem {
  wchar_t letter = L'C';  // upper case
  UINT type = DRIVE_FIXED;
  std::wstring text;  // as shown: "c: [label]", "a:", "n: \\server\share"
};

// What the drive box shows for a drive of the given type (upper-case letter).
std::wstring DriveText(wchar_t letter, UINT type);

class TfrmBrowseFldr : public platform::DialogWindow {
 public:
  // Makes the hidden dialog with its controls and runs FormCreate. The list
  // starts on the program's current folder. A failure on the way raises,
  // with no window left.
  TfrmBrowseFldr();
  ~TfrmBrowseFldr() override;

  // Controls, in the order of the window's declaration.
  HWND lblCaption = nullptr;
  HWND lbDir = nullptr;
  HWND cmbDrive = nullptr;
  HWND pbOk = nullptr;
  HWND pbCancel = nullptr;
  HWND Label1 = nullptr;
  HWND txtPath = nullptr;
  // In: the folder to open when shown. Out: the accepted path, as typed.
  std::wstring SelectedDir;
  // 0 while the dialog runs, then 1 (accepted) or 2 (cancelled or closed).
  int ModalResult = 0;

  // Shows the dialog centred, owned by the main window (disabled meanwhile),
  // and runs its own message loop until a result is set, the window is
  // closed or the program is terminating. Returns 1 or 2.
  int ShowModal();

  // Handlers; sender is the control the event came from (may be null).
  void FormCreate(HWND sender);
  void FormShow(HWND sender);
  void lbDirClick(HWND sender);
  void lbDirDblClick(HWND sender);
  void pbOkClick(HWND sender);
  void cmbDriveChange(HWND sender);

  // The directory list.
  const std::wstring& Directory() const { return directory_; }
  const std::vector<DirItem>& Items() const { return items_; }
  // Makes path the open folder and selects it. A folder that cannot be read
  // is reported in an error box and the list keeps its folder (false).
  bool OpenDirectory(const std::wstring& path);
  // Full path of the list's item at index (empty for no item).
  std::wstring ItemPath(int index) const;

  // The drive box.
  const std::vector<DriveItem>& Drives() const { return drives_; }
  wchar_t Drive() const;  // drive of the open folder, upper case
  // Switches the list to the drive's current folder. A drive that cannot be
  // read is reported in an error box; the list keeps its folder (false).
  bool SelectDrive(wchar_t letter);

 private:
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
  int DefaultButtonId() const noexcept override { return idPbOk; }
  int CancelButtonId() const noexcept override { return idPbCancel; }
  void OnCommand(int id, int code, HWND sender);
  bool Open(const std::wstring& path, bool report);
  void CreateControls();
  void OnDpiChanged() override;
  void FitDriveBox();
  HFONT FontOf(int id) const;  // the caption's is bold
  void FillDrives();
  void Rebuild(const std::wstring& folder, const std::vector<std::wstring>& subFolders,
               bool keepCase);
  void ShowDriveOfList();
  void DrawListItem(const DRAWITEMSTRUCT& item);
  void DrawDriveItem(const DRAWITEMSTRUCT& item);

  platform::UniqueFont font_;
  platform::UniqueFont boldFont_;
  std::wstring directory_;
  std::vector<DirItem> items_;
  std::vector<DriveItem> drives_;
  // The folder last open on each drive while the dialog lives.
  std::wstring driveFolders_[26];
};

// The current folder picker, made afresh for each folder choice.
extern std::unique_ptr<TfrmBrowseFldr> frmBrowseFldr;

}  // namespace picker
