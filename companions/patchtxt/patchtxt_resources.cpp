// patchtxt.dll, German: the update program's texts and its "Copying files..."
// popup (dialog 1002) in German, as a resource-only library. The model for a
// translation: every string number of the program's table (all but 5) and a
// dialog 1002 with a static control 1003; the numbers are in
// wbupdate/resource.h. Texts are UTF-8.
#include "platform/resource_table.h"
#include "platform/ui/dialog_template.h"
#include "wbupdate/resource.h"

namespace {

#define WB_STRING(id, text) {WB_RT_STRING, id, text, sizeof(text) - 1}

// The popup as the program lays it out, its text a little wider for German.
const DialogControl kCopyingControls[] = {
    {IDC_COPYING_TEXT, WB_CONTROL_STATIC, 23, 27, 130, 43, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, ""},
};

const DialogTemplate kCopyingDialog = {
    "", "MS Sans Serif", 8, WS_POPUP | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT, 0, 0, 0, 175, 94,
    kCopyingControls, 1,
};

const WbResourceEntry kEntries[] = {
    WB_STRING(IDS_ERROR_REINSTALL,
              "Ein Fehler ist aufgetreten. Bitte installieren Sie die Scan-Software neu, um das Problem zu beheben."),
    WB_STRING(IDS_UPDATE_INCOMPLETE, "Aktualisierung unvollst\xC3\xA4ndig."),
    WB_STRING(IDS_UPDATE_COMPLETE, "Aktualisierung abgeschlossen."),
    WB_STRING(IDS_CLOSE_APPLICATIONS,
              "Ein Fehler ist aufgetreten, und das Setup kann nicht abgeschlossen werden. Schlie\xC3\x9F"
              "en Sie alle Anwendungen, und f\xC3\xBChren Sie das Setup erneut aus."),
    WB_STRING(IDS_COPYING_FILES, "Dateien werden kopiert..."),
    WB_STRING(IDS_INTRODUCTION, "Dieses Programm aktualisiert die Software VL Imagewell."),
    WB_STRING(IDS_BUTTON_OK, "OK"),
    WB_STRING(IDS_BUTTON_CANCEL, "Abbrechen"),
    WB_STRING(IDS_ADMINISTRATOR_NOTICE,
              "Sie ben\xC3\xB6tigen Administratorrechte, um diese Software unter Windows NT(tm) zu installieren."),
    WB_STRING(IDS_REQUIRES_NT,
              "Diese Software unterst\xC3\xBCtzt Windows(r) 3.1x und Windows(r) 95 nicht.  Sie erfordert Windows "
              "NT(tm)."),
    {WB_RT_DIALOG, IDD_COPYING_DIALOG, &kCopyingDialog, sizeof(DialogTemplate)},
};

const WbResourceDirectory kDirectory = {WB_RESOURCE_MAGIC, sizeof(kEntries) / sizeof(kEntries[0]), kEntries};

}  // namespace

WB_EXPORT_RESOURCES(kDirectory)
