#include "wbupdate/copying_dlg.h"

#include "platform/cstring.h"
#include "wbupdate/resource.h"

CCopyingDlg::CCopyingDlg(CWnd* parent) : CDialog() {
  // Without the template (a translation that lacks it) there is no window, and
  // the text, showing and destroying below and after do nothing.
  Create(IDD_COPYING_DIALOG, parent);
  CString text;
  text.LoadString(IDS_COPYING_FILES);
  SetDlgItemText(IDC_COPYING_TEXT, text);
}
