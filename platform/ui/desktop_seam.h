// The seam between a dialog program and the desktop it runs on. Every member
// of the table may be null; a null member leaves that operation to the real
// desktop (the X display, the file system, the system clock). A test fills in
// the members it needs to play the user (which button ends which dialog or
// message box), to stand in for the version probe, the window finder, the file
// finder, the file copy and the pause, and to watch the modeless dialogs, so
// that a program runs without a display.
//
// The table is process-wide and read on the calling thread; install it before
// the program's procedure starts and remove it after (WbSetDesktopSeam(null)).
// The caller owns the table and keeps it alive while installed.
#pragma once

#include "platform/ui/user_types.h"
#include "platform/win_types.h"
#include "platform/window.h"

class CDialog;

// What the user does to end a modal dialog: press the control with this id
// (a positive number), or one of these.
enum WbUserAction : int {
  WB_USER_PRESS_ENTER = -1,   // the Enter key: the default push button
  WB_USER_PRESS_ESCAPE = -2,  // the Escape key
  WB_USER_CLOSE_BOX = -3,     // the window's close box
};

enum WbWindowEvent : int {
  WB_WINDOW_CREATED = 1,
  WB_WINDOW_SHOWN = 2,
  WB_WINDOW_HIDDEN = 3,
  WB_WINDOW_DESTROYED = 4,
};

struct WbDesktopSeam {
  // Runs when a modal dialog has been initialised and would wait for the user.
  // The dialog may be inspected and used (texts, icon, painting); the result
  // is the user's action.
  int (*playModalDialog)(CDialog& dialog);
  // Stands in for a message box; returns the answer (IDOK or IDCANCEL).
  int (*playMessageBox)(LPCSTR text, LPCSTR caption, UINT type);
  // Watches the modeless dialogs; their windows then never reach a display.
  void (*watchModeless)(CDialog& dialog, WbWindowEvent event);
  // Paint operations of windows without a display: the icon drawn at x, y, or
  // the background erased behind a minimised window's icon (icon null).
  void (*watchPaint)(HWND window, HICON icon, int x, int y);
  DWORD (*getVersion)();
  HWND (*findWindow)(LPCSTR className, LPCSTR title);
  BOOL (*findFile)(LPCSTR pattern);
  BOOL (*copyFile)(LPCSTR source, LPCSTR destination, BOOL failIfExists);
  void (*sleep)(DWORD milliseconds);
};

// Installs the table (null: none) and returns the previous one.
const WbDesktopSeam* WbSetDesktopSeam(const WbDesktopSeam* seam);
const WbDesktopSeam* WbGetDesktopSeam();
