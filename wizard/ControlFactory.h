// The wizard window's controls made from the layout table. What differs
// between kinds of control (window class, styles, size from the text, the
// set-up after creation, the colours) is one row of a table per kind.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "wizard/Layout.h"

namespace wizard {

// One control of the window.
struct Control {
  const ControlDef* def = nullptr;
  HWND hwnd = nullptr;
  bool visible = true;  // the control's own Visible property
  std::wstring hint;
};

// What the controls draw with; it lives as long as the window.
struct Artwork {
  std::array<platform::UniqueFont, kStyleCount> fonts;
  std::vector<platform::UniqueBitmap> pictures;
  platform::UniqueIcon glyph;  // the folder buttons' binoculars
  platform::UniqueBrush black, face, white;
  UINT dpi = 96;  // what the fonts, pictures and glyph are made for

  HFONT Font(Style style) const { return fonts[static_cast<size_t>(style)].get(); }
};

// The fonts of the text styles at the DPI and the brushes of the panels.
void MakeArtwork(Artwork& artwork, UINT dpi);

// The tooltip that shows the controls' hints; raises SetupError when it
// cannot be made.
HWND CreateTooltip(HWND parent);

// Creates every control of the layout on parent (hidden), registers the
// hints with the tooltip and stacks the controls in Tab order. Raises
// SetupError when a control cannot be created; what was made is then
// destroyed with parent.
// The places, fonts and pictures are those of artwork.dpi.
std::vector<Control> CreateControls(HWND parent, HWND tooltip, Artwork& artwork);

// The controls laid out again for another DPI: fonts, places, pictures and
// glyph made afresh.
void ScaleControls(HWND parent, std::vector<Control>& controls, Artwork& artwork, UINT dpi);

// WM_CTLCOLORSTATIC for a control: the brush, or nullptr for the system's
// colours. A transparent label gets the pictures of controls under it.
HBRUSH StaticColours(const Control& control, HDC dc, const Artwork& artwork,
                     const std::vector<Control>& controls);

}  // namespace wizard
