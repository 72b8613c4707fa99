// The framework's string: an 8-bit text that owns its storage, with loading
// from the current resource module and printf-style formatting.
#pragma once

#include <cstdarg>
#include <string>

#include "platform/win_types.h"

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit, as the framework's
  CString(const CString&) = default;
  CString& operator=(const CString&) = default;
  CString& operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
  }

  int GetLength() const { return static_cast<int>(m_text.size()); }
  BOOL IsEmpty() const { return m_text.empty(); }
  void Empty() { m_text.clear(); }
  operator const char*() const { return m_text.c_str(); }  // NOLINT: as the framework's
  const char* GetString() const { return m_text.c_str(); }

  CString& operator+=(const char* text) {
    if (text) m_text += text;
    return *this;
  }
  friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }

  // String `id` of the current resource module (AfxGetResourceHandle), whole.
  // FALSE, leaving the string empty, when there is no such string.
  BOOL LoadString(UINT id);

  void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void FormatV(const char* format, va_list args);

 private:
  std::string m_text;
};
