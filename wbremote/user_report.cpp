#include "wbremote/user_report.h"

#include <cstdio>
#include <cstring>

#include "platform/framework.h"
#include "platform/module.h"
#include "wbremote/log/system_error_text.h"

namespace {

enum : UINT {
  IDS_REFUSED_BY_HOLDER = 32780,
  IDS_REFUSED_TITLE = 32781,
  IDS_REFUSED_PASSWORD = 32782,
  IDS_REFUSED_OTHER = 32783,
  IDS_CALL_FAILED = 32784,
  IDS_CALL_FAILED_TITLE = 32785,
};

thread_local UserReport tLast;

// Loads a string of the library's resources into out; empty when absent.
void LoadText(UINT id, char* out, int size) {
  // The strings live in the resource library that start-up made current for
  // this library, also when the application is the caller.
  AFX_MAINTAIN_STATE keep(AfxGetStaticModuleState());
  if (LoadStringA(AfxGetResourceHandle(), id, out, size) <= 0) out[0] = '\0';
}

// Expands a format taken from the resource library. A resource text is not
// trusted to hold exactly the conversions the code passes, so only one
// number conversion (%d, %ld, %i, %u, %x, when a number is given), one %s and
// %% are honoured; anything else is copied as it stands. Cut to fit out.
void Expand(const char* format, const LONG* number, const char* text, char* out, size_t size) {
  char digits[32];
  size_t n = 0;
  bool numberUsed = number == nullptr, textUsed = false;
  for (const char* p = format; *p && n + 1 < size; ++p) {
    const char* insert = nullptr;
    const char* q = p + 1;
    if (p[0] == '%') {
      if (*q == 'l') ++q;
      if (!numberUsed && (*q == 'd' || *q == 'i' || *q == 'u' || *q == 'x')) {
        if (*q == 'x' || *q == 'u') {
          std::snprintf(digits, sizeof digits, *q == 'x' ? "%x" : "%u", static_cast<unsigned>(*number));
        } else {
          std::snprintf(digits, sizeof digits, "%ld", static_cast<long>(*number));
        }
        insert = digits;
        numberUsed = true;
      } else if (!textUsed && *q == 's') {
        insert = text;
        textUsed = true;
      } else if (p[1] == '%') {
        insert = "%";
        q = p + 1;
      }
    }
    if (!insert) {
      out[n++] = *p;
      continue;
    }
    for (const char* v = insert; *v && n + 1 < size; ++v) out[n++] = *v;
    p = q;
  }
  out[n] = '\0';
}

}  // namespace

void ReportRefusal(LONG status, const char* message) {
  char format[kReportTextSize];
  LoadText(IDS_REFUSED_TITLE, tLast.title, sizeof tLast.title);
  const UINT id = status == 1 ? IDS_REFUSED_BY_HOLDER : status == 2 ? IDS_REFUSED_PASSWORD : IDS_REFUSED_OTHER;
  LoadText(id, format, sizeof format);
  Expand(format, nullptr, message ? message : "", tLast.text, sizeof tLast.text);
}

void ReportFailure(LONG code) {
  char description[kReportTextSize];
  DescribeSystemError(code, description, sizeof description);
  char format[kReportTextSize];
  LoadText(IDS_CALL_FAILED_TITLE, tLast.title, sizeof tLast.title);
  LoadText(IDS_CALL_FAILED, format, sizeof format);
  Expand(format, &code, description, tLast.text, sizeof tLast.text);
}

const UserReport& LastUserReport() { return tLast; }

void ClearLastUserReport() {
  tLast.title[0] = '\0';
  tLast.text[0] = '\0';
}
