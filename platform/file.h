// The framework's file object as the log and the update program use it: open
// with an access mode, a share mode and a creation mode; seek to the end;
// read and write; close; and the full path of the opened file, completed from
// the folder that was current at the open.
//
// Share modes hold between processes and between opens in one process: each
// open takes an advisory lock on its own open file description (shared for
// shareDenyNone, exclusive for the other modes), so while one holder has the
// file "not shared" every other open fails with the sharing cause.
//
// Failures are reported as the framework does, by a cause code in a
// CFileException filled in by the call, never by throwing.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

// The longest full path this platform hands out.
#define WB_MAX_FULL_PATH 4096

class CFileException {
 public:
  enum {
    none = 0,
    genericException = 1,
    fileNotFound = 2,
    badPath = 3,
    tooManyOpenFiles = 4,
    accessDenied = 5,
    invalidFile = 6,
    removeCurrentDir = 7,
    directoryFull = 8,
    badSeek = 9,
    hardIO = 10,
    sharingViolation = 11,
    lockViolation = 12,
    diskFull = 13,
    endOfFile = 14,
  };

  // The cause for an error code of the platform (GetLastError's numbering).
  static int OsErrorToCause(DWORD osError);

  int m_cause = none;
  LONG m_lOsError = 0;
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
  };

  CFile() = default;
  ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // Opens fileName. modeCreate alone creates or empties the file ("create
  // always"); without modeCreate the file must exist. FALSE on failure, with
  // the cause in *error when given.
  BOOL Open(const char* fileName, UINT openFlags, CFileException* error = nullptr);
  // The new length of the file, or -1 with the cause in *error.
  int64_t SeekToEnd(CFileException* error = nullptr);
  // TRUE when all count bytes were written.
  BOOL Write(const void* buffer, UINT count, CFileException* error = nullptr);
  // The bytes read, or -1 with the cause in *error.
  int64_t Read(void* buffer, UINT count, CFileException* error = nullptr);
  void Close();

  BOOL IsOpen() const { return m_fd >= 0; }
  // The full path recorded at the open; empty when not open.
  const char* GetFilePath() const { return m_path; }

 private:
  int m_fd = -1;
  char m_path[WB_MAX_FULL_PATH] = {};
};

// The file operations under CFile, as a table that tests replace to reach
// every failure path. Every call returns the result, or minus the errno
// value on failure.
struct WbFileOps {
  int (*open)(const char* path, int accessMode, bool create, bool truncate);
  int (*lock)(int fd, bool exclusive);  // never waits
  int (*truncate)(int fd);
  int64_t (*seekEnd)(int fd);
  int64_t (*write)(int fd, const void* buffer, size_t count);
  int64_t (*read)(int fd, void* buffer, size_t count);
  int (*close)(int fd);
  // The folder that is current now, into buffer; minus errno on failure.
  int (*currentFolder)(char* buffer, size_t size);
};

// The operating system's own table.
const WbFileOps* WbSystemFileOps();
// Replaces the table in use (null restores the system's); returns the old one.
const WbFileOps* WbSetFileOps(const WbFileOps* ops);
