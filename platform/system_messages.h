// The system's message table: a text, in this project's own words, for each
// error code this system meets (file and access errors, the RPC statuses, the
// common ones). FormatMessageA reads it as the original platform reads its
// own; a code without a text fails the call.
#pragma once

#include <cstdarg>

#include "platform/win_types.h"

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LANG_NEUTRAL 0x00
#define LANG_ENGLISH 0x09
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_SYS_DEFAULT 0x02
#define MAKELANGID(p, s) ((static_cast<WORD>(s) << 10) | static_cast<WORD>(p))

enum : DWORD {
  ERROR_MR_MID_NOT_FOUND = 317,
  ERROR_RESOURCE_LANG_NOT_FOUND = 1815,
};

// Supports FORMAT_MESSAGE_FROM_SYSTEM with FORMAT_MESSAGE_IGNORE_INSERTS:
// the text of messageId, insert markers such as %1 kept as they stand, into
// buffer (this table's texts are single lines without a line end) (size counts its bytes). Returns the
// characters stored without the NUL, or 0 with the last error set:
// 317 for a code without a text, 122 when the buffer is too small, 1815 for
// a language other than neutral or English, 87 for other flags.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments);

// The table's text for a code, or null.
const char* WbSystemMessageText(DWORD code);
