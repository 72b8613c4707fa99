// The update program's application object. Its InitInstance is the whole
// update: the main dialog, the checks, the copy of wbremote.dll into the
// folder of "VL Claritype Pro" and the closing message. It returns FALSE on
// every path that returns; not running on Windows NT ends the process with
// status -1, a cancelled notice with -2.
#pragma once

#include "platform/framework.h"

// The Windows version code: 4 for Windows NT, 1 for Windows 3.1x, 2 for
// Windows 95, from GetVersion's answer.
int WindowsVersionCode();

class CUpdateApp : public CWinApp {
 public:
  CUpdateApp() = default;
  BOOL InitInstance() override;
};
