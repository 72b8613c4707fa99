// Push buttons as the dialog manager of the original platform treats them:
// the Enter key presses the push button that has the focus, and the default
// push button only when the focus is on no other push button. FLTK's own
// buttons answer Enter only through the return button's shortcut, whatever
// has the focus, so both kinds are adapted here.
#pragma once

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

inline bool WbIsEnterKey() {
  return Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter;
}

// A push button that takes Enter while it has the focus.
class WbPushButton : public Fl_Button {
 public:
  using Fl_Button::Fl_Button;

  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::focus() == this && WbIsEnterKey()) {
      do_callback();
      return 1;
    }
    return Fl_Button::handle(event);
  }
};

// The default push button: takes Enter like FLTK's return button but draws
// the default frame instead of the return glyph.
class WbDefaultPushButton : public Fl_Return_Button {
 public:
  using Fl_Return_Button::Fl_Return_Button;

 protected:
  void draw() override {
    draw_box(value() ? down_box() : box(), x() + 1, y() + 1, w() - 2, h() - 2, color());
    fl_color(FL_BLACK);
    fl_rect(x(), y(), w(), h());
    draw_label(x() + 1, y() + 1, w() - 2, h() - 2);
    if (Fl::focus() == this) draw_focus(box(), x() + 1, y() + 1, w() - 2, h() - 2);
  }
};
