// The run-time library's path splitter: drive, folder, file name and
// extension. Both '\' and '/' separate folders. The sized form is the one to
// use; the unsized one assumes buffers of the classic sizes below and cuts
// each part to fit instead of overrunning.
#pragma once

#include <cstddef>

#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// Any output may be null (with size 0) when the caller does not want it.
// Returns 0, or 22 (EINVAL) for a null path, or 34 (ERANGE) when a wanted
// part does not fit its buffer; on failure every given output is emptied.
int _splitpath_s(const char* path, char* drive, size_t driveSize, char* dir, size_t dirSize,
                 char* fname, size_t fnameSize, char* ext, size_t extSize);

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);
