#include "wizard/ControlFactory.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <windowsx.h>

#include <algorithm>
#include <utility>

#include "platform/Platform.h"
#include "platform/Window.h"
#include "wizard/ControlIds.h"
#include "wizard/JpegImage.h"
#include "wizard/ResourceIds.h"

namespace wizard {

namespace {

struct FontSpec {
  int height;
  int weight;
  COLORREF colour;  // on the black panels
  BYTE charset;
};

const FontSpec& StyleOf(Style style) {
  constexpr COLORREF white = RGB(255, 255, 255), red = RGB(255, 0, 0), black = RGB(0, 0, 0);
  static const FontSpec specs[kStyleCount] = {
      {11, FW_NORMAL, white, DEFAULT_CHARSET},     // Default: white where it meets a panel
      {19, FW_NORMAL, white, DEFAULT_CHARSET},     // PageHeading
      {16, FW_NORMAL, white, DEFAULT_CHARSET},     // WelcomeHeading
      {13, FW_BOLD, white, DEFAULT_CHARSET},       // SubHeading
      {13, FW_NORMAL, white, DEFAULT_CHARSET},     // Body
      {11, FW_NORMAL, white, DEFAULT_CHARSET},     // Small
      {13, FW_BOLD, red, DEFAULT_CHARSET},         // Product
      {11, FW_NORMAL, black, DEFAULT_CHARSET},     // Field
      {11, FW_NORMAL, black, EASTEUROPE_CHARSET},  // FieldCE
  };
  return specs[static_cast<int>(style)];
}

// The colours a kind of control asks for in WM_CTLCOLORSTATIC.
enum class Colours {
  Panel,   // its style's text colour on black
  Face,    // the button face (the line on the bottom bar's edge)
  Window,  // window text on the window colour (the read-only summary)
  System,  // the system's own (edit fields and lists)
};

// ------------------------------------------------------ set-up by kind

// The folder-choice buttons take no keyboard focus: the press is tracked
// here instead of by the button, which would focus itself.
LRESULT CALLBACK ToolButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                DWORD_PTR) noexcept {
  auto inside = [hwnd](LPARAM pos) {
    RECT r;
    GetClientRect(hwnd, &r);
    POINT p{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
    return PtInRect(&r, p) != FALSE;
  };
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(hwnd);
      SendMessageW(hwnd, BM_SETSTATE, TRUE, 0);
      return 0;
    case WM_MOUSEMOVE:
      if (GetCapture() == hwnd) SendMessageW(hwnd, BM_SETSTATE, inside(lp), 0);
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == hwnd) {
        ReleaseCapture();
        SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
        if (inside(lp))
          SendMessageW(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                       reinterpret_cast<LPARAM>(hwnd));
      }
      return 0;
    case WM_CAPTURECHANGED:
      SendMessageW(hwnd, BM_SETSTATE, FALSE, 0);
      return 0;
    case WM_SETFOCUS:
      return 0;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &ToolButtonProc, 0);
      return DefSubclassProc(hwnd, msg, wp, lp);
    default:
      return DefSubclassProc(hwnd, msg, wp, lp);
  }
}

