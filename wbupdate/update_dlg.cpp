#include "wbupdate/update_dlg.h"

#include "platform/cstring.h"
#include "platform/framework.h"
#include "platform/module.h"
#include "wbupdate/resource.h"

CUpdateDlg::CUpdateDlg(CWnd* parent) : CDialog(IDD_WBUPDATE_DIALOG, parent) {
  // The current resource module is still the program itself here.
  m_hIcon = LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

BOOL CUpdateDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  // From here on every text comes from the translation when it loads; a null
  // handle stands for the program's own table.
  AfxSetResourceHandle(LoadLibraryA("patchtxt.dll"));

  SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  CString text;
  text.LoadString(IDS_INTRODUCTION);
  SetDlgItemText(IDC_INTRODUCTION_TEXT, text);
  text.LoadString(IDS_BUTTON_OK);
  SetDlgItemText(IDOK, text);
  text.LoadString(IDS_BUTTON_CANCEL);
  SetDlgItemText(IDCANCEL, text);
  return TRUE;
}

void CUpdateDlg::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  int cxIcon = GetSystemMetrics(SM_CXICON);
  int cyIcon = GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(&rect);
  int x = (rect.right - rect.left - cxIcon + 1) / 2;
  int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
  dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CUpdateDlg::OnQueryDragIcon() { return m_hIcon; }
