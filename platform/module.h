// Modules: loading shared libraries by their bare file names as the original
// platform does, and reading their resources (platform/resource_table.h).
// A null module handle stands for the running program.
#pragma once

#include "platform/win_types.h"

struct WbModule;  // opaque
typedef WbModule* HMODULE;
typedef HMODULE HINSTANCE;

// Searches, for a bare name: the folder of the running program, the current
// folder, then the system's library path. Null on failure, with the last error
// set (126 when not found; 1114 when the library's start-up failed).
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
void* GetProcAddress(HMODULE module, LPCSTR procName);
// The full path of the module (null: the running program), cut to size-1
// characters; returns the number of characters copied.
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

// Copies string `id` of the module into buffer, cut to bufferMax-1
// characters; returns the characters copied, 0 when the string is absent.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax);

// The data and size of a resource, or null.
const void* WbFindResource(HMODULE module, WORD type, WORD id, DWORD* size);
