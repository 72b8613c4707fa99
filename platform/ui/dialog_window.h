// Inside the window layer: the state of a dialog's window, which exists with
// or without a display, and the interface of its toolkit window, which exists
// only on a display (platform/ui/fltk_dialog.cpp). The dialog (CDialog) owns
// both; the handle's `native` points back at this state.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/device_context.h"
#include "platform/ui/dialog_template.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/user_types.h"
#include "platform/window.h"

class CDialog;

struct WbControlState {
  WORD id;
  WORD kind;
  DWORD style;
  RECT rect;  // client pixels
  std::string text;
};

class WbNativeDialog {
 public:
  virtual ~WbNativeDialog() = default;
  virtual void UpdateTitle() = 0;
  virtual void UpdateControlText(size_t index) = 0;
  virtual void UpdateIcons() = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual void Minimize() = 0;
  virtual void Restore() = 0;
  virtual bool IsIconic() const = 0;
  virtual void Move(int x, int y, int width, int height) = 0;
  virtual void ScreenRect(RECT* rect) const = 0;
  virtual int FocusId() const = 0;
  virtual void FocusControl(size_t index) = 0;
  // Handles events until `ended` turns true or the window goes away.
  virtual void RunModalLoop(const bool& ended) = 0;
  // The toolkit's own drawing of the window (the default WM_PAINT).
  virtual void DefaultPaint() = 0;
  virtual void Invalidate() = 0;
  virtual std::unique_ptr<WbDeviceContext> CreatePaintContext() = 0;
};

struct WbDialogWindow {
  CDialog* owner = nullptr;
  WbWindow handle;
  DWORD style = 0;
  std::string fontName;
  int fontPixels = 11;
  WbDialogBaseUnits units{6, 13};
  int x = 0, y = 0;  // screen position of the client area
  int clientWidth = 0, clientHeight = 0;
  std::vector<WbControlState> controls;
  bool visible = false;
  bool iconic = false;
  bool modal = false;
  int focusId = 0;
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
  std::unique_ptr<WbNativeDialog> native;  // null without a display

  const WbControlState* Control(int id) const;
  WbControlState* Control(int id);
  // From the toolkit: the user's action (a control id or a WbUserAction),
  // and the window's painting, run through the dialog's message map.
  void Press(int action);
  void Paint();
};

// Lays the template out in pixels with the font's base units.
void WbLayoutDialog(const DialogTemplate& dialogTemplate, const WbDialogBaseUnits& units, WbDialogWindow& window);

// Opens the X display for the toolkit, once; without a reachable display it
// writes why to standard error and ends the process with status 1.
void WbRequireDisplay();

// The toolkit window for the state (display already open): measures the
// font, lays the template out again with the measured units and builds the
// widgets.
std::unique_ptr<WbNativeDialog> WbCreateToolkitDialog(WbDialogWindow& window, const DialogTemplate& dialogTemplate);
