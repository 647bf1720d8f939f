// Resource identifiers of the wizard window's pictures, glyph and animation.
#pragma once

#define IDR_SIDE_PICTURE 201
#define IDR_WELCOME_PICTURE 202
#define IDI_BINOCULARS 203
#define IDR_FILECOPY_AVI 204
