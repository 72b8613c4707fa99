// Icons: an icon group (resource type WB_RT_GROUP_ICON) holds images of
// several sizes, each a 16-colour picture with transparency. Pixels are
// written as text, one character per pixel, row by row from the top:
// '0'-'9' and 'A'-'F' pick a colour of the image's palette, '.' is
// transparent (the image's mask). The module that holds a group owns its data.
//
// An icon handle (HICON) stands for a group as loaded at the system's icon
// size (SM_CXICON by SM_CYICON, 32 by 32); handles live until the process ends
// and are shared, as loaded icons are on the original platform.
#pragma once

#include "platform/module.h"
#include "platform/ui/user_types.h"
#include "platform/win_types.h"

struct IconColor {
  BYTE red, green, blue;
};

// The 16 colours of the standard palette, in the usual order: black, dark red,
// dark green, olive, dark blue, purple, teal, silver, grey, red, green,
// yellow, blue, magenta, cyan, white.
extern const IconColor kStandardIconPalette[16];

struct IconImage {
  BYTE width, height;
  const IconColor* palette;  // 16 entries
  const char* const* rows;   // `height` strings of `width` characters
};

struct IconGroup {
  WORD count;
  const IconImage* images;
};

// The group `name` (MAKEINTRESOURCEA(id)) of the module (null: the program).
// Null, with error 1814, when the module holds no such group or no image.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);

// The image of the handle closest to the given size (0: the handle's own).
const IconImage* WbIconImage(HICON icon, int size = 0);

// Colour index of a pixel: 0-15, or -1 for a transparent one (or a malformed
// character, which is drawn as transparent rather than trusted).
int WbIconPixel(const IconImage& image, int x, int y);

// True when every row has the declared width and every character is valid.
bool WbIconImageIsValid(const IconImage& image);

// Draws the handle's image with its top-left corner at x, y.
BOOL DrawIcon(HDC dc, int x, int y, HICON icon);