// A picture at the DPI, resampled with the halftone filter; at 96 DPI the
// decoded bitmap itself.
platform::UniqueBitmap ScalePicture(platform::UniqueBitmap picture, UINT dpi) {
  if (!picture || dpi == 96) return picture;
  BITMAP info{};
  GetObjectW(picture.get(), sizeof(info), &info);
  const int w = platform::ScaleTo(info.bmWidth, dpi), h = platform::ScaleTo(info.bmHeight, dpi);
  HDC screen = GetDC(nullptr);
  platform::UniqueBitmap scaled(CreateCompatibleBitmap(screen, w, h));
  HDC from = CreateCompatibleDC(screen), to = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  HGDIOBJ oldFrom = SelectObject(from, picture.get()), oldTo = SelectObject(to, scaled.get());
  SetStretchBltMode(to, HALFTONE);
  SetBrushOrgEx(to, 0, 0, nullptr);
  StretchBlt(to, 0, 0, w, h, from, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
  SelectObject(from, oldFrom);
  SelectObject(to, oldTo);
  DeleteDC(from);
  DeleteDC(to);
  return scaled ? std::move(scaled) : std::move(picture);
}

void SetUpPicture(const Control& control, Artwork& artwork) {
  platform::UniqueBitmap picture = ScalePicture(
      LoadJpegResource(control.def->id == ids::Image1 ? IDR_SIDE_PICTURE : IDR_WELCOME_PICTURE),
      artwork.dpi);
  if (!picture) return;
  artwork.pictures.push_back(std::move(picture));
  SendMessageW(control.hwnd, STM_SETIMAGE, IMAGE_BITMAP,
               reinterpret_cast<LPARAM>(artwork.pictures.back().get()));
}

void SetUpSink(const Control& control, Artwork&) {
  SendMessageW(control.hwnd, EM_SETLIMITTEXT, 0, 0);
}

void SetGlyph(const Control& control, Artwork& artwork) {
  if (!artwork.glyph) {
    // The image of the size the DPI asks for, the nearest one resampled.
    const int size = platform::ScaleTo(16, artwork.dpi);
    artwork.glyph.reset(
        static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_BINOCULARS),
                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  }
  SendMessageW(control.hwnd, BM_SETIMAGE, IMAGE_ICON,
               reinterpret_cast<LPARAM>(artwork.glyph.get()));
}

void SetUpToolButton(const Control& control, Artwork& artwork) {
  // BS_ICON shows the glyph alone; the text is the name a screen reader
  // reads: the hint.
  SetWindowTextW(control.hwnd, control.hint.c_str());
  SetGlyph(control, artwork);
  SetWindowSubclass(control.hwnd, &ToolButtonProc, 0, 0);
}

void SetUpCheck(const Control& control, Artwork&) {
  // White text on black: the themed look would draw its own text colour.
  SetWindowTheme(control.hwnd, L"", L"");
  if (control.def->flags & kChecked) SendMessageW(control.hwnd, BM_SETCHECK, BST_CHECKED, 0);
}

void SetUpList(const Control& control, Artwork& artwork) {
  SendMessageW(control.hwnd, LB_SETITEMHEIGHT, 0, platform::ScaleTo(13, artwork.dpi));
}

// The clip's frames do not scale: the control keeps their size and is
// centred on where the scaled clip would be.
void CentreAnimation(const Control& control, const Artwork& artwork) {
  RECT r;
  GetWindowRect(control.hwnd, &r);
  MapWindowPoints(nullptr, GetParent(control.hwnd), reinterpret_cast<POINT*>(&r), 2);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const POINT origin = AreaOrigin(control.def->area);
  const int x = platform::ScaleTo(origin.x + control.def->x, artwork.dpi) +
                (platform::ScaleTo(w, artwork.dpi) - w) / 2;
  const int y = platform::ScaleTo(origin.y + control.def->y, artwork.dpi) +
                (platform::ScaleTo(h, artwork.dpi) - h) / 2;
  SetWindowPos(control.hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetUpAnimation(const Control& control, Artwork& artwork) {
  SendMessageW(control.hwnd, ACM_OPENW, reinterpret_cast<WPARAM>(GetModuleHandleW(nullptr)),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDR_FILECOPY_AVI)));
  SendMessageW(control.hwnd, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 26));
  CentreAnimation(control, artwork);
}

void SetUpProgress(const Control& control, Artwork&) {
  SendMessageW(control.hwnd, PBM_SETRANGE32, 0, 1000);
  SendMessageW(control.hwnd, PBM_SETSTEP, 1, 0);
  SendMessageW(control.hwnd, PBM_SETPOS, 0, 0);
}

// ------------------------------------------------------ the kinds

struct KindSpec {
  Kind kind;
  const wchar_t* className;
  DWORD style;  // besides WS_CHILD | WS_CLIPSIBLINGS, the tab stop and the disabled state
  DWORD exStyle;
  unsigned flag;  // the layout flag that picks one of the next two styles (0: none)
  DWORD withFlag, withoutFlag;
  bool sizedByText;  // without a size in the table it takes its text's extent
  Colours colours;
  void (*setUp)(const Control&, Artwork&);  // after creation; nullptr: nothing
};

constexpr DWORD kScrolled = WS_VSCROLL | WS_HSCROLL;

