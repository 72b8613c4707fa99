// Window handles with a message queue. Any thread may post to a window; the
// window's owner reads its queue. The window layer (platform/ui/) attaches its
// toolkit window to the same handle, so a handle found or created there can be
// posted to as well.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "platform/win_types.h"

#define WM_NULL 0x0000
#define WM_DESTROY 0x0002
#define WM_SETTEXT 0x000C
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUERYDRAGICON 0x0037
#define WM_SETICON 0x0080
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_ICONERASEBKGND 0x0027
#define WM_USER 0x0400

struct MSG {
  struct WbWindow* hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct WbWindow {
  std::string title;
  void* native = nullptr;  // the window layer's own object, if any

  // The queue; guarded by queueMutex.
  std::mutex queueMutex;
  std::condition_variable queueReady;
  std::deque<MSG> queue;
};
typedef WbWindow* HWND;

// Queues the message for the window and returns at once. FALSE, with error
// 1400, for a null handle.
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A window of this layer with a queue and no picture: what a caller that only
// wants messages creates. Destroy it with WbDestroyMessageWindow.
HWND WbCreateMessageWindow(const char* title);
void WbDestroyMessageWindow(HWND window);
// Takes the oldest queued message without waiting; FALSE when the queue is empty.
BOOL WbPeekMessage(HWND window, MSG* message);

// The framework's window object: the handle it wraps.
class CWnd {
 public:
  CWnd() = default;
  explicit CWnd(HWND window) : m_hWnd(window) {}
  virtual ~CWnd() = default;
  HWND GetSafeHwnd() const { return m_hWnd; }

  HWND m_hWnd = nullptr;
};
