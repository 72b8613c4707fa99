#include "wbupdate/update_paths.h"

#include <cstring>

#include "platform/ui/file_ops.h"

void ApplicationFolderFromValue(const BYTE* value, DWORD size, UpdatePath& folder) {
  std::memset(folder, 0, sizeof folder);
  if (!value) return;
  size_t stored = size < kUpdatePathSize ? size : kUpdatePathSize;
  // Searched backwards from the last byte stored.
  for (size_t i = stored; i-- > 0;) {
    if (!WbIsPathSeparator(static_cast<char>(value[i]))) continue;
    // i < 128, so the bytes before it and the zero always fit.
    size_t length = strnlen(reinterpret_cast<const char*>(value), i);
    std::memcpy(folder, value, length);
    folder[length] = '\0';
    return;
  }
}

bool JoinUpdatePath(UpdatePath& out, const char* first, const char* second) {
  size_t a = std::strlen(first), b = std::strlen(second);
  if (a + b + 1 > sizeof out) {
    out[0] = '\0';
    return false;
  }
  std::memmove(out, first, a);
  std::memcpy(out + a, second, b);
  out[a + b] = '\0';
  return true;
}

bool CutAfterLastSeparator(UpdatePath& path) {
  size_t length = strnlen(path, sizeof path - 1);
  for (size_t i = length; i-- > 0;) {
    if (WbIsPathSeparator(path[i])) {
      path[i + 1] = '\0';
      return true;
    }
  }
  return false;
}
