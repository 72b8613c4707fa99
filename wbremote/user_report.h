// The texts the library composes for the user when the service refuses a
// check-out or a remote call fails. The library shows no message box and
// writes no log line for them (the exports' log lines are fixed), so each
// composed report is kept as the calling thread's last report, where a host
// or a debugger may read it; nothing else is done with it.
#pragma once

#include "platform/win_types.h"

constexpr int kReportTextSize = 512;

struct UserReport {
  char title[kReportTextSize];
  char text[kReportTextSize];
};

// Refusal of a check-out: title string 32781; text 32780 with the service's
// message for status 1, 32782 for status 2, 32783 for any other status.
void ReportRefusal(LONG status, const char* message);
// A failed remote call: title 32785; text 32784 with the code and the
// system's description of it.
void ReportFailure(LONG code);

// The calling thread's last report; both texts empty when there was none.
const UserReport& LastUserReport();
void ClearLastUserReport();
