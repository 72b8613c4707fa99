#include "platform/ui/toolkit.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xlib.h>
#include <errno.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/ui/dialog_window.h"

void WbRequireDisplay() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* name = std::getenv("DISPLAY");
    Display* display = (name && *name) ? XOpenDisplay(name) : nullptr;
    if (!display) {
      std::fprintf(stderr, "%s: cannot open the X display \"%s\"; this program needs a graphical display.\n",
                   program_invocation_short_name, name ? name : "");
      std::fflush(stderr);
      std::exit(1);
    }
    fl_open_display(display);
    Fl::scheme("none");
    Fl::visible_focus(1);
  });
}

Fl_Font WbToolkitFont(const std::string& fontName) {
  static std::map<std::string, Fl_Font> fonts;
  static Fl_Font next = FL_FREE_FONT;
  auto found = fonts.find(fontName);
  if (found != fonts.end()) return found->second;
  // The first character of a toolkit font name gives the style: ' ' is plain.
  static std::map<std::string, std::string> names;
  std::string& stored = names[fontName];
  stored = " " + fontName;
  Fl::set_font(next, stored.c_str());
  fonts[fontName] = next;
  return next++;
}

std::string WbLabelText(const std::string& text) {
  std::string label;
  label.reserve(text.size());
  for (char c : text) {
    if (c == '@') label += '@';
    label += c;
  }
  return label;
}

void WbCenterOnWorkArea(Fl_Window& window) {
  int x, y, w, h;
  Fl::screen_work_area(x, y, w, h, 0);
  window.position(x + (w - window.w()) / 2, y + (h - window.h()) / 2);
}

void WbPumpEvents(double seconds, const bool* done) {
  auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while ((!done || !*done) && std::chrono::steady_clock::now() < until) Fl::wait(0.02);
}
