// The system's description of an error code, as the log's report and the
// exports' failure texts show it.
#pragma once

#include <cstddef>

#include "platform/win_types.h"

// The text from the system message table in the system's default language,
// insert markers left as they stand; empty when the system has none.
void DescribeSystemError(LONG code, char* out, size_t size);
