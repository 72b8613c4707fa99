// The "Copying files..." popup (template 1002): a modeless dialog without a
// caption, on screen while the update copies the file. Its constructor creates
// the window and sets the text; the update procedure shows and destroys it.
#pragma once

#include "platform/ui/dialog.h"

class CCopyingDlg : public CDialog {
 public:
  explicit CCopyingDlg(CWnd* parent = nullptr);
};
