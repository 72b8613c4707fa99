// The update's paths in their 128-byte buffers: the application folder taken
// from the registry value, the search pattern, the destination, the program's
// own folder and the source. Every builder checks that its result fits,
// terminating zero included, and reports a path that would not fit instead of
// cutting or overrunning it. The folder separator is found with
// WbIsPathSeparator, so both '\' and '/' count (platform/ui/file_ops.h).
#pragma once

#include <cstddef>

#include "platform/win_types.h"

constexpr size_t kUpdatePathSize = 128;
typedef char UpdatePath[kUpdatePathSize];

// The folder part of the value: the bytes before the last separator among
// the `size` bytes stored (up to a zero byte), without that separator; empty
// when there is none. The folder always fits, the value being at most 128 bytes.
void ApplicationFolderFromValue(const BYTE* value, DWORD size, UpdatePath& folder);

// `out` = first + second; false, leaving `out` empty, when that would not fit.
bool JoinUpdatePath(UpdatePath& out, const char* first, const char* second);

// Cuts the path just after its last separator; false when it has none.
bool CutAfterLastSeparator(UpdatePath& path);
