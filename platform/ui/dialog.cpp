#include "platform/ui/dialog.h"

#include "platform/module.h"
#include "platform/resource_table.h"
#include "platform/ui/desktop_seam.h"
#include "platform/ui/dialog_window.h"

// The framework's current resource module (platform/framework.h).
HINSTANCE AfxGetResourceHandle();

namespace {

// A paint context without a display: reports what is drawn to the seam.
class SeamPaintContext : public WbDeviceContext {
 public:
  void DrawIconImage(int x, int y, const IconImage&, HICON icon) override {
    const WbDesktopSeam* seam = WbGetDesktopSeam();
    if (seam && seam->watchPaint) seam->watchPaint(window, icon, x, y);
  }
  void EraseBackground() override {
    const WbDesktopSeam* seam = WbGetDesktopSeam();
    if (seam && seam->watchPaint) seam->watchPaint(window, nullptr, 0, 0);
  }
};

const DialogTemplate* FindTemplate(UINT templateId) {
  DWORD size = 0;
  const void* data = WbFindResource(AfxGetResourceHandle(), WB_RT_DIALOG, static_cast<WORD>(templateId), &size);
  if (!data || size < sizeof(DialogTemplate)) return nullptr;
  const auto* found = static_cast<const DialogTemplate*>(data);
  if (found->controlCount > 0 && !found->controls) return nullptr;
  return found;
}

bool UsesSeam(bool modal) {
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (!seam) return false;
  return modal ? seam->playModalDialog != nullptr : seam->watchModeless != nullptr;
}

void WatchModeless(CDialog& dialog, WbWindowEvent event) {
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->watchModeless) seam->watchModeless(dialog, event);
}

constexpr int kMaxSeamTurns = 1000;  // a seam that never ends a dialog fails the run

}  // namespace

const WbControlState* WbDialogWindow::Control(int id) const {
  for (const auto& control : controls)
    if (control.id == id) return &control;
  return nullptr;
}

WbControlState* WbDialogWindow::Control(int id) {
  for (auto& control : controls)
    if (control.id == id) return &control;
  return nullptr;
}

void WbDialogWindow::Press(int action) {
  if (owner) owner->PressControl(action);
}

void WbDialogWindow::Paint() {
  if (owner) owner->PaintFromToolkit();
}

void WbLayoutDialog(const DialogTemplate& dialogTemplate, const WbDialogBaseUnits& units, WbDialogWindow& window) {
  window.units = units;
  window.clientWidth = WbDialogUnitsToPixelsX(dialogTemplate.cx, units);
  window.clientHeight = WbDialogUnitsToPixelsY(dialogTemplate.cy, units);
  window.controls.clear();
  for (WORD i = 0; i < dialogTemplate.controlCount; ++i) {
    const DialogControl& control = dialogTemplate.controls[i];
    WbControlState state;
    state.id = control.id;
    state.kind = control.kind;
    state.style = control.style;
    state.rect.left = WbDialogUnitsToPixelsX(control.x, units);
    state.rect.top = WbDialogUnitsToPixelsY(control.y, units);
    state.rect.right = state.rect.left + WbDialogUnitsToPixelsX(control.cx, units);
    state.rect.bottom = state.rect.top + WbDialogUnitsToPixelsY(control.cy, units);
    state.text = control.text ? control.text : "";
    window.controls.push_back(std::move(state));
  }
}

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

CDialog::~CDialog() { DestroyWindowObjects(); }

bool CDialog::CreateWindowFromTemplate(UINT templateId, bool modal) {
  DestroyWindowObjects();
  const DialogTemplate* dialogTemplate = FindTemplate(templateId);
  if (!dialogTemplate) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  auto window = std::make_unique<WbDialogWindow>();
  window->owner = this;
  window->modal = modal;
  window->style = dialogTemplate->style;
  window->handle.title = dialogTemplate->caption ? dialogTemplate->caption : "";
  window->handle.native = window.get();
  window->fontName = WbSubstituteFontName(dialogTemplate->fontName);
  window->fontPixels = WbFontPixelSize(dialogTemplate->pointSize);
  WbLayoutDialog(*dialogTemplate, WbKnownBaseUnits(window->fontName, window->fontPixels), *window);
  if (!UsesSeam(modal)) {
    WbRequireDisplay();
    window->native = WbCreateToolkitDialog(*window, *dialogTemplate);
    if (!window->native) return false;
  }
  m_window = std::move(window);
  m_hWnd = &m_window->handle;
  return true;
}

void CDialog::DestroyWindowObjects() {
  if (!m_window) return;
  m_window->native.reset();
  m_window.reset();
  m_hWnd = nullptr;
}

