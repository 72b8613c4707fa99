// Types and constants of the window layer, numbered as the original platform
// numbers them, so that resources and callers written for it keep their
// meaning: dialog results, message-box styles, window and control styles,
// ShowWindow commands and system metrics.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

typedef intptr_t INT_PTR;

struct RECT {
  LONG left, top, right, bottom;
};

// Dialog and message-box results.
#define IDOK 1
#define IDCANCEL 2

// Message-box styles.
#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONMASK 0x000000F0u

// Window styles.
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CAPTION 0x00C00000u
#define WS_SYSMENU 0x00080000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u

// Dialog styles.
#define DS_SETFONT 0x40u
#define DS_MODALFRAME 0x80u

// Button and static styles.
#define BS_PUSHBUTTON 0x0u
#define BS_DEFPUSHBUTTON 0x1u
#define SS_LEFT 0x0u

// ShowWindow commands.
#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_RESTORE 9

// WM_SETICON kinds.
#define ICON_SMALL 0
#define ICON_BIG 1

// GetSystemMetrics indices.
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define SM_CXICON 11
#define SM_CYICON 12

// Resource names given by number.
#define MAKEINTRESOURCEA(id) (reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(static_cast<WORD>(id))))
#define IS_INTRESOURCE(name) ((reinterpret_cast<uintptr_t>(name) >> 16) == 0)

struct WbIcon;
typedef const WbIcon* HICON;
typedef HICON HCURSOR;
struct WbDeviceContext;
typedef WbDeviceContext* HDC;

int GetSystemMetrics(int index);
