// The keyboard's state at this moment. With an X11 display it reads the real
// keyboard from the X server; without a reachable display, the environment
// variable WB_HELD_KEYS (comma-separated key names: ctrl, shift, alt) stands
// in for it. Tests replace the whole reader through WbSetKeyStateReader.
#pragma once

#include "platform/win_types.h"

#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12

// The high bit (0x8000) is set when the key is down now.
SHORT GetAsyncKeyState(int virtualKey);

typedef SHORT (*WbKeyStateReader)(int virtualKey);
// Replaces the reader; null restores the platform's own. Returns the previous one.
WbKeyStateReader WbSetKeyStateReader(WbKeyStateReader reader);
