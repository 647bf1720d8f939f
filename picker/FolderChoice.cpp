#include "picker/FolderChoice.h"

#include "picker/BrowseFolder.h"

namespace picker {

namespace {

struct Component {
  const wchar_t* caption;
  const wchar_t* subFolder;
};

// The sub-folder is the folder name the component gets, not its display name.
const Component kComponents[] = {
    {L"Zvolte složku pro součást \"VantorPro\"", L"\\Vantor"},
    {L"Zvolte složku pro součást \"Projekty\"", L"\\Projekty"},
    {L"Zvolte složku pro součást \"Vzory\"", L"\\Vzory"},
    {L"Zvolte složku pro součást \"Příklady\"", L"\\Priklady"},
};

// Destroys the picker however the choice ends.
struct PickerLifetime {
  ~PickerLifetime() { frmBrowseFldr.reset(); }
};

}  // namespace

bool ChooseComponentFolder(int index, std::wstring& fieldText) {
  if (index < 1 || index > 4) return false;
  const Component& component = kComponents[index - 1];
  PickerLifetime lifetime;
  frmBrowseFldr = std::make_unique<TfrmBrowseFldr>();
  SetWindowTextW(frmBrowseFldr->lblCaption, component.caption);
  frmBrowseFldr->SelectedDir = fieldText;
  if (frmBrowseFldr->ShowModal() != 1) return false;
  std::wstring folder = frmBrowseFldr->SelectedDir;
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  fieldText = folder + component.subFolder;
  return true;
}

}  // namespace picker
