// Inside the window layer: what a device context (HDC) is. A dialog's
// painting gets one from CPaintDC; on a display it draws with the toolkit,
// without one it reports each operation to the desktop seam.
#pragma once

#include "platform/ui/icon.h"
#include "platform/window.h"

struct WbDeviceContext {
  virtual ~WbDeviceContext() = default;
  virtual void DrawIconImage(int x, int y, const IconImage& image, HICON icon) = 0;
  virtual void EraseBackground() = 0;
  HWND window = nullptr;
};

// Icons as loaded: the group and the image picked for the system's icon size.
struct WbIcon {
  const IconGroup* group;
  const IconImage* image;
};
