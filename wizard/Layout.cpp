#include "wizard/Layout.h"

#include "wizard/ControlIds.h"

namespace wizard {

namespace {

constexpr int kPageLeft = 124;
constexpr int kBottomTop = 423;

using K = Kind;
using S = Style;

// clang-format off
constexpr ControlDef kLayout[] = {
// name            id                  area     kind            text                                                  hint                                                          x    y    w    h    style               flags               tab
// ---- regions of the window
{L"pnlBottom",     ids::pnlBottom,     kForm,   K::Region,      L"",                                                  nullptr,                                                      0,   423, 632, 30,  S::Default,         0,                  -1},
{L"Panel1",        ids::Panel1,        kForm,   K::Region,      L"",                                                  nullptr,                                                      0,   0,   124, 423, S::Default,         0,                  -1},
{L"ntbkSetup",     ids::ntbkSetup,     kForm,   K::Region,      L"",                                                  nullptr,                                                      124, 0,   508, 423, S::Default,         0,                  -1},
// ---- bottom bar pnlBottom
{L"Shape1",        ids::Shape1,        kBottom, K::Line,        L"",                                                  nullptr,                                                      0,   0,   632, 1,   S::Default,         0,                  -1},
{L"pbCancel",      ids::pbCancel,      kBottom, K::Button,      L"Storno",                                            L"Ukončí instalaci aplikace VantorPro",                       5,   4,   75,  25,  S::Default,         0,                  2},
{L"pbPrev",        ids::pbPrev,        kBottom, K::Button,      L"<  &Zpět",                                          L"Návrat na předchozí stránku",                               474, 4,   75,  25,  S::Default,         kDisabled,          0},
{L"pbNext",        ids::pbNext,        kBottom, K::Button,      L"&Další  >",                                         L"Následující část instalace",                                554, 4,   75,  25,  S::Default,         kDefault,           1},
// ---- side panel Panel1
{L"Label20",       ids::Label20,       kSide,   K::Label,       L"VantorPro V1.3",                                    nullptr,                                                      8,   35,  101, 16,  S::Product,         0,                  -1},
{L"Label21",       ids::Label21,       kSide,   K::Label,       L"© 2024 Quor",                                       nullptr,                                                      1,   57,  123, 13,  S::Small,           0,                  -1},
{L"Image1",        ids::Image1,        kSide,   K::Picture,     L"",                                                  nullptr,                                                      1,   94,  0,   0,   S::Default,         0,                  -1},
// ---- page 0 "pgUvod"
{L"lbl1_1",        ids::lbl1_1,        0,       K::Label,       L"Vítejte v průvodci instalací aplikace VantorPro",  nullptr,                                                      12,  18,  0,   0,   S::WelcomeHeading,  0,                  -1},
{L"Label22",       ids::Label22,       0,       K::Label,       L"Tento průvodce Vás povede krok za krokem instalací aplikace.", nullptr,                                           41,  144, 0,   0,   S::Body,            0,                  -1},
{L"Label23",       ids::Label23,       0,       K::Label,       L"Sledujte pokyny na obrazovce.",                     nullptr,                                                      41,  168, 0,   0,   S::Body,            0,                  -1},
{L"Label24",       ids::Label24,       0,       K::Label,       L"V dolní části hlavního okna jsou umístěny tlačítka \"Zpět\" a \"Další\", kterými se přesouváte mezi jednotlivými kroky instalace.",
                                                                                                                      nullptr,                                                      41,  295, 391, 56,  S::Body,            kWrap | kTransparent, -1},
{L"Image3",        ids::Image3,        0,       K::Picture,     L"",                                                  nullptr,                                                      340, 331, 0,   0,   S::Default,         0,                  -1},
{L"Memo1",         ids::Memo1,         0,       K::Sink,        L"Memo1",                                             nullptr,                                                      448, 72,  49,  49,  S::Field,           kHidden,            -1},
// ---- page 1 "pgUserInfo"
{L"lbl3_1",        ids::lbl3_1,        1,       K::Label,       L"Informace o uživateli",                             nullptr,                                                      16,  16,  0,   0,   S::PageHeading,     0,                  -1},
{L"lbl3_2",        ids::lbl3_2,        1,       K::Label,       L"Vyplňte Vaše jméno a společnost",                   nullptr,                                                      25,  74,  0,   0,   S::SubHeading,      0,                  -1},
{L"Label18",       ids::Label18,       1,       K::Label,       L"Jméno:",                                            nullptr,                                                      41,  120, 0,   0,   S::Body,            0,                  -1},
{L"Label19",       ids::Label19,       1,       K::Label,       L"Společnost:",                                       nullptr,                                                      41,  152, 0,   0,   S::Body,            0,                  -1},
{L"txtName",       ids::txtName,       1,       K::Edit,        L"",                                                  L"Vyplňte Vaše jméno",                                        121, 118, 350, 21,  S::Field,           0,                  0},
{L"txtCompany",    ids::txtCompany,    1,       K::Edit,        L"",                                                  L"Vyplňte název společnosti",                                 121, 150, 350, 21,  S::Field,           0,                  1},
// ---- page 2 "pgCesty"
{L"Label1",        ids::Label1,        2,       K::Label,       L"Umístění aplikace VantorPro na pevném disku",       nullptr,                                                      16,  16,  0,   0,   S::PageHeading,     0,                  -1},
{L"Label4",        ids::Label4,        2,       K::Label,       L"Zvolte umístění pro následující součásti",          nullptr,                                                      25,  74,  0,   0,   S::SubHeading,      0,                  -1},
{L"Label2",        ids::Label2,        2,       K::Label,       L"VantorPro:",                                        nullptr,                                                      41,  120, 0,   0,   S::Body,            0,                  -1},
{L"txtVantorPro",  ids::txtVantorPro,  2,       K::Edit,        L"",                                                  L"Vyplňte jméno složky pro soubory aplikace VantorPro",       120, 120, 350, 21,  S::Field,           0,                  0},
{L"SpeedButton1",  ids::SpeedButton1,  2,       K::ToolButton,  L"",                                                  L"Umožní vybrat složku pro danou součást",                    471, 120, 23,  22,  S::Default,         0,                  -1},
{L"Label3",        ids::Label3,        2,       K::Label,       L"Projekty:",                                         nullptr,                                                      41,  152, 0,   0,   S::Body,            0,                  -1},
{L"txtProjekty",   ids::txtProjekty,   2,       K::Edit,        L"",                                                  L"Vyplňte jméno složky pro projekty aplikace VantorPro",      120, 152, 350, 21,  S::Field,           0,                  1},
{L"SpeedButton2",  ids::SpeedButton2,  2,       K::ToolButton,  L"",                                                  L"Umožní vybrat složku pro danou součást",                    471, 152, 23,  22,  S::Default,         0,                  -1},
{L"Label5",        ids::Label5,        2,       K::Label,       L"Vzory:",                                            nullptr,                                                      41,  184, 0,   0,   S::Body,            0,                  -1},
{L"txtVzory",      ids::txtVzory,      2,       K::Edit,        L"",                                                  L"Vyplňte jméno složky pro vzory projektů aplikace VantorPro", 120, 184, 350, 21,  S::Field,           0,                  2},
{L"SpeedButton3",  ids::SpeedButton3,  2,       K::ToolButton,  L"",                                                  L"Umožní vybrat složku pro danou součást",                    471, 184, 23,  22,  S::Default,         0,                  -1},
{L"cbVzory",       ids::cbVzory,       2,       K::CheckBox,    L"Ponechat vzory na CD-ROM",                          L"Ponechá danou součást na CD-ROM. Pro používání těchto součástí je pak nutné mít v mechanice tento instalační CD-ROM.",
                                                                                                                                                                                    120, 208, 185, 17,  S::Small,           0,                  3},
{L"Label6",        ids::Label6,        2,       K::Label,       L"Příklady:",                                         nullptr,                                                      41,  236, 0,   0,   S::Body,            kHidden,            -1},
{L"txtPriklady",   ids::txtPriklady,   2,       K::Edit,        L"",                                                  L"Vyplňte jméno složky pro příklady projektů aplikace VantorPro", 120, 232, 350, 21, S::Field,          kHidden,            4},
{L"SpeedButton4",  ids::SpeedButton4,  2,       K::ToolButton,  L"",                                                  L"Umožní vybrat složku pro danou součást",                    471, 232, 23,  22,  S::Default,         kHidden,            -1},
{L"cbPriklady",    ids::cbPriklady,    2,       K::CheckBox,    L"Ponechat příklady na CD-ROM",                       L"Ponechá danou součást na CD-ROM. Pro používání těchto součástí je pak nutné mít v mechanice tento instalační CD-ROM.",
                                                                                                                                                                                    120, 256, 185, 17,  S::Small,           kHidden,            5},
// ---- page 3 "pgNabidka"
{L"Label7",        ids::Label7,        3,       K::Label,       L"Umístění aplikace VantorPro v nabídce START",       nullptr,                                                      16,  16,  0,   0,   S::PageHeading,     0,                  -1},
{L"Label8",        ids::Label8,        3,       K::Label,       L"Zvolte název skupiny v nabídce START",              nullptr,                                                      25,  74,  0,   0,   S::SubHeading,      0,                  -1},
{L"Label9",        ids::Label9,        3,       K::Label,       L"Název:",                                            nullptr,                                                      41,  120, 0,   0,   S::Body,            0,                  -1},
{L"txtFolderName", ids::txtFolderName, 3,       K::Edit,        L"",                                                  L"Vyplňte název skupiny pro aplikaci VantorPro",              120, 120, 350, 21,  S::Field,           0,                  0},
{L"Label10",       ids::Label10,       3,       K::Label,       L"Existující skupiny:",                               nullptr,                                                      121, 160, 0,   0,   S::Body,            0,                  -1},
{L"lbFolders",     ids::lbFolders,     3,       K::List,        L"",                                                  L"Seznam existujících skupin v nabídce START / Programy",     120, 184, 350, 225, S::Field,           0,                  1},
// ---- page 4 "pgStartCopy"
{L"Label11",       ids::Label11,       4,       K::Label,       L"Zkopírování souborů aplikace VantorPro",            nullptr,                                                      16,  16,  0,   0,   S::PageHeading,     0,                  -1},
{L"Label12",       ids::Label12,       4,       K::Label,       L"Zkontrolujte nastavení instalace aplikace VantorPro", nullptr,                                                    25,  74,  0,   0,   S::SubHeading,      0,                  -1},
{L"memSettings",   ids::memSettings,   4,       K::Summary,     L"",                                                  nullptr,                                                      120, 120, 350, 289, S::FieldCE,         0,                  0},
// ---- page 5 "pgCopyFiles"
{L"Label13",       ids::Label13,       5,       K::Label,       L"Probíhá kopírování souborů aplikace VantorPro",     nullptr,                                                      16,  16,  0,   0,   S::PageHeading,     0,                  -1},
{L"Label14",       ids::Label14,       5,       K::Label,       L"Čekejte prosím, dokud instalátor nezkopíruje soubory aplikace", nullptr,                                          25,  74,  0,   0,   S::SubHeading,      0,                  -1},
{L"Animate1",      ids::Animate1,      5,       K::Animation,   L"",                                                  nullptr,                                                      107, 160, 272, 60,  S::Default,         0,                  -1},
// The status line is as wide as the page leaves it: file names vary.
{L"lblCopyFile",   ids::lblCopyFile,   5,       K::Label,       L"Kopíruji soubor",                                   nullptr,                                                      107, 240, 401, 13,  S::Small,           0,                  -1},
{L"ProgressBar1",  ids::ProgressBar1,  5,       K::Progress,    L"",                                                  nullptr,                                                      107, 264, 272, 16,  S::Default,         0,                  -1},
{L"pbPrerusit",    ids::pbPrerusit,    5,       K::Button,      L"Přerušit",                                          L"Kliknutím na toto tlačítko přerušíte kopírování souborů aplikace VantorPro", 206, 296, 75, 25, S::Default, 0,            2},
// ---- page 6 "pgHotovo"
{L"Label15",       ids::Label15,       6,       K::Label,       L"Dokončení instalace souborů aplikace VantorPro",    nullptr,                                                      16,  16,  0,   0,   S::PageHeading,     0,                  -1},
{L"Label16",       ids::Label16,       6,       K::Label,       L"Instalátor dokončil kopírování souborů aplikace VantorPro.", nullptr,                                             25,  122, 0,   0,   S::Body,            0,                  -1},
{L"lblRestart",    ids::lblRestart,    6,       K::Label,       L"Pro dokončení instalace je nutné restartovat počítač.", nullptr,                                                  25,  186, 0,   0,   S::Body,            0,                  -1},
{L"rbRestartAno",  ids::rbRestartAno,  6,       K::Radio,       L"restartovat počítač nyní",                          nullptr,                                                      120, 224, 201, 17,  S::Body,            kChecked | kGroup,  0},
{L"rbRestartNe",   ids::rbRestartNe,   6,       K::Radio,       L"restartovat počítač později",                       nullptr,                                                      120, 256, 209, 17,  S::Body,            0,                  1},
};
// clang-format on

}  // namespace

POINT AreaOrigin(int area) {
  if (area == kBottom) return {0, kBottomTop};
  if (area >= 0) return {kPageLeft, 0};
  return {0, 0};
}

std::span<const ControlDef> Layout() {
  return kLayout;
}

}  // namespace wizard
