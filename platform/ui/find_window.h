// Finding a top-level window by its title among all the windows of the X
// display, whichever program owns them: the titles compared are _NET_WM_NAME
// and WM_NAME, exactly; under a window manager the search looks inside each
// frame for the client window. A class name, when given, must equal the class
// part of the window's WM_CLASS.
//
// The handle returned for a window of another program is a handle of this
// layer standing for that X window; it lives until the process ends. The
// desktop seam's findWindow, when set, answers in place of the display.
#pragma once

#include "platform/window.h"

// Null, with error 1400, when no window has that title.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
