// The update program's resources. Dialog units and styles are those of the
// program's dialogs; both dialogs use the font "MS Sans Serif" at 8 points and
// leave their placement (0,0) to the framework's centring.
#include "wbupdate/update_resources.h"

#include "wbupdate/resource.h"

namespace {

#include "wbupdate/update_icon_rows.inc"

#define WB_STRING(id, text) {WB_RT_STRING, id, text, sizeof(text) - 1}

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

const DialogControl kUpdateDialogControls[] = {
    {IDOK, WB_CONTROL_BUTTON, 15, 65, 56, 14, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, ""},
    {IDCANCEL, WB_CONTROL_BUTTON, 176, 68, 59, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON, ""},
    {IDC_INTRODUCTION_TEXT, WB_CONTROL_STATIC, 21, 7, 229, 50, kChild | WS_GROUP | SS_LEFT, ""},
};

const DialogControl kCopyingDialogControls[] = {
    {IDC_COPYING_TEXT, WB_CONTROL_STATIC, 23, 27, 122, 43, kChild | WS_GROUP | SS_LEFT, ""},
};

const IconImage kIconImages[] = {
    {32, 32, kStandardIconPalette, kIconRows32},
    {16, 16, kStandardIconPalette, kIconRows16},
};

}  // namespace

const DialogTemplate kUpdateDialogTemplate = {
    "Velmora Software Update", "MS Sans Serif", 8,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0,
    0, 0, 258, 95,
    kUpdateDialogControls, sizeof(kUpdateDialogControls) / sizeof(kUpdateDialogControls[0]),
};

const DialogTemplate kCopyingDialogTemplate = {
    "", "MS Sans Serif", 8,
    WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT, 0,
    0, 0, 175, 94,
    kCopyingDialogControls, sizeof(kCopyingDialogControls) / sizeof(kCopyingDialogControls[0]),
};

const IconGroup kUpdateIconGroup = {sizeof(kIconImages) / sizeof(kIconImages[0]), kIconImages};

namespace {

const WbResourceEntry kEntries[] = {
    WB_STRING(IDS_ERROR_REINSTALL,
              "An error has occured. Please reinstall the scanning software to correct the problem."),
    WB_STRING(IDS_UPDATE_INCOMPLETE, "Update incomplete."),
    WB_STRING(IDS_UPDATE_COMPLETE, "Update complete."),
    WB_STRING(IDS_CLOSE_APPLICATIONS,
              "An error occurred, and setup is unable to complete. Be sure all applications are closed and try "
              "running setup again."),
    WB_STRING(IDS_COPYING_FILES, "Copying files..."),
    WB_STRING(IDS_INTRODUCTION, "This program updates VL Imagewell software."),
    WB_STRING(IDS_BUTTON_OK, "OK"),
    WB_STRING(IDS_BUTTON_CANCEL, "Cancel"),
    WB_STRING(IDS_ADMINISTRATOR_NOTICE,
              "You must have administrator rights to install this software on Windows NT(tm)."),
    WB_STRING(IDS_REQUIRES_NT,
              "This software does not support Windows(r) 3.1x or Windows(r) 95.  It requires Windows NT(tm)."),
    {WB_RT_DIALOG, IDD_WBUPDATE_DIALOG, &kUpdateDialogTemplate, sizeof(DialogTemplate)},
    {WB_RT_DIALOG, IDD_COPYING_DIALOG, &kCopyingDialogTemplate, sizeof(DialogTemplate)},
    {WB_RT_GROUP_ICON, IDR_MAINFRAME, &kUpdateIconGroup, sizeof(IconGroup)},
};

}  // namespace

const WbResourceDirectory kUpdateResources = {WB_RESOURCE_MAGIC, sizeof(kEntries) / sizeof(kEntries[0]), kEntries};

WB_EXPORT_RESOURCES(kUpdateResources)