// clang-format off
constexpr KindSpec kKinds[] = {
    // kind            class           style                                   ex-style          flag      with flag         without                text   colours           set-up
    {Kind::Region,     WC_STATICW,     0,                                      0,                0,        0,                0,                     false, Colours::Panel,   nullptr},
    {Kind::Line,       WC_STATICW,     0,                                      0,                0,        0,                0,                     false, Colours::Face,    nullptr},
    {Kind::Label,      WC_STATICW,     SS_NOPREFIX,                            0,                kWrap,    SS_LEFT,          SS_LEFTNOWORDWRAP,     true,  Colours::Panel,   nullptr},
    {Kind::Picture,    WC_STATICW,     SS_BITMAP,                              0,                0,        0,                0,                     false, Colours::Panel,   &SetUpPicture},
    // No word wrap: the field would reflow its whole text on every line the
    // unzip library reports.
    {Kind::Sink,       WC_EDITW,       ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | kScrolled,
                                                                               WS_EX_CLIENTEDGE, 0,        0,                0,                     false, Colours::System,  &SetUpSink},
    {Kind::Edit,       WC_EDITW,       ES_AUTOHSCROLL,                         WS_EX_CLIENTEDGE, 0,        0,                0,                     false, Colours::System,  nullptr},
    {Kind::Button,     WC_BUTTONW,     0,                                      0,                kDefault, BS_DEFPUSHBUTTON, BS_PUSHBUTTON,         false, Colours::Panel,   nullptr},
    {Kind::ToolButton, WC_BUTTONW,     BS_PUSHBUTTON | BS_ICON,                0,                0,        0,                0,                     false, Colours::Panel,   &SetUpToolButton},
    {Kind::CheckBox,   WC_BUTTONW,     BS_AUTOCHECKBOX,                        0,                0,        0,                0,                     false, Colours::Panel,   &SetUpCheck},
    {Kind::Radio,      WC_BUTTONW,     BS_AUTORADIOBUTTON,                     0,                kGroup,   WS_GROUP,         0,                     false, Colours::Panel,   &SetUpCheck},
    {Kind::List,       WC_LISTBOXW,    LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL,
                                                                               WS_EX_CLIENTEDGE, 0,        0,                0,                     false, Colours::System,  &SetUpList},
    {Kind::Summary,    WC_EDITW,       ES_MULTILINE | ES_READONLY | kScrolled, WS_EX_CLIENTEDGE, 0,        0,                0,                     false, Colours::Window,  nullptr},
    // Frames advance in the pumps on this thread: an animation thread of its
    // own would have to be waited for whenever the window goes.
    {Kind::Animation,  ANIMATE_CLASSW, ACS_TIMER,                              0,                0,        0,                0,                     false, Colours::Panel,   &SetUpAnimation},
    {Kind::Progress,   PROGRESS_CLASSW, 0,                                     0,                0,        0,                0,                     false, Colours::Panel,   &SetUpProgress},
};
// clang-format on

constexpr bool KindsInOrder() {
  for (size_t i = 0; i < std::size(kKinds); ++i)
    if (kKinds[i].kind != static_cast<Kind>(i)) return false;
  return true;
}
static_assert(KindsInOrder(), "one row per Kind, in the order of the enumeration");

const KindSpec& SpecOf(Kind kind) {
  return kKinds[static_cast<size_t>(kind)];
}

// The extent of a text in a font: its width and the font's line height.
SIZE TextExtent(HWND window, HFONT font, const wchar_t* text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text, lstrlenW(text), &size);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return {size.cx, tm.tmHeight};
}

// Where a control goes in the window's client area at the DPI; a text's
// extent is measured in the font made for that DPI.
RECT Place(HWND parent, const ControlDef& def, HFONT font, UINT dpi) {
  const POINT origin = AreaOrigin(def.area);
  SIZE size{platform::ScaleTo(def.w, dpi), platform::ScaleTo(def.h, dpi)};
  if (def.w == 0 && SpecOf(def.kind).sizedByText) size = TextExtent(parent, font, def.text);
  const int x = platform::ScaleTo(origin.x + def.x, dpi),
            y = platform::ScaleTo(origin.y + def.y, dpi);
  return {x, y, x + size.cx, y + size.cy};
}

