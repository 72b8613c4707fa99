#include "wbremote/log/system_error_text.h"

#include "platform/system_messages.h"

void DescribeSystemError(LONG code, char* out, size_t size) {
  if (size == 0) return;
  if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                      static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT), out,
                      static_cast<DWORD>(size), nullptr)) {
    out[0] = '\0';
  }
}
