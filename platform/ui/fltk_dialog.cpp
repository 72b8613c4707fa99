// The toolkit side of a dialog's window: an FLTK window with one widget per
// template control, kept in step with the dialog's state.
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/ui/desktop_seam.h"
#include "platform/ui/push_buttons.h"
#include "platform/ui/dialog_window.h"
#include "platform/ui/toolkit.h"

namespace {

class ToolkitPaintContext : public WbDeviceContext {
 public:
  ToolkitPaintContext(int width, int height) : width_(width), height_(height) {}
  void DrawIconImage(int x, int y, const IconImage& image, HICON) override {
    for (int row = 0; row < image.height; ++row) {
      for (int column = 0; column < image.width; ++column) {
        int index = WbIconPixel(image, column, row);
        if (index < 0) continue;
        const IconColor& color = image.palette[index];
        fl_color(color.red, color.green, color.blue);
        fl_point(x + column, y + row);
      }
    }
  }
  void EraseBackground() override { fl_rectf(0, 0, width_, height_, FL_BACKGROUND_COLOR); }

 private:
  int width_, height_;
};

class DialogFlWindow : public Fl_Double_Window {
 public:
  DialogFlWindow(WbDialogWindow& state, int width, int height)
      : Fl_Double_Window(width, height), state_(state) {}
  void DefaultDraw() {
    if (inDraw_) Fl_Double_Window::draw();
    else redraw();
  }
  bool drawnOnce = false;

 protected:
  void draw() override {
    inDraw_ = true;
    state_.Paint();
    inDraw_ = false;
    drawnOnce = true;
  }

 private:
  WbDialogWindow& state_;
  bool inDraw_ = false;
};

class ToolkitDialog : public WbNativeDialog {
 public:
  ToolkitDialog(WbDialogWindow& state, const DialogTemplate& dialogTemplate) : state_(state) {
    font_ = WbToolkitFont(state.fontName);
    fl_font(font_, state.fontPixels);
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int width = static_cast<int>(fl_width(kLetters) + 0.5);
    WbLayoutDialog(dialogTemplate, WbBaseUnitsFromMetrics(width, fl_height()), state);

    window_ = new DialogFlWindow(state, state.clientWidth, state.clientHeight);
    window_->begin();
    labels_.resize(state.controls.size());
    for (size_t i = 0; i < state.controls.size(); ++i) {
      const WbControlState& control = state.controls[i];
      int x = control.rect.left, y = control.rect.top;
      int w = control.rect.right - control.rect.left, h = control.rect.bottom - control.rect.top;
      Fl_Widget* widget = nullptr;
      if (control.kind == WB_CONTROL_BUTTON) {
        if ((control.style & 0xF) == BS_DEFPUSHBUTTON) widget = new WbDefaultPushButton(x, y, w, h);
        else widget = new WbPushButton(x, y, w, h);
        widget->callback(&ToolkitDialog::OnButton, this);
        if (!(control.style & WS_TABSTOP)) widget->clear_visible_focus();
      } else {
        widget = new Fl_Box(x, y, w, h);
        widget->box(FL_NO_BOX);
        widget->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
      }
      widget->labelfont(font_);
      widget->labelsize(state.fontPixels);
      widget->user_data(this);
      if (!(control.style & WS_VISIBLE)) widget->hide();
      widgets_.push_back(widget);
      UpdateControlText(i);
    }
    window_->end();
    UpdateTitle();
    if (!(state.style & WS_CAPTION)) window_->clear_border();
    if (state.modal) window_->set_modal();
    else window_->set_non_modal();
    window_->callback(&ToolkitDialog::OnWindowClose, this);
    WbCenterOnWorkArea(*window_);
    state.x = window_->x();
    state.y = window_->y();
  }

  ~ToolkitDialog() override {
    window_->hide();
    delete window_;
    Fl::flush();
    if (fl_display) XSync(fl_display, False);
  }

  void UpdateTitle() override {
    title_ = state_.handle.title;
    window_->label(title_.c_str());
  }

  void UpdateControlText(size_t index) override {
    labels_[index] = WbLabelText(state_.controls[index].text);
    widgets_[index]->label(labels_[index].c_str());
    widgets_[index]->redraw();
    if (window_->shown() && !state_.modal) WbPumpEvents(0.05, nullptr);  // nothing else pumps for a modeless one
  }

