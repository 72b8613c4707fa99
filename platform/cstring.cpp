// CString's resource loading and formatting.
#include "platform/cstring.h"

#include <cstdio>
#include <cstring>

#include "platform/framework.h"
#include "platform/resource_table.h"

BOOL CString::LoadString(UINT id) {
  m_text.clear();
  if (id > 0xFFFF) return FALSE;
  DWORD size = 0;
  const void* data = WbFindResource(AfxGetResourceHandle(), WB_RT_STRING, static_cast<WORD>(id), &size);
  if (!data) return FALSE;
  m_text.assign(static_cast<const char*>(data), strnlen(static_cast<const char*>(data), size));
  return TRUE;
}

void CString::Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatV(format, args);
  va_end(args);
}

void CString::FormatV(const char* format, va_list args) {
  va_list probe;
  va_copy(probe, args);
  int needed = vsnprintf(nullptr, 0, format, probe);
  va_end(probe);
  if (needed < 0) {
    m_text.clear();
    return;
  }
  std::string text(static_cast<size_t>(needed) + 1, '\0');
  vsnprintf(text.data(), text.size(), format, args);
  text.resize(static_cast<size_t>(needed));
  m_text.swap(text);
}
