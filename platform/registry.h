// The registry, read-only. Each root key is backed by one hive file in the
// text format of registry exports (".reg", platform/reg_file.h):
//
//   HKEY_LOCAL_MACHINE   $WB_REGISTRY_DIR/HKEY_LOCAL_MACHINE.reg, or, when
//                        WB_REGISTRY_DIR is unset or empty,
//                        /etc/wirebay/registry/HKEY_LOCAL_MACHINE.reg
//   HKEY_CURRENT_USER    $WB_REGISTRY_DIR/HKEY_CURRENT_USER.reg, or
//                        $XDG_CONFIG_HOME/wirebay/registry/HKEY_CURRENT_USER.reg
//                        ($XDG_CONFIG_HOME defaulting to ~/.config)
//   HKEY_CLASSES_ROOT, HKEY_USERS, HKEY_CURRENT_CONFIG
//                        <root name>.reg beside HKEY_LOCAL_MACHINE.reg
//
// A hive is read when a key of it is opened (and when a value is queried
// straight through a root handle), so every change to the file is seen by the
// next open. Parsed hives are kept and reused only while the file's identity
// (device, inode, size, times) is unchanged and its last change is older than
// the file system's timestamp granularity could hide.
//
// Strings come back in the 8-bit code page of this platform, UTF-8. The
// value of a string type (REG_SZ, REG_EXPAND_SZ) always ends with a NUL and
// its size counts that NUL; a REG_MULTI_SZ always ends with an empty string.
//
// Statuses (LONG, as the original platform numbers them):
//   ERROR_SUCCESS (0)
//   ERROR_FILE_NOT_FOUND (2)     no such key or value; a missing hive file is
//                                an empty hive
//   ERROR_ACCESS_DENIED (5)      write access asked for (the registry is
//                                read-only), a query through a handle opened
//                                without KEY_QUERY_VALUE, or a hive file that
//                                exists but may not be read (other errors of
//                                the file system are translated likewise)
//   ERROR_INVALID_HANDLE (6)     a key handle that is not open, or a root
//                                without a hive (HKEY_PERFORMANCE_DATA)
//   ERROR_INVALID_PARAMETER (87) no result pointer, a reserved argument set,
//                                data without a size
//   ERROR_BAD_PATHNAME (161)     a subkey path with an empty component
//                                ("\\Software", "a\\\\b"); one trailing
//                                backslash is allowed
//   ERROR_MORE_DATA (234)        the buffer is too small; the size then holds
//                                the size needed
//   ERROR_REGISTRY_CORRUPT (1015) the hive file is not a registry file (no
//                                header), not a regular file, or larger than
//                                WB_REGISTRY_MAX_HIVE_BYTES
//
// The key System\CurrentControlSet\Control\ComputerName\ComputerName of
// HKEY_LOCAL_MACHINE with its REG_SZ value ComputerName exists even when the
// hive does not hold it: the value is then this machine's host name, cut at
// its first dot.
//
// Every function may be called from any thread. A key handle is not bound to
// a thread; closing a handle while another thread queries it is safe (the
// query either completes or reports ERROR_INVALID_HANDLE).
#pragma once

#include <cstddef>

#include "platform/win_types.h"

struct WbRegKey;  // opaque; never dereferenced by callers
typedef WbRegKey* HKEY;
typedef HKEY* PHKEY;
typedef DWORD REGSAM;

#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)0x80000000u)
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)0x80000001u)
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)0x80000002u)
#define HKEY_USERS ((HKEY)(ULONG_PTR)0x80000003u)
#define HKEY_PERFORMANCE_DATA ((HKEY)(ULONG_PTR)0x80000004u)
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)0x80000005u)

// Access rights of a key handle. Only the read rights can be granted here.
enum : REGSAM {
  KEY_QUERY_VALUE = 0x0001,
  KEY_SET_VALUE = 0x0002,
  KEY_CREATE_SUB_KEY = 0x0004,
  KEY_ENUMERATE_SUB_KEYS = 0x0008,
  KEY_NOTIFY = 0x0010,
  KEY_CREATE_LINK = 0x0020,
  KEY_WOW64_64KEY = 0x0100,
  KEY_WOW64_32KEY = 0x0200,
  // The standard rights within them: 0x00010000 delete, 0x00020000 read
  // control, 0x00040000 and 0x00080000 changing the security, 0x02000000 the
  // maximum allowed.
  KEY_READ = 0x00020019,
  KEY_EXECUTE = KEY_READ,
  KEY_WRITE = 0x00020006,
  KEY_ALL_ACCESS = 0x000F003F,
};

// Value types.
enum : DWORD {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_DWORD_LITTLE_ENDIAN = 4,
  REG_DWORD_BIG_ENDIAN = 5,
  REG_LINK = 6,
  REG_MULTI_SZ = 7,
  REG_RESOURCE_LIST = 8,
  REG_FULL_RESOURCE_DESCRIPTOR = 9,
  REG_RESOURCE_REQUIREMENTS_LIST = 10,
  REG_QWORD = 11,
  REG_QWORD_LITTLE_ENDIAN = 11,
};

#define REG_OPTION_OPEN_LINK 0x00000008

// Hive files larger than this are refused (ERROR_REGISTRY_CORRUPT).
#define WB_REGISTRY_MAX_HIVE_BYTES (16u * 1024u * 1024u)

// Opens subKey below key (a root or an open handle). A null or empty subKey
// opens key itself again. `options` is ignored. On success *result holds a
// handle that the caller closes with RegCloseKey; on failure it is null.
LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM samDesired, PHKEY result);

// Reads value `valueName` (null or "" for the key's default value). `type`,
// `data` and `dataSize` may each be null, except that data needs dataSize.
// On entry *dataSize is the buffer's size; on return it is the value's size
// (also with ERROR_MORE_DATA, and when data is null). `reserved` must be null.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                      LPDWORD dataSize);

// Closes a handle from RegOpenKeyExA. Closing a root key does nothing.
LONG RegCloseKey(HKEY key);

// The hive file of a root key, as above, cut to size-1 characters. Returns the
// length of the full path (without NUL), or 0 when the root has no hive.
DWORD WbGetRegistryHivePath(HKEY root, LPSTR path, DWORD size);

// The source of the host name behind the ComputerName value, gethostname's
// signature and result. Tests replace it; null restores the platform's own.
// Returns the previous reader.
typedef int (*WbHostNameReader)(char* name, size_t size);
WbHostNameReader WbSetHostNameReader(WbHostNameReader reader);

// The wall clock (nanoseconds since the epoch) against which a hive file's
// last change is judged old enough to trust the parsed file from the cache.
// Tests replace it; null restores the platform's own. Returns the previous one.
typedef int64_t (*WbRegistryClock)();
WbRegistryClock WbSetRegistryClock(WbRegistryClock clock);