HWND Create(HWND parent, const ControlDef& def, HFONT font, UINT dpi) {
  const KindSpec& kind = SpecOf(def.kind);
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS | kind.style;
  if (kind.flag) style |= (def.flags & kind.flag) ? kind.withFlag : kind.withoutFlag;
  if (def.tab >= 0) style |= WS_TABSTOP;
  if (def.flags & kDisabled) style |= WS_DISABLED;
  const RECT r = Place(parent, def, font, dpi);
  HWND hwnd = CreateWindowExW(kind.exStyle, kind.className, def.text, style, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(def.id)),
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) throw platform::SetupError(std::wstring(L"Cannot create the control ") + def.name);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return hwnd;
}

void AddHint(HWND tooltip, HWND parent, Control& control) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = parent;
  tool.uId = reinterpret_cast<UINT_PTR>(control.hwnd);
  tool.lpszText = control.hint.data();
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// The label that names a field (screen readers take the static right
// before a field in the stacking order as its name).
// clang-format off
constexpr std::pair<const wchar_t*, const wchar_t*> kNamedBy[] = {
    {L"txtName",       L"Label18"},
    {L"txtCompany",    L"Label19"},
    {L"txtVantorPro",  L"Label2"},
    {L"txtProjekty",   L"Label3"},
    {L"txtVzory",      L"Label5"},
    {L"txtPriklady",   L"Label6"},
    {L"txtFolderName", L"Label9"},
    {L"lbFolders",     L"Label10"},
    {L"memSettings",   L"Label12"},
};
// clang-format on

const wchar_t* LabelOf(const ControlDef& field) {
  for (const auto& [name, label] : kNamedBy)
    if (lstrcmpW(name, field.name) == 0) return label;
  return nullptr;
}

// Stacking order is the Tab order: the fields of each page, each right
// after its label, then the navigation buttons, then everything else
// without a tab stop, the black panels at the bottom. Labels take no focus,
// so the Tab order stays that of the fields.
void StackInTabOrder(const std::vector<Control>& controls) {
  std::vector<const Control*> order;
  for (const Control& control : controls) order.push_back(&control);
  auto rank = [](const Control* control) {
    const ControlDef& d = *control->def;
    if (d.kind == Kind::Region) return 4;
    if (d.kind == Kind::Line) return 3;
    if (d.tab < 0) return 2;
    return d.area == kBottom ? 1 : 0;
  };
  std::stable_sort(order.begin(), order.end(), [&](const Control* a, const Control* b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    if (rank(a) == 0 && a->def->area != b->def->area) return a->def->area < b->def->area;
    if (rank(a) <= 1) return a->def->tab < b->def->tab;
    // pnlBottom lies under the line on its edge.
    return false;
  });
  // Each naming label moves to just before its field.
  for (const Control& field : controls) {
    const wchar_t* labelName = LabelOf(*field.def);
    if (!labelName) continue;
    auto label = std::find_if(order.begin(), order.end(), [&](const Control* c) {
      return lstrcmpW(c->def->name, labelName) == 0;
    });
    if (label == order.end()) continue;
    const Control* moved = *label;
    order.erase(label);
    order.insert(std::find(order.begin(), order.end(), &field), moved);
  }
  HWND after = HWND_TOP;
  for (const Control* control : order) {
    SetWindowPos(control->hwnd, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = control->hwnd;
  }
}

}  // namespace

