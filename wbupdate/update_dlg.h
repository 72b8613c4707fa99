// The update program's main dialog (template 102): introduces the update and
// lets the user go on (button 1, Enter) or stop (button 2, Escape, close box).
// Its initialisation loads the translation library patchtxt.dll and makes it
// the source of every later text.
#pragma once

#include "platform/ui/dialog.h"

class CUpdateDlg : public CDialog {
 public:
  explicit CUpdateDlg(CWnd* parent = nullptr);

 protected:
  BOOL OnInitDialog() override;
  void OnPaint() override;
  HCURSOR OnQueryDragIcon() override;

  HICON m_hIcon;
};
