// The update program's own resources: the string table, dialogs 102 and 1002
// and icon group 133. The program exports them (WbGetResourceDirectory) as
// every module with resources does; the pieces are also visible here so that
// a translation can reuse the layout of dialog 1002 and tests can check them.
#pragma once

#include "platform/resource_table.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/icon.h"

extern const DialogTemplate kUpdateDialogTemplate;   // 102
extern const DialogTemplate kCopyingDialogTemplate;  // 1002
extern const IconGroup kUpdateIconGroup;             // 133
extern const WbResourceDirectory kUpdateResources;
