// The layout of the wizard window as a table: every control with its name,
// kind, text, hint, placement, text style, initial state and tab order.
#pragma once

#include <windows.h>

#include <span>

namespace wizard {

// Where a control sits. Pages 0 to 6 are the pages of ntbkSetup.
enum Area : int { kForm = -3, kSide = -2, kBottom = -1 };

// Origin of an area in the window's client area.
POINT AreaOrigin(int area);

enum class Kind {
  Region,      // a black panel (Panel1, pnlBottom, ntbkSetup)
  Line,        // Shape1, the line in the button-face colour
  Label,       // static text; without a size it takes its text's size
  Picture,     // JPEG picture; the control takes the picture's size
  Sink,        // Memo1, never visible
  Edit,        // edit field
  Button,      // push button
  ToolButton,  // folder-choice button: glyph, takes no focus
  CheckBox,
  Radio,
  List,
  Summary,  // read-only multi-line text with scroll bars
  Animation,
  Progress,
};

enum class Style {
  Default,         // MS Sans Serif 11, window text
  PageHeading,     // 19, white
  WelcomeHeading,  // 16, white
  SubHeading,      // 13 bold, white
  Body,            // 13, white
  Small,           // 11, white
  Product,         // 13 bold, red
  Field,           // 11, black on the white field
  FieldCE,         // as Field, Central European character set
};
constexpr int kStyleCount = 9;

enum Flags : unsigned {
  kHidden = 1,
  kDisabled = 2,
  kChecked = 4,
  kWrap = 8,          // label wraps at word boundaries inside its size
  kDefault = 16,      // the window's default button (Enter)
  kGroup = 32,        // first radio button of its group
  kTransparent = 64,  // the pictures under the label show through
};

struct ControlDef {
  const wchar_t* name;
  int id;
  int area;
  Kind kind;
  const wchar_t* text;
  const wchar_t* hint;
  int x, y, w, h;  // w, h 0: the control takes its content's size
  Style style;
  unsigned flags;
  int tab;  // tab order inside its page or bar; -1: no tab stop
};

std::span<const ControlDef> Layout();

}  // namespace wizard
