// Between the framework's library start-up (platform/framework.cpp) and the
// record reader (platform/library_startup.cpp): which record belongs to the
// library this code is linked into.
#pragma once

#include "platform/library_startup.h"

void WbSetOwnStartupRecord(WbStartupRecord* record);
