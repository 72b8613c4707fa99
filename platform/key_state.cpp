// Key state from the X server when a display is reachable, else from
// WB_HELD_KEYS. Asked rarely (the library asks once, at load), so the display
// is opened and closed around each question.
#include "platform/key_state.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

constexpr SHORT kDown = static_cast<SHORT>(0x8000);

bool KeysymDown(Display* display, const char keys[32], KeySym sym) {
  KeyCode code = XKeysymToKeycode(display, sym);
  return code != 0 && (keys[code / 8] & (1 << (code % 8))) != 0;
}

// 1 down, 0 up, -1 no display.
int ReadX11(int virtualKey) {
  const char* name = std::getenv("DISPLAY");
  if (!name || !name[0]) return -1;
  Display* display = XOpenDisplay(name);
  if (!display) return -1;
  char keys[32] = {};
  XQueryKeymap(display, keys);
  bool down = false;
  switch (virtualKey) {
    case VK_CONTROL:
      down = KeysymDown(display, keys, XK_Control_L) || KeysymDown(display, keys, XK_Control_R);
      break;
    case VK_SHIFT:
      down = KeysymDown(display, keys, XK_Shift_L) || KeysymDown(display, keys, XK_Shift_R);
      break;
    case VK_MENU:
      down = KeysymDown(display, keys, XK_Alt_L) || KeysymDown(display, keys, XK_Alt_R);
      break;
    default:
      break;
  }
  XCloseDisplay(display);
  return down ? 1 : 0;
}

const char* KeyName(int virtualKey) {
  switch (virtualKey) {
    case VK_CONTROL: return "ctrl";
    case VK_SHIFT: return "shift";
    case VK_MENU: return "alt";
    default: return nullptr;
  }
}

// True when the comma-separated list names the key (case-insensitive,
// blanks around names ignored; "control" is taken for "ctrl").
bool ListHolds(const char* list, const char* key) {
  const char* p = list;
  while (*p) {
    while (*p == ',' || std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    while (*p && *p != ',') ++p;
    const char* end = p;
    while (end > start && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
    const size_t len = static_cast<size_t>(end - start);
    if (len == std::strlen(key) && strncasecmp(start, key, len) == 0) return true;
    if (std::strcmp(key, "ctrl") == 0 && len == 7 && strncasecmp(start, "control", 7) == 0) return true;
  }
  return false;
}

SHORT SystemKeyState(int virtualKey) {
  int x = ReadX11(virtualKey);
  if (x >= 0) return x ? kDown : 0;
  const char* key = KeyName(virtualKey);
  const char* held = std::getenv("WB_HELD_KEYS");
  return key && held && ListHolds(held, key) ? kDown : 0;
}

std::atomic<WbKeyStateReader> gReader{SystemKeyState};

}  // namespace

SHORT GetAsyncKeyState(int virtualKey) { return gReader.load()(virtualKey); }

WbKeyStateReader WbSetKeyStateReader(WbKeyStateReader reader) {
  return gReader.exchange(reader ? reader : SystemKeyState);
}
