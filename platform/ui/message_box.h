// Message boxes: a text, a title, an optional icon (stop or exclamation) and
// the buttons OK or OK and Cancel, run modally until the user answers. Enter
// picks OK; Escape and the close box pick Cancel, or OK when that is the only
// button. An owner window is accepted and not used: boxes here always stand
// alone, centred on the screen's work area.
//
// The desktop seam's playMessageBox, when set, answers in place of the user.
#pragma once

#include "platform/ui/user_types.h"
#include "platform/window.h"

// Returns IDOK or IDCANCEL; 0 with error 87 for a style this layer lacks.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
