// The library-wide log state and its operations. The state is set up at load
// (Init runs on the loading thread before any export can run) and afterwards
// only read, except for the shared file object and text buffer, which belong
// to whoever holds the guard.
//
// Lines and reports share one guard word: a writer takes it from 0 in one
// compare-and-swap, so two lines, two reports, or a line and a report never
// use the file object or the text buffer at the same time, and whoever finds
// the guard taken drops its text instead of waiting.
#include "wbremote/log/diag_log.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/key_state.h"
#include "platform/local_time.h"
#include "platform/path_split.h"
#include "wbremote/log/system_error_text.h"

namespace {

constexpr size_t kTextSize = 512;
constexpr int kGuardLine = 1;
constexpr int kGuardReport = 2;
constexpr size_t kStampLength = 11;  // "HH:MM:SS - "

struct LogState {
  char path[WB_MAX_FULL_PATH] = {};
  CFile file;
  char text[kTextSize] = {};
  std::atomic<int32_t> handleCount{0};
  std::atomic<int> enabled{0};
  std::atomic<int> timeStamps{1};
  std::atomic<CWnd*> window{nullptr};
  std::atomic<int> notify{0};
  std::atomic<int> guard{0};
  std::atomic<int> lastOpenCause{CFileException::none};
};

LogState g;

const char* const kFileErrorTexts[] = {
    "No error has occurred.",
    "An unspecified error has occurred.",
    "The file could not be located.",
    "All or part of the path is invalid.",
    "The permitted number of open files has been exceeded.",
    "The file could not be accessed.",
    "There was an attempt to use an invalid file handle.",
    "The current working directory cannot be removed.",
    "There are no more directory entries.",
    "There was an error in setting the file pointer.",
    "There was a hardware error.",
    "SHARE.EXE is not loaded, or a shared region is locked.",
    "There was an attempt to lock a region that was already locked.",
    "The disk is full.",
    "The end of file was reached.",
};

bool TakeGuard(int who) {
  int expected = 0;
  return g.guard.compare_exchange_strong(expected, who, std::memory_order_acquire,
                                         std::memory_order_relaxed);
}

void DropGuard() { g.guard.store(0, std::memory_order_release); }

// Formats the time stamp into stamp (at least 12 bytes) when time stamps are
// on; returns its length, 0 when they are off.
size_t FormatStamp(char* stamp, size_t size) {
  if (!g.timeStamps.load(std::memory_order_relaxed)) return 0;
  const CTime now = CTime::GetCurrentTime();
  const int n = std::snprintf(stamp, size, "%02d:%02d:%02d - ", now.GetHour(), now.GetMinute(),
                              now.GetSecond());
  return n == static_cast<int>(kStampLength) ? kStampLength : 0;
}

void Notify() {
  if (!g.notify.load(std::memory_order_relaxed)) return;
  CWnd* window = g.window.load(std::memory_order_acquire);
  if (window && window->m_hWnd) {
    PostMessageA(window->m_hWnd, WM_DIAGLOG_LINE, reinterpret_cast<WPARAM>(g.text), 0);
  }
}

}  // namespace

CDiagLog::CDiagLog() { g.handleCount.fetch_add(1, std::memory_order_relaxed); }

CDiagLog::~CDiagLog() { g.handleCount.fetch_sub(1, std::memory_order_relaxed); }

void CDiagLog::Init(const char* path, BYTE options, CWnd* window) {
  if (g.handleCount.load() > 1) {
    CWnd* none = nullptr;
    if (window) g.window.compare_exchange_strong(none, window);
    return;
  }
  if (!(GetAsyncKeyState(VK_CONTROL) & 0x8000)) return;

  g.timeStamps.store(1);
  g.window.store(window);
  // A path that does not fit is not cut (that would name another file): the
  // log then stays off.
  if (!path || std::snprintf(g.path, sizeof g.path, "%s", path) >= static_cast<int>(sizeof g.path)) {
    g.path[0] = '\0';
    return;
  }
  {
    CFile file;
    file.Open(g.path, CFile::modeCreate | CFile::modeRead | CFile::shareDenyNone);
  }
  g.enabled.store(1);
  if (options & DIAGLOG_DATE_LINE) {
    const CTime today = CTime::GetCurrentTime();
    Write("Date: %d/%d/%d", today.GetMonth(), today.GetDay(), today.GetYear());
  }
  g.timeStamps.store((options & DIAGLOG_TIME_STAMPS) ? 1 : 0);
}

int CDiagLog::Write(const char* format, ...) {
  if (!g.enabled.load(std::memory_order_relaxed)) return 0;
  va_list args;
  va_start(args, format);
  const int written = WriteV(format, args);
  va_end(args);
  return written;
}

