#include <FL/Fl.H>
#include <FL/x.H>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/ui/desktop_seam.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/find_window.h"

namespace {

// Windows may vanish while the tree is read; their errors are expected.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

bool ReadTitle(Display* display, Window window, std::string& title) {
  Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, netWmName, 0, 4096, False, utf8, &type, &format, &count, &after, &data) ==
          Success &&
      data && type == utf8 && format == 8) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    return true;
  }
  if (data) XFree(data);
  XTextProperty text;
  if (XGetWMName(display, window, &text) && text.value) {
    title.assign(reinterpret_cast<char*>(text.value), text.nitems);
    XFree(text.value);
    return true;
  }
  return false;
}

bool HasWmState(Display* display, Window window) {
  Atom wmState = XInternAtom(display, "WM_STATE", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  bool has = XGetWindowProperty(display, window, wmState, 0, 0, False, AnyPropertyType, &type, &format, &count,
                                &after, &data) == Success &&
             type != None;
  if (data) XFree(data);
  return has;
}

bool Matches(Display* display, Window window, const char* className, const char* title) {
  std::string found;
  if (!ReadTitle(display, window, found) || found != title) return false;
  if (!className) return true;
  XClassHint hint{nullptr, nullptr};
  bool same = XGetClassHint(display, window, &hint) && hint.res_class && std::strcmp(hint.res_class, className) == 0;
  if (hint.res_name) XFree(hint.res_name);
  if (hint.res_class) XFree(hint.res_class);
  return same;
}

// Searches a frame for its client window (the one with WM_STATE), a few
// levels deep, as window managers nest their frames.
Window SearchFrame(Display* display, Window frame, const char* className, const char* title, int depth) {
  Window root, parent, *children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, frame, &root, &parent, &children, &count)) return None;
  Window result = None;
  for (unsigned int i = 0; i < count && result == None; ++i) {
    if (Matches(display, children[i], className, title)) result = children[i];
    else if (depth > 0 && !HasWmState(display, children[i]))
      result = SearchFrame(display, children[i], className, title, depth - 1);
  }
  if (children) XFree(children);
  return result;
}

std::mutex gForeignMutex;
std::map<unsigned long, std::unique_ptr<WbWindow>>& ForeignWindows() {
  static auto* windows = new std::map<unsigned long, std::unique_ptr<WbWindow>>;
  return *windows;
}

}  // namespace

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->findWindow) return seam->findWindow(className, windowName);
  if (!windowName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  WbRequireDisplay();
  Display* display = fl_display;
  XSync(display, False);
  XErrorHandler previous = XSetErrorHandler(&IgnoreXError);
  Window top = Matches(display, DefaultRootWindow(display), className, windowName)
                   ? None
                   : SearchFrame(display, DefaultRootWindow(display), className, windowName, 3);
  XSync(display, False);
  XSetErrorHandler(previous);
  if (top == None) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  std::lock_guard<std::mutex> lock(gForeignMutex);
  auto& windows = ForeignWindows();
  auto& handle = windows[top];
  if (!handle) handle = std::make_unique<WbWindow>();
  handle->title = windowName;
  return handle.get();
}
