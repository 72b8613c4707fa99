// Basic types of the platform layer, with the sizes the original platform
// gives them: LONG, DWORD, ULONG and UINT are 32-bit, WCHAR is 16-bit and BOOL
// is a 32-bit int, although long and wchar_t are wider on Linux. Product code
// uses these names only where it meets the platform.
#pragma once

#include <cstddef>
#include <cstdint>

typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint32_t UINT;
typedef int32_t INT;
typedef int32_t BOOL;
typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef char CHAR;
typedef char16_t WCHAR;
typedef int16_t SHORT;
typedef unsigned char UCHAR;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef LONG* PLONG;
typedef intptr_t LONG_PTR;
typedef uintptr_t ULONG_PTR;
typedef uintptr_t UINT_PTR;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define MAX_PATH 260

static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4 && sizeof(ULONG) == 4 && sizeof(UINT) == 4);
static_assert(sizeof(WCHAR) == 2 && sizeof(BOOL) == 4);

// Error codes as the original platform numbers them.
enum : DWORD {
  ERROR_SUCCESS = 0,
  ERROR_INVALID_FUNCTION = 1,
  ERROR_FILE_NOT_FOUND = 2,
  ERROR_PATH_NOT_FOUND = 3,
  ERROR_TOO_MANY_OPEN_FILES = 4,
  ERROR_ACCESS_DENIED = 5,
  ERROR_INVALID_HANDLE = 6,
  ERROR_NOT_ENOUGH_MEMORY = 8,
  ERROR_OUTOFMEMORY = 14,
  ERROR_INVALID_DRIVE = 15,
  ERROR_CURRENT_DIRECTORY = 16,
  ERROR_NO_MORE_FILES = 18,
  ERROR_WRITE_PROTECT = 19,
  ERROR_NOT_READY = 21,
  ERROR_CRC = 23,
  ERROR_SEEK = 25,
  ERROR_WRITE_FAULT = 29,
  ERROR_READ_FAULT = 30,
  ERROR_GEN_FAILURE = 31,
  ERROR_SHARING_VIOLATION = 32,
  ERROR_LOCK_VIOLATION = 33,
  ERROR_HANDLE_EOF = 38,
  ERROR_HANDLE_DISK_FULL = 39,
  ERROR_NOT_SUPPORTED = 50,
  ERROR_BAD_NETPATH = 53,
  ERROR_FILE_EXISTS = 80,
  ERROR_INVALID_PARAMETER = 87,
  ERROR_BROKEN_PIPE = 109,
  ERROR_DISK_FULL = 112,
  ERROR_INSUFFICIENT_BUFFER = 122,
  ERROR_INVALID_NAME = 123,
  ERROR_MOD_NOT_FOUND = 126,
  ERROR_PROC_NOT_FOUND = 127,
  ERROR_DIR_NOT_EMPTY = 145,
  ERROR_BAD_PATHNAME = 161,
  ERROR_ALREADY_EXISTS = 183,
  ERROR_BAD_EXE_FORMAT = 193,
  ERROR_FILENAME_EXCED_RANGE = 206,
  ERROR_MORE_DATA = 234,
  ERROR_NO_MORE_ITEMS = 259,
  ERROR_DIRECTORY = 267,
  ERROR_NOACCESS = 998,
  ERROR_CANTOPEN = 1011,
  ERROR_CANTREAD = 1012,
  ERROR_BADKEY = 1010,
  ERROR_REGISTRY_CORRUPT = 1015,
  ERROR_DLL_INIT_FAILED = 1114,
  ERROR_RESOURCE_DATA_NOT_FOUND = 1812,
  ERROR_RESOURCE_TYPE_NOT_FOUND = 1813,
  ERROR_RESOURCE_NAME_NOT_FOUND = 1814,
  ERROR_CLASS_DOES_NOT_EXIST = 1411,
  ERROR_INVALID_WINDOW_HANDLE = 1400,
  ERROR_TIMEOUT = 1460,
};

// The calling thread's last error, as GetLastError reports it.
DWORD GetLastError();
void SetLastError(DWORD error);

// Maps an errno value to the original platform's error code. The one place
// where operating-system errors are translated.
DWORD TranslateSystemError(int errnoValue);
