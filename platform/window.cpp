#include "platform/window.h"

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!window) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(window->queueMutex);
    window->queue.push_back(MSG{window, message, wParam, lParam});
  }
  window->queueReady.notify_one();
  return TRUE;
}

HWND WbCreateMessageWindow(const char* title) {
  HWND window = new WbWindow;
  if (title) window->title = title;
  return window;
}

void WbDestroyMessageWindow(HWND window) { delete window; }

BOOL WbPeekMessage(HWND window, MSG* message) {
  if (!window || !message) return FALSE;
  std::lock_guard<std::mutex> lock(window->queueMutex);
  if (window->queue.empty()) return FALSE;
  *message = window->queue.front();
  window->queue.pop_front();
  return TRUE;
}
