// The system's version as a program written for the original platform asks
// for it, and the pause.
//
// GetVersion: this platform answers as Windows NT 4.0 does: major version 4 in
// the lowest byte, minor version 0 in the next, the build number (1381) in the
// high word with its top bit clear, the mark of the NT line. The desktop seam
// may stand in for it.
#pragma once

#include "platform/win_types.h"

DWORD GetVersion();

// Suspends the calling thread for the given milliseconds without handling any
// window message. The desktop seam may stand in for it.
void Sleep(DWORD milliseconds);
