// Resource identifiers of the wizard window's icon, pictures, glyph and
// animation.
#pragma once

#define IDI_SETUP 1  // the program's icon, also the window's
#define IDR_SIDE_PICTURE 201
#define IDR_WELCOME_PICTURE 202
#define IDI_BINOCULARS 203
#define IDR_FILECOPY_AVI 204
