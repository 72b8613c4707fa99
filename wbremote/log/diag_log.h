// The library's diagnostic log: one text file per process, "wbremote.log" in
// the host's current folder, off unless a Ctrl key is held when the library
// starts. A CDiagLog object is only a handle to the one library-wide log state
// (path, switches, guards, the shared text buffer); that state lives as long as
// the library is loaded. Writers never wait: a line that finds the guard taken
// is dropped.
#pragma once

#include <cstdarg>

#include "platform/file.h"
#include "platform/win_types.h"
#include "platform/window.h"

#define WM_DIAGLOG_LINE (WM_USER + 120)

#define DIAGLOG_DATE_LINE 0x01
#define DIAGLOG_TIME_STAMPS 0x02

class CDiagLog {
 public:
  CDiagLog();
  virtual ~CDiagLog();

  // Configures the log through the first handle; see diag_log.cpp.
  void Init(const char* path, BYTE options, CWnd* window);

  // printf-style; 1 if the line was written, 0 if not.
  static int Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
  static int WriteV(const char* format, va_list args);
  static void Clear();
  static void EnableNotify();
  static void DisableNotify();
  // out holds at least 63 bytes.
  static void DescribeFileError(int cause, char* out);

  // The multi-line "System Error" report; 1 if written, 0 if not.
  static int ReportSystemError(LONG error, const char* source, int line);
  // out holds at least WB_MAX_FULL_PATH bytes.
  static void GetLogPath(char* out);
  static void GetLogPath(char* out, size_t size);
};

namespace diaglog {
// Puts the library-wide state back as at load. For tests only: the library
// itself never switches the log off.
void ResetForTest();
// The file-error cause of the last failed open of a line, for diagnostics.
int LastOpenFailureCause();
}  // namespace diaglog