  void UpdateIcons() override {
    std::vector<const IconImage*> images;
    for (HICON icon : {state_.bigIcon, state_.smallIcon}) {
      if (!icon) continue;
      for (int size : {32, 16}) {
        const IconImage* image = WbIconImage(icon, size);
        if (image && std::find(images.begin(), images.end(), image) == images.end()) images.push_back(image);
      }
    }
    pixels_.clear();
    std::vector<Fl_RGB_Image*> rgb;
    for (const IconImage* image : images) {
      pixels_.emplace_back(static_cast<size_t>(image->width) * image->height * 4);
      unsigned char* out = pixels_.back().data();
      for (int y = 0; y < image->height; ++y) {
        for (int x = 0; x < image->width; ++x, out += 4) {
          int index = WbIconPixel(*image, x, y);
          if (index < 0) {
            std::memset(out, 0, 4);
            continue;
          }
          out[0] = image->palette[index].red;
          out[1] = image->palette[index].green;
          out[2] = image->palette[index].blue;
          out[3] = 0xFF;
        }
      }
      rgb.push_back(new Fl_RGB_Image(pixels_.back().data(), image->width, image->height, 4));
    }
    window_->icons(const_cast<const Fl_RGB_Image**>(rgb.data()), static_cast<int>(rgb.size()));
    for (Fl_RGB_Image* image : rgb) delete image;  // the window keeps copies
  }

  void Show() override {
    window_->show();
    if (focusIndex_ < widgets_.size()) widgets_[focusIndex_]->take_focus();
    if (!state_.modal) {
      // The program handles no events while its modeless window is up: draw it now.
      WbPumpEvents(1.0, &window_->drawnOnce);
      Fl::flush();
      XSync(fl_display, False);
    }
  }

  void Hide() override {
    window_->hide();
    Fl::flush();
    XSync(fl_display, False);
  }

  void Minimize() override {
    if (!window_->shown()) window_->show();
    window_->iconize();
  }
  void Restore() override { window_->show(); }
  bool IsIconic() const override { return window_->shown() && !window_->visible(); }

  void Move(int x, int y, int width, int height) override { window_->resize(x, y, width, height); }
  void ScreenRect(RECT* rect) const override {
    *rect = RECT{window_->x(), window_->y(), window_->x() + window_->w(), window_->y() + window_->h()};
  }

  int FocusId() const override {
    for (size_t i = 0; i < widgets_.size(); ++i)
      if (Fl::focus() == widgets_[i]) return state_.controls[i].id;
    return 0;
  }
  void FocusControl(size_t index) override {
    focusIndex_ = index;
    if (window_->shown() && index < widgets_.size()) widgets_[index]->take_focus();
  }

  void RunModalLoop(const bool& ended) override {
    while (!ended && window_->shown()) Fl::wait();
  }

  void DefaultPaint() override { window_->DefaultDraw(); }
  void Invalidate() override { window_->redraw(); }
  std::unique_ptr<WbDeviceContext> CreatePaintContext() override {
    return std::make_unique<ToolkitPaintContext>(window_->w(), window_->h());
  }

 private:
  static void OnButton(Fl_Widget* widget, void* data) {
    auto* self = static_cast<ToolkitDialog*>(data);
    for (size_t i = 0; i < self->widgets_.size(); ++i) {
      if (self->widgets_[i] == widget) {
        self->state_.Press(self->state_.controls[i].id);
        return;
      }
    }
  }
  static void OnWindowClose(Fl_Widget*, void* data) {
    auto* self = static_cast<ToolkitDialog*>(data);
    bool escape = Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape;
    self->state_.Press(escape ? WB_USER_PRESS_ESCAPE : WB_USER_CLOSE_BOX);
  }

  WbDialogWindow& state_;
  Fl_Font font_ = FL_HELVETICA;
  DialogFlWindow* window_ = nullptr;
  std::vector<Fl_Widget*> widgets_;
  std::vector<std::string> labels_;
  std::string title_;
  std::vector<std::vector<unsigned char>> pixels_;
  size_t focusIndex_ = static_cast<size_t>(-1);
};

}  // namespace

std::unique_ptr<WbNativeDialog> WbCreateToolkitDialog(WbDialogWindow& window, const DialogTemplate& dialogTemplate) {
  return std::make_unique<ToolkitDialog>(window, dialogTemplate);
}
