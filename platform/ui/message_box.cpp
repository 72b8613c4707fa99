#include "platform/ui/message_box.h"

#include "platform/ui/push_buttons.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <string>

#include "platform/ui/desktop_seam.h"
#include "platform/ui/dialog_units.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/toolkit.h"

namespace {

// The stop sign and the exclamation triangle, drawn at 32 by 32.
class MessageIcon : public Fl_Widget {
 public:
  MessageIcon(int x, int y, UINT icon) : Fl_Widget(x, y, 32, 32), icon_(icon) {}
  void draw() override {
    int x0 = x(), y0 = y();
    if (icon_ == MB_ICONHAND) {
      fl_color(FL_BLACK);
      fl_pie(x0, y0, 32, 32, 0, 360);
      fl_color(fl_rgb_color(0xE0, 0x10, 0x10));
      fl_pie(x0 + 1, y0 + 1, 30, 30, 0, 360);
      fl_color(FL_WHITE);
      fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
      fl_line(x0 + 10, y0 + 10, x0 + 21, y0 + 21);
      fl_line(x0 + 21, y0 + 10, x0 + 10, y0 + 21);
      fl_line_style(0);
    } else {
      fl_color(FL_BLACK);
      fl_polygon(x0 + 16, y0 + 1, x0 + 31, y0 + 30, x0 + 1, y0 + 30);
      fl_color(fl_rgb_color(0xFF, 0xE0, 0x00));
      fl_polygon(x0 + 16, y0 + 4, x0 + 29, y0 + 29, x0 + 3, y0 + 29);
      fl_color(FL_BLACK);
      fl_rectf(x0 + 15, y0 + 11, 3, 11);
      fl_rectf(x0 + 15, y0 + 24, 3, 3);
    }
  }

 private:
  UINT icon_;
};

struct BoxRun {
  int answer = 0;
  bool done = false;
  int cancelAnswer = IDCANCEL;
};

void OnAnswer(Fl_Widget*, void* data) {
  auto* run = static_cast<BoxRun*>(data);
  run->answer = IDOK;
  run->done = true;
}

void OnCancelButton(Fl_Widget*, void* data) {
  auto* run = static_cast<BoxRun*>(data);
  run->answer = IDCANCEL;
  run->done = true;
}

void OnClose(Fl_Widget*, void* data) {  // Escape and the close box
  auto* run = static_cast<BoxRun*>(data);
  run->answer = run->cancelAnswer;
  run->done = true;
}

int RunToolkitBox(const std::string& text, const std::string& caption, UINT buttons, UINT icon) {
  WbRequireDisplay();
  const std::string fontName = WbSubstituteFontName("MS Sans Serif");
  const int fontPixels = WbFontPixelSize(8);
  Fl_Font font = WbToolkitFont(fontName);
  fl_font(font, fontPixels);
  const std::string label = WbLabelText(text);

  // Text wraps at about two thirds of the work area's width, as there.
  int areaX, areaY, areaW, areaH;
  Fl::screen_work_area(areaX, areaY, areaW, areaH, 0);
  int textW = std::max(100, std::min(areaW * 5 / 8, 480)), textH = 0;
  fl_measure(label.c_str(), textW, textH, 1);
  textW = std::max(textW, 1);
  textH = std::max(textH, fl_height());

  const int margin = 12, iconSize = icon ? 32 : 0, iconGap = icon ? 12 : 0;
  const int buttonW = 75, buttonH = 23, buttonGap = 6;
  const int buttonCount = buttons == MB_OKCANCEL ? 2 : 1;
  const int buttonsW = buttonCount * buttonW + (buttonCount - 1) * buttonGap;
  int contentW = iconSize + iconGap + textW;
  int width = std::max(contentW, buttonsW) + 2 * margin;
  int contentH = std::max(iconSize, textH);
  int height = margin + contentH + margin + buttonH + margin;

  BoxRun run;
  run.cancelAnswer = buttons == MB_OKCANCEL ? IDCANCEL : IDOK;
  Fl_Double_Window window(width, height);
  std::string title = caption;
  window.label(title.c_str());
  window.begin();
  if (icon) new MessageIcon(margin, margin, icon);
  auto* textBox = new Fl_Box(margin + iconSize + iconGap, margin + (contentH - textH) / 2, textW, textH);
  textBox->box(FL_NO_BOX);
  textBox->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  textBox->labelfont(font);
  textBox->labelsize(fontPixels);
  textBox->label(label.c_str());
  int buttonX = (width - buttonsW) / 2, buttonY = height - margin - buttonH;
  auto* ok = new WbDefaultPushButton(buttonX, buttonY, buttonW, buttonH, "OK");
  ok->labelfont(font);
  ok->labelsize(fontPixels);
  ok->callback(&OnAnswer, &run);
  if (buttonCount == 2) {
    auto* cancel = new WbPushButton(buttonX + buttonW + buttonGap, buttonY, buttonW, buttonH, "Cancel");
    cancel->labelfont(font);
    cancel->labelsize(fontPixels);
    cancel->callback(&OnCancelButton, &run);
  }
  window.end();
  window.callback(&OnClose, &run);
  window.set_modal();
  WbCenterOnWorkArea(window);
  window.show();
  ok->take_focus();
  while (!run.done && window.shown()) Fl::wait();
  window.hide();
  Fl::flush();
  return run.done ? run.answer : run.cancelAnswer;
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  UINT buttons = type & MB_TYPEMASK;
  UINT icon = type & MB_ICONMASK;
  if ((buttons != MB_OK && buttons != MB_OKCANCEL) || (icon != 0 && icon != MB_ICONHAND && icon != MB_ICONEXCLAMATION)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const std::string shownText = text ? text : "";
  const std::string shownCaption = caption ? caption : "Error";  // the platform's title for a null one
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->playMessageBox) {
    int answer = seam->playMessageBox(shownText.c_str(), shownCaption.c_str(), type);
    // An answer the box has no button for is what Escape gives.
    if (answer == IDOK || (answer == IDCANCEL && buttons == MB_OKCANCEL)) return answer;
    return buttons == MB_OKCANCEL ? IDCANCEL : IDOK;
  }
  return RunToolkitBox(shownText, shownCaption, buttons, icon);
}
