// Choosing a component's folder in the modal folder picker.
#pragma once

#include <string>

namespace picker {

// Component indexes 1 to 4: VantorPro, Projekty, Vzory, Příklady. Shows a
// fresh picker opened at fieldText; when the user accepts a folder, fieldText
// becomes that folder (one trailing "\" removed) with the component's
// sub-folder appended and the result is true.
bool ChooseComponentFolder(int index, std::wstring& fieldText);

}  // namespace picker
