#include "platform/ui/dialog_units.h"

#include <strings.h>

std::string WbSubstituteFontName(const char* templateFontName) {
  if (!templateFontName || !*templateFontName) return "Liberation Sans";
  if (strcasecmp(templateFontName, "MS Sans Serif") == 0 || strcasecmp(templateFontName, "MS Shell Dlg") == 0 ||
      strcasecmp(templateFontName, "Microsoft Sans Serif") == 0 || strcasecmp(templateFontName, "Arial") == 0 ||
      strcasecmp(templateFontName, "Helv") == 0)
    return "Liberation Sans";
  return templateFontName;
}

int WbFontPixelSize(int pointSize) {
  if (pointSize <= 0) pointSize = 8;
  return (pointSize * 96 + 36) / 72;  // rounded to the nearest pixel
}

WbDialogBaseUnits WbBaseUnitsFromMetrics(int widthOf52Letters, int height) {
  WbDialogBaseUnits units{(widthOf52Letters / 26 + 1) / 2, height};
  if (units.cx < 1) units.cx = 1;
  if (units.cy < 1) units.cy = 1;
  return units;
}

WbDialogBaseUnits WbKnownBaseUnits(const std::string& fontName, int pixelSize) {
  if (strcasecmp(fontName.c_str(), "Liberation Sans") == 0 && pixelSize == 11) return {6, 13};
  // Any other font: the proportions of Liberation Sans scaled to its size.
  int cx = (pixelSize * 6 + 5) / 11;
  int cy = (pixelSize * 13 + 5) / 11;
  return {cx < 1 ? 1 : cx, cy < 1 ? 1 : cy};
}