INT_PTR CDialog::DoModal() {
  m_nModalResult = -1;
  if (!CreateWindowFromTemplate(m_nIDTemplate, true)) return -1;
  m_bEnded = false;
  m_bInModal = true;
  if (SendMessage(WM_INITDIALOG, 0, 0) && m_window) {
    // Focus goes to the first control that takes it: a button with a tab stop.
    for (size_t i = 0; i < m_window->controls.size(); ++i) {
      const WbControlState& control = m_window->controls[i];
      if (control.kind == WB_CONTROL_BUTTON && (control.style & WS_TABSTOP)) {
        m_window->focusId = control.id;
        if (m_window->native) m_window->native->FocusControl(i);
        break;
      }
    }
  }
  if (m_window && !m_bEnded) {
    m_window->visible = true;
    if (m_window->native) m_window->native->Show();
  }
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (m_window && m_window->native) {
    m_window->native->RunModalLoop(m_bEnded);
  } else if (seam && seam->playModalDialog) {
    for (int turn = 0; turn < kMaxSeamTurns && !m_bEnded && m_window; ++turn) PressControl(seam->playModalDialog(*this));
  }
  m_bInModal = false;
  DestroyWindowObjects();
  return m_bEnded ? m_nModalResult : -1;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
  m_nIDTemplate = templateId;
  m_pParentWnd = parent;
  if (!CreateWindowFromTemplate(templateId, false)) return FALSE;
  SendMessage(WM_INITDIALOG, 0, 0);
  if (!m_window) return FALSE;
  WatchModeless(*this, WB_WINDOW_CREATED);
  if (m_window->style & WS_VISIBLE) ShowWindow(SW_SHOW);
  return TRUE;
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) {
  m_nModalResult = result;
  m_bEnded = true;
  if (m_window && !m_bInModal) ShowWindow(SW_HIDE);
}

void CDialog::PressControl(int action) {
  if (!m_window) return;
  int id = 0;
  switch (action) {
    case WB_USER_PRESS_ENTER:
      id = IDOK;
      for (const auto& control : m_window->controls) {
        if (control.kind == WB_CONTROL_BUTTON && (control.style & 0xF) == BS_DEFPUSHBUTTON) {
          id = control.id;
          break;
        }
      }
      break;
    case WB_USER_PRESS_ESCAPE:
    case WB_USER_CLOSE_BOX:
      id = IDCANCEL;
      break;
    default: {
      const WbControlState* control = m_window->Control(action);
      if (!control || control->kind != WB_CONTROL_BUTTON) return;  // only buttons send commands
      id = action;
      break;
    }
  }
  SendMessage(WM_COMMAND, static_cast<WPARAM>(id), 0);
}

LRESULT CDialog::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  UINT savedMessage = m_nCurrentMessage;
  WPARAM savedWParam = m_currentWParam;
  LPARAM savedLParam = m_currentLParam;
  m_nCurrentMessage = message;
  m_currentWParam = wParam;
  m_currentLParam = lParam;
  LRESULT result = WindowProc(message, wParam, lParam);
  m_nCurrentMessage = savedMessage;
  m_currentWParam = savedWParam;
  m_currentLParam = savedLParam;
  return result;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      if ((wParam & 0xFFFF) == IDOK) OnOK();
      else if ((wParam & 0xFFFF) == IDCANCEL) OnCancel();
      return 0;
    case WM_CLOSE:
      OnCancel();
      return 0;
    case WM_PAINT:
      OnPaint();
      return 0;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    default:
      (void)lParam;
      return Default();
  }
}

LRESULT CDialog::Default() {
  WPARAM wParam = m_currentWParam;
  LPARAM lParam = m_currentLParam;
  switch (m_nCurrentMessage) {
    case WM_PAINT:
      if (m_window && m_window->native) m_window->native->DefaultPaint();
      return 0;
    case WM_SETICON:
      return reinterpret_cast<LRESULT>(SetIcon(reinterpret_cast<HICON>(lParam), wParam == ICON_BIG));
    case WM_ICONERASEBKGND: {
      auto* dc = reinterpret_cast<HDC>(wParam);
      if (dc) dc->EraseBackground();
      return 1;
    }
    case WM_SETTEXT:
      SetWindowText(reinterpret_cast<LPCSTR>(lParam));
      return TRUE;
    default:
      return 0;
  }
}

void CDialog::OnPaint() { Default(); }

HCURSOR CDialog::OnQueryDragIcon() { return nullptr; }

void CDialog::PaintFromToolkit() { SendMessage(WM_PAINT, 0, 0); }

BOOL CDialog::SetDlgItemText(int id, LPCSTR text) {
  if (!m_window) return FALSE;
  for (size_t i = 0; i < m_window->controls.size(); ++i) {
    if (m_window->controls[i].id != id) continue;
    m_window->controls[i].text = text ? text : "";
    if (m_window->native) m_window->native->UpdateControlText(i);
    return TRUE;
  }
  SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return FALSE;
}

