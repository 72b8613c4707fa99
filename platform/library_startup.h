// How a shared library of this platform reports the outcome of its start-up
// to the module layer that loaded it.
//
// A library built on the application framework runs its application object's
// InitInstance from its ELF initialisers (see WB_LIBRARY_STARTUP in
// platform/framework.h). The outcome lands in a small record that the library
// keeps in an allocated ELF section of its own, WB_STARTUP_SECTION. The
// library exports no symbol for it: LoadLibraryA finds the section through the
// file's section headers and the load base that the dynamic loader reports,
// reads the state, and unloads a library whose start-up failed (last error
// ERROR_DLL_INIT_FAILED). A host that loads the library with plain dlopen gets
// the same start-up and teardown; it just never looks at the record, and the
// library itself can test WbGetLibraryStartupState().
#pragma once

#include "platform/win_types.h"

#define WB_STARTUP_SECTION ".wb_startup"

constexpr DWORD WB_STARTUP_MAGIC = 0x54525453;  // "STRT"

enum : DWORD {
  WB_STARTUP_PENDING = 0,  // no start-up has run (or none exists)
  WB_STARTUP_RUNNING = 1,  // InitInstance is running
  WB_STARTUP_DONE = 2,     // InitInstance returned TRUE
  WB_STARTUP_FAILED = 3,   // InitInstance returned FALSE or raised an exception
};

struct WbStartupRecord {
  DWORD magic;  // WB_STARTUP_MAGIC
  DWORD size;   // sizeof(WbStartupRecord)
  DWORD state;  // WB_STARTUP_*
  DWORD error;  // ERROR_DLL_INIT_FAILED when the state is WB_STARTUP_FAILED
};

// The state of the start-up of the library this code is linked into;
// WB_STARTUP_PENDING in a program, or in a library without a start-up.
DWORD WbGetLibraryStartupState();

// For the module layer: the start-up record of a library loaded with dlopen,
// or null when the library keeps none (a resource-only library, any foreign
// library). Reads only the library's own file and mapped memory.
const WbStartupRecord* WbFindStartupRecord(void* dlHandle);
