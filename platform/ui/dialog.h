// The framework's dialog: a window built from a dialog template, run modally
// (DoModal) or created modeless (Create), with the window operations a dialog
// program uses on it.
//
// Messages reach a dialog through WindowProc, its message map: WM_PAINT goes
// to OnPaint, WM_QUERYDRAGICON to OnQueryDragIcon, WM_COMMAND of IDOK to OnOK
// and of IDCANCEL to OnCancel, WM_SETICON sets the window's icon,
// WM_ICONERASEBKGND erases a minimised window's background. A derived dialog
// overrides the handlers it needs.
//
// A dialog owns its window (the handle m_hWnd and, on a display, the toolkit's
// window behind it); the window is destroyed by DestroyWindow, by the end of a
// modal run, or with the dialog object. Templates come from the framework's
// current resource module (AfxGetResourceHandle) when the window is created.
//
// Without a display the window exists as its state alone (texts, icon,
// visibility, size) and the desktop seam (platform/ui/desktop_seam.h) plays
// the user. With no seam member for it, the first window needs the X display;
// when none can be reached the program says so on standard error and ends
// with status 1, having changed nothing.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/icon.h"
#include "platform/ui/user_types.h"
#include "platform/window.h"

struct WbDialogWindow;  // the window's state and toolkit objects; dialog.cpp

class CDialog : public CWnd {
 public:
  CDialog();
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally; returns the code given to EndDialog (IDOK,
  // IDCANCEL) or -1 when the window cannot be created.
  virtual INT_PTR DoModal();
  // Creates the window as a modeless dialog from template `templateId`.
  // FALSE when the template is missing; the dialog then has no window.
  virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);

  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(int result);

  // Window operations; each does nothing (FALSE, 0, empty) without a window.
  BOOL SetDlgItemText(int id, LPCSTR text);
  std::string GetDlgItemText(int id) const;
  void SetWindowText(LPCSTR text);
  std::string GetWindowText() const;
  BOOL ShowWindow(int command);
  BOOL IsWindowVisible() const;
  BOOL IsIconic() const;
  BOOL DestroyWindow();
  HICON SetIcon(HICON icon, BOOL bigIcon);
  HICON GetIcon(BOOL bigIcon) const;
  void GetClientRect(RECT* rect) const;
  void GetWindowRect(RECT* rect) const;  // screen position of the client area
  BOOL MoveWindow(int x, int y, int width, int height);
  // The control's rectangle in the client area, in pixels.
  BOOL GetDlgItemRect(int id, RECT* rect) const;
  // The id of the control with the keyboard focus, 0 when none.
  int GetFocusId() const;
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

  // The result of the last modal run.
  INT_PTR ModalResult() const { return m_nModalResult; }

 protected:
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  virtual void OnPaint();
  virtual HCURSOR OnQueryDragIcon();
  // The default handling of the message being dispatched.
  LRESULT Default();

  UINT m_nIDTemplate = 0;
  CWnd* m_pParentWnd = nullptr;

 private:
  friend struct WbDialogWindow;
  bool CreateWindowFromTemplate(UINT templateId, bool modal);
  void DestroyWindowObjects();
  void PressControl(int id);
  // The toolkit's painting runs the dialog's WM_PAINT through this.
  void PaintFromToolkit();

  std::unique_ptr<WbDialogWindow> m_window;
  INT_PTR m_nModalResult = -1;
  bool m_bInModal = false;
  bool m_bEnded = false;
  UINT m_nCurrentMessage = WM_NULL;
  WPARAM m_currentWParam = 0;
  LPARAM m_currentLParam = 0;
};

// Painting a window: BeginPaint at construction, EndPaint at destruction.
class CPaintDC {
 public:
  explicit CPaintDC(CWnd* window);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

  HDC m_hDC = nullptr;
};
