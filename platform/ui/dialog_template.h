// Dialog templates: a dialog's caption, font, styles, size and controls as a
// module's resources hold them (type WB_RT_DIALOG in platform/resource_table.h).
// Positions and sizes are in dialog units; the window layer turns them into
// pixels by the font's average character size (platform/ui/dialog_units.h).
// A template and its strings are constant data owned by the module holding
// them; nothing here is ever freed.
#pragma once

#include "platform/ui/user_types.h"
#include "platform/win_types.h"

enum DialogControlKind : WORD {
  WB_CONTROL_BUTTON = 0x0080,  // push button
  WB_CONTROL_STATIC = 0x0082,  // static text
};

struct DialogControl {
  WORD id;
  WORD kind;  // DialogControlKind
  SHORT x, y, cx, cy;
  DWORD style;       // WS_*, BS_* or SS_* bits
  const char* text;  // the text in the template; never null ("" for none)
};

struct DialogTemplate {
  const char* caption;   // never null ("" for none)
  const char* fontName;  // used with DS_SETFONT
  WORD pointSize;
  DWORD style;  // WS_* and DS_* bits
  DWORD exStyle;
  SHORT x, y, cx, cy;
  const DialogControl* controls;
  WORD controlCount;
};
