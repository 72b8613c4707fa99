// Dialog units to pixels. A dialog unit is a quarter of the dialog font's
// average character width across, an eighth of its height down; the average
// width is measured over the 52 Latin letters and rounded as the original
// platform rounds it.
//
// Fonts: a template naming "MS Sans Serif" (which this platform lacks) gets
// "Liberation Sans", whose metrics match it: at 8 points (11 pixels at
// 96 dots per inch) the base units are 6 by 13 pixels, so x = du * 6 / 4 and
// y = du * 13 / 8, truncated.
#pragma once

#include <string>

#include "platform/win_types.h"

struct WbDialogBaseUnits {
  int cx;  // average character width, pixels
  int cy;  // character height, pixels
};

// The installed font that stands in for a template's font name.
std::string WbSubstituteFontName(const char* templateFontName);
// Pixel size of a font of the given point size at 96 dots per inch.
int WbFontPixelSize(int pointSize);
// Base units from the summed width of the 52 letters and the font height.
WbDialogBaseUnits WbBaseUnitsFromMetrics(int widthOf52Letters, int height);
// The known base units of the substitute fonts, for use without a display:
// Liberation Sans at 11 pixels gives 6 by 13.
WbDialogBaseUnits WbKnownBaseUnits(const std::string& fontName, int pixelSize);

inline int WbDialogUnitsToPixelsX(int du, const WbDialogBaseUnits& units) { return du * units.cx / 4; }
inline int WbDialogUnitsToPixelsY(int du, const WbDialogBaseUnits& units) { return du * units.cy / 8; }