void MakeArtwork(Artwork& artwork, UINT dpi) {
  artwork.dpi = dpi;
  for (int s = 0; s < kStyleCount; ++s) {
    const FontSpec& font = StyleOf(static_cast<Style>(s));
    artwork.fonts[static_cast<size_t>(s)].reset(
        CreateFontW(-platform::ScaleTo(font.height, dpi), 0, 0, 0, font.weight, FALSE, FALSE, FALSE,
                    font.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif"));
  }
  artwork.black.reset(CreateSolidBrush(RGB(0, 0, 0)));
  artwork.face.reset(CreateSolidBrush(GetSysColor(COLOR_BTNFACE)));
  artwork.white.reset(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));
}

HWND CreateTooltip(HWND parent) {
  HWND tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                 WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, parent, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
  if (!tooltip) throw platform::SetupError(L"Cannot create the control tooltip");
  SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
  return tooltip;
}

std::vector<Control> CreateControls(HWND parent, HWND tooltip, Artwork& artwork) {
  std::vector<Control> controls;
  controls.reserve(Layout().size());
  for (const ControlDef& def : Layout()) {
    Control& control = controls.emplace_back();
    control.def = &def;
    control.visible = (def.flags & kHidden) == 0;
    control.hint = def.hint ? def.hint : L"";
    control.hwnd = Create(parent, def, artwork.Font(def.style), artwork.dpi);
    if (auto setUp = SpecOf(def.kind).setUp) setUp(control, artwork);
    if (!control.hint.empty()) AddHint(tooltip, parent, control);
  }
  StackInTabOrder(controls);
  return controls;
}

void ScaleControls(HWND parent, std::vector<Control>& controls, Artwork& artwork, UINT dpi) {
  if (dpi == artwork.dpi) return;
  // The old fonts, pictures and glyph live until no control uses them.
  Artwork old;
  old.fonts = std::move(artwork.fonts);
  old.pictures = std::move(artwork.pictures);
  old.glyph = std::move(artwork.glyph);
  artwork.pictures.clear();
  MakeArtwork(artwork, dpi);
  for (Control& control : controls) {
    const ControlDef& def = *control.def;
    HFONT font = artwork.Font(def.style);
    SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    const RECT r = Place(parent, def, font, dpi);
    // Pictures and the clip take their content's size.
    const bool ownSize = def.kind == Kind::Picture || def.kind == Kind::Animation;
    SetWindowPos(control.hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | (ownSize ? SWP_NOSIZE : 0));
    switch (def.kind) {
      case Kind::Picture:
        SetUpPicture(control, artwork);
        break;
      case Kind::ToolButton:
        SetGlyph(control, artwork);
        break;
      case Kind::List:
        SetUpList(control, artwork);
        break;
      case Kind::Animation:
        CentreAnimation(control, artwork);
        break;
      default:
        break;
    }
  }
  RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

HBRUSH StaticColours(const Control& control, HDC dc, const Artwork& artwork,
                     const std::vector<Control>& controls) {
  if (control.def->flags & kTransparent) {
    // What lies under the label: the black page and the pictures it
    // overlaps; the static then draws its text with the hollow brush.
    RECT label;
    GetClientRect(control.hwnd, &label);
    FillRect(dc, &label, artwork.black.get());
    MapWindowPoints(control.hwnd, GetParent(control.hwnd), reinterpret_cast<POINT*>(&label), 2);
    for (const Control& other : controls) {
      if (other.def->kind != Kind::Picture || !IsWindowVisible(other.hwnd)) continue;
      auto bitmap =
          reinterpret_cast<HBITMAP>(SendMessageW(other.hwnd, STM_GETIMAGE, IMAGE_BITMAP, 0));
      RECT picture, overlap;
      GetWindowRect(other.hwnd, &picture);
      MapWindowPoints(nullptr, GetParent(control.hwnd), reinterpret_cast<POINT*>(&picture), 2);
      if (!bitmap || !IntersectRect(&overlap, &label, &picture)) continue;
      HDC memory = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(memory, bitmap);
      BitBlt(dc, overlap.left - label.left, overlap.top - label.top, overlap.right - overlap.left,
             overlap.bottom - overlap.top, memory, overlap.left - picture.left,
             overlap.top - picture.top, SRCCOPY);
      SelectObject(memory, old);
      DeleteDC(memory);
    }
    SetTextColor(dc, StyleOf(control.def->style).colour);
    SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  }
  switch (SpecOf(control.def->kind).colours) {
    case Colours::Face:
      return artwork.face.get();
    case Colours::Window:
      SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(COLOR_WINDOW));
      return artwork.white.get();
    case Colours::System:
      return nullptr;
    case Colours::Panel:
    default:
      SetTextColor(dc, StyleOf(control.def->style).colour);
      SetBkColor(dc, RGB(0, 0, 0));
      return artwork.black.get();
  }
}

}  // namespace wizard
