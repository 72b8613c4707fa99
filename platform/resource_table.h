// How resources live in a module here. A resource library, and a program with
// resources of its own, is an ELF object that exports one C function,
// WbGetResourceDirectory, returning a table of typed, numbered entries. The
// module layer (platform/module.h) finds that function with the dynamic
// loader; nothing else of the module is needed, so a resource-only library
// is just this table.
//
// Entry data by type:
//   WB_RT_STRING     a NUL-terminated 8-bit string (size counts the bytes
//                    without the NUL); one entry per string identifier
//   WB_RT_DIALOG     a DialogTemplate (platform/ui/dialog_template.h)
//   WB_RT_GROUP_ICON an IconGroup (platform/ui/icon.h)
#pragma once

#include "platform/win_types.h"

enum : WORD {
  WB_RT_ICON = 3,
  WB_RT_DIALOG = 5,
  WB_RT_STRING = 6,
  WB_RT_GROUP_ICON = 14,
};

struct WbResourceEntry {
  WORD type;
  WORD id;
  const void* data;
  DWORD size;
};

struct WbResourceDirectory {
  DWORD magic;  // WB_RESOURCE_MAGIC
  DWORD count;
  const WbResourceEntry* entries;
};

constexpr DWORD WB_RESOURCE_MAGIC = 0x53455257;  // "WRES"

#define WB_RESOURCE_DIRECTORY_SYMBOL "WbGetResourceDirectory"

// Every module with resources defines this, exported from its dynamic symbol
// table (WB_EXPORT_RESOURCES below does both).
typedef const WbResourceDirectory* (*WbGetResourceDirectoryFn)();

#define WB_EXPORT_RESOURCES(directory)                                         \
  extern "C" __attribute__((visibility("default"))) const WbResourceDirectory* \
  WbGetResourceDirectory() {                                                   \
    return &(directory);                                                       \
  }