std::string CDialog::GetDlgItemText(int id) const {
  const WbControlState* control = m_window ? m_window->Control(id) : nullptr;
  return control ? control->text : std::string();
}

void CDialog::SetWindowText(LPCSTR text) {
  if (!m_window) return;
  m_window->handle.title = text ? text : "";
  if (m_window->native) m_window->native->UpdateTitle();
}

std::string CDialog::GetWindowText() const { return m_window ? m_window->handle.title : std::string(); }

BOOL CDialog::ShowWindow(int command) {
  if (!m_window) return FALSE;
  BOOL wasVisible = m_window->visible;
  switch (command) {
    case SW_HIDE:
      m_window->visible = false;
      if (m_window->native) m_window->native->Hide();
      if (!m_window->modal) WatchModeless(*this, WB_WINDOW_HIDDEN);
      break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
      m_window->visible = true;
      m_window->iconic = true;
      if (m_window->native) m_window->native->Minimize();
      break;
    case SW_RESTORE:
    case SW_SHOWNORMAL:
      m_window->visible = true;
      m_window->iconic = false;
      if (m_window->native) m_window->native->Restore();
      if (!m_window->modal) WatchModeless(*this, WB_WINDOW_SHOWN);
      break;
    default:  // SW_SHOW and the rest show the window in its current state
      m_window->visible = true;
      if (m_window->native) m_window->native->Show();
      if (!m_window->modal) WatchModeless(*this, WB_WINDOW_SHOWN);
      break;
  }
  return wasVisible;
}

BOOL CDialog::IsWindowVisible() const { return m_window && m_window->visible; }

BOOL CDialog::IsIconic() const {
  if (!m_window) return FALSE;
  if (m_window->native) return m_window->native->IsIconic();
  return m_window->iconic;
}

BOOL CDialog::DestroyWindow() {
  if (!m_window) return FALSE;
  if (m_bInModal) {
    // Destroying a window in its modal run ends the run.
    m_nModalResult = -1;
    m_bEnded = true;
  }
  if (!m_window->modal) WatchModeless(*this, WB_WINDOW_DESTROYED);
  DestroyWindowObjects();
  return TRUE;
}

HICON CDialog::SetIcon(HICON icon, BOOL bigIcon) {
  if (!m_window) return nullptr;
  HICON& slot = bigIcon ? m_window->bigIcon : m_window->smallIcon;
  HICON previous = slot;
  slot = icon;
  if (m_window->native) m_window->native->UpdateIcons();
  return previous;
}

HICON CDialog::GetIcon(BOOL bigIcon) const {
  if (!m_window) return nullptr;
  return bigIcon ? m_window->bigIcon : m_window->smallIcon;
}

void CDialog::GetClientRect(RECT* rect) const {
  if (!rect) return;
  *rect = RECT{0, 0, 0, 0};
  if (!m_window) return;
  rect->right = m_window->clientWidth;
  rect->bottom = m_window->clientHeight;
}

void CDialog::GetWindowRect(RECT* rect) const {
  if (!rect) return;
  *rect = RECT{0, 0, 0, 0};
  if (!m_window) return;
  if (m_window->native) {
    m_window->native->ScreenRect(rect);
    return;
  }
  *rect = RECT{m_window->x, m_window->y, m_window->x + m_window->clientWidth, m_window->y + m_window->clientHeight};
}

BOOL CDialog::MoveWindow(int x, int y, int width, int height) {
  if (!m_window || width < 0 || height < 0) return FALSE;
  m_window->x = x;
  m_window->y = y;
  m_window->clientWidth = width;
  m_window->clientHeight = height;
  if (m_window->native) m_window->native->Move(x, y, width, height);
  return TRUE;
}

BOOL CDialog::GetDlgItemRect(int id, RECT* rect) const {
  const WbControlState* control = m_window ? m_window->Control(id) : nullptr;
  if (!control || !rect) return FALSE;
  *rect = control->rect;
  return TRUE;
}

int CDialog::GetFocusId() const {
  if (!m_window) return 0;
  if (m_window->native) return m_window->native->FocusId();
  return m_window->focusId;
}

CPaintDC::CPaintDC(CWnd* window) {
  if (!window || !window->m_hWnd || !window->m_hWnd->native) return;
  auto* state = static_cast<WbDialogWindow*>(window->m_hWnd->native);
  std::unique_ptr<WbDeviceContext> dc;
  if (state->native) dc = state->native->CreatePaintContext();
  else dc = std::make_unique<SeamPaintContext>();
  if (!dc) return;
  dc->window = window->m_hWnd;
  m_hDC = dc.release();
}

CPaintDC::~CPaintDC() { delete m_hDC; }