int CDiagLog::WriteV(const char* format, va_list args) {
  if (!g.enabled.load(std::memory_order_relaxed) || !TakeGuard(kGuardLine)) return 0;

  std::vsnprintf(g.text, kTextSize, format ? format : "", args);
  g.text[kTextSize - 1] = '\0';

  CFileException error;
  if (!g.file.Open(g.path, CFile::modeWrite | CFile::shareDenyNone, &error)) {
    // Nobody is told: the log never reports its own failures. The cause is
    // kept for whoever debugs the log itself.
    g.lastOpenCause.store(error.m_cause, std::memory_order_relaxed);
    DropGuard();
    return 0;
  }
  // The whole line goes out in one write at the end of the file, so a
  // reader never sees a stamp without its text.
  char line[kTextSize + kStampLength + 2];
  size_t length = FormatStamp(line, sizeof line);
  const size_t textLength = std::strlen(g.text);
  std::memcpy(line + length, g.text, textLength);
  length += textLength;
  line[length++] = '\r';
  line[length++] = '\n';
  const bool ok = g.file.SeekToEnd() >= 0 && g.file.Write(line, static_cast<UINT>(length));
  // Whatever failed, the file is closed and the guard dropped, so later
  // lines still have their chance.
  g.file.Close();
  if (ok) Notify();
  DropGuard();
  return ok ? 1 : 0;
}

void CDiagLog::Clear() {
  if (!g.path[0]) return;
  CFile file;
  file.Open(g.path, CFile::modeCreate | CFile::modeRead | CFile::shareExclusive);
}

void CDiagLog::EnableNotify() { g.notify.store(1); }

void CDiagLog::DisableNotify() { g.notify.store(0); }

void CDiagLog::DescribeFileError(int cause, char* out) {
  const int count = static_cast<int>(sizeof kFileErrorTexts / sizeof kFileErrorTexts[0]);
  const char* text = cause >= 0 && cause < count ? kFileErrorTexts[cause] : "Unknown error.";
  std::memcpy(out, text, std::strlen(text) + 1);
}

int CDiagLog::ReportSystemError(LONG error, const char* source, int line) {
  if (!g.enabled.load(std::memory_order_relaxed) || !TakeGuard(kGuardReport)) return 0;

  if (!g.file.Open(g.path, CFile::modeWrite | CFile::shareExclusive)) {
    DropGuard();
    return 0;
  }
  char stamp[kTextSize];
  const size_t stampLength = FormatStamp(stamp, sizeof stamp);
  bool ok = g.file.SeekToEnd() >= 0 && g.file.Write(stamp, static_cast<UINT>(stampLength));
  if (ok) {
    // A code without a text gives an empty description; insert markers in a
    // text stay as they are, since no values for them exist.
    char description[kTextSize];
    DescribeSystemError(error, description, sizeof description);
    // Only the name and the extension are wanted, so a folder too long for
    // any buffer does not cost the report its file name.
    char name[kTextSize], extension[kTextSize];
    _splitpath_s(source ? source : "", nullptr, 0, nullptr, 0, name, sizeof name, extension,
                 sizeof extension);
    // The report is cut at the buffer's end on purpose, as a line is.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-truncation"
    std::snprintf(g.text, kTextSize, "System Error: %ld\nDesc: %s\n\nFile: %s%s\nLine: %d\n",
                  static_cast<long>(error), description, name, extension, line);
#pragma GCC diagnostic pop
    g.text[kTextSize - 1] = '\0';
    ok = g.file.Write(g.text, static_cast<UINT>(std::strlen(g.text)));
  }
  g.file.Close();
  if (ok) Notify();
  DropGuard();
  return ok ? 1 : 0;
}

void CDiagLog::GetLogPath(char* out) { GetLogPath(out, WB_MAX_FULL_PATH); }

void CDiagLog::GetLogPath(char* out, size_t size) {
  if (!out || size == 0) return;
  CFile file;
  if (g.path[0] && file.Open(g.path, CFile::modeRead | CFile::shareExclusive)) {
    std::snprintf(out, size, "%s", file.GetFilePath());
    return;
  }
  std::snprintf(out, size, "%s", "Not Available...");
}

namespace diaglog {

void ResetForTest() {
  g.enabled.store(0);
  g.timeStamps.store(1);
  g.window.store(nullptr);
  g.notify.store(0);
  g.guard.store(0);
  g.path[0] = '\0';
  g.lastOpenCause.store(CFileException::none);
}

int LastOpenFailureCause() { return g.lastOpenCause.load(); }

}  // namespace diaglog
