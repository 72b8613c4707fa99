// Inside the window layer: what the toolkit windows (dialogs and message
// boxes) share: the display connection, fonts, label texts and placement.
// Only the window layer's own .cpp files include this; it pulls in FLTK.
#pragma once

#include <FL/Enumerations.H>

#include <string>

class Fl_Window;

// The toolkit's font for a font name, registered on first use.
Fl_Font WbToolkitFont(const std::string& fontName);
// The text as a toolkit label shows it literally ('@' starts a symbol there).
std::string WbLabelText(const std::string& text);
// Places the window's centre at the centre of the primary screen's work area.
void WbCenterOnWorkArea(Fl_Window& window);
// Handles pending events for up to `seconds` or until `done` turns true.
void WbPumpEvents(double seconds, const bool* done);
