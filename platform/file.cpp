// CFile over POSIX descriptors, with share modes as advisory locks on the
// open file description (flock), so they hold across processes.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int SysOpen(const char* path, int accessMode, bool create, bool truncate) {
  int flags = O_CLOEXEC;
  flags |= accessMode == 0 ? O_RDONLY : accessMode == 1 ? O_WRONLY : O_RDWR;
  if (create) flags |= O_CREAT;
  if (truncate) flags |= O_TRUNC;
  // Non-blocking, and regular files only: a FIFO or a device in place of
  // the file must not hold the caller in open() or in a later write.
  int fd = ::open(path, flags | O_NONBLOCK, 0666);
  if (fd < 0) return -errno;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return -error;
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return S_ISDIR(info.st_mode) ? -EISDIR : -EACCES;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

int SysLock(int fd, bool exclusive) {
  return ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0 ? 0 : -errno;
}

int SysTruncate(int fd) { return ::ftruncate(fd, 0) == 0 ? 0 : -errno; }

int64_t SysSeekEnd(int fd) {
  off_t pos = ::lseek(fd, 0, SEEK_END);
  return pos >= 0 ? static_cast<int64_t>(pos) : -errno;
}

int64_t SysWrite(int fd, const void* buffer, size_t count) {
  const char* p = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < count) {
    ssize_t n = ::write(fd, p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return -errno;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t SysRead(int fd, void* buffer, size_t count) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, count);
    if (n >= 0) return n;
    if (errno != EINTR) return -errno;
  }
}

int SysClose(int fd) { return ::close(fd) == 0 ? 0 : -errno; }

int SysCurrentFolder(char* buffer, size_t size) {
  return ::getcwd(buffer, size) ? 0 : -errno;
}

const WbFileOps kSystemOps = {SysOpen, SysLock, SysTruncate, SysSeekEnd,
                              SysWrite, SysRead, SysClose, SysCurrentFolder};

std::atomic<const WbFileOps*> gOps{&kSystemOps};

void SetError(CFileException* error, int negErrno) {
  if (!error) return;
  DWORD os = TranslateSystemError(-negErrno);
  error->m_lOsError = static_cast<LONG>(os);
  error->m_cause = CFileException::OsErrorToCause(os);
}

// Completes a relative path from the current folder; FALSE when it does not fit.
bool FullPath(const WbFileOps* ops, const char* name, char* out, size_t size) {
  if (name[0] == '/') {
    return std::snprintf(out, size, "%s", name) < static_cast<int>(size);
  }
  char folder[WB_MAX_FULL_PATH];
  if (ops->currentFolder(folder, sizeof folder) < 0) return false;
  const size_t length = std::strlen(folder);
  const char* sep = length > 0 && folder[length - 1] == '/' ? "" : "/";
  return std::snprintf(out, size, "%s%s%s", folder, sep, name) < static_cast<int>(size);
}

}  // namespace

const WbFileOps* WbSystemFileOps() { return &kSystemOps; }

const WbFileOps* WbSetFileOps(const WbFileOps* ops) {
  return gOps.exchange(ops ? ops : &kSystemOps);
}

int CFileException::OsErrorToCause(DWORD osError) {
  switch (osError) {
    case ERROR_SUCCESS: return none;
    case ERROR_FILE_NOT_FOUND: return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_NETPATH: return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_DIRECTORY: return accessDenied;
    case ERROR_INVALID_HANDLE: return invalidFile;
    case ERROR_CURRENT_DIRECTORY: return removeCurrentDir;
    case ERROR_NO_MORE_FILES: return directoryFull;
    case ERROR_SEEK: return badSeek;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE: return hardIO;
    case ERROR_SHARING_VIOLATION: return sharingViolation;
    case ERROR_LOCK_VIOLATION: return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return diskFull;
    case ERROR_HANDLE_EOF: return endOfFile;
    default: return genericException;
  }
}

CFile::~CFile() { Close(); }

BOOL CFile::Open(const char* fileName, UINT openFlags, CFileException* error) {
  Close();
  if (error) *error = CFileException();
  const WbFileOps* ops = gOps.load();
  if (!fileName || !fileName[0]) {
    SetError(error, -ENOENT);
    return FALSE;
  }
  if (!FullPath(ops, fileName, m_path, sizeof m_path)) {
    m_path[0] = '\0';
    SetError(error, -ENAMETOOLONG);
    return FALSE;
  }
  const int access = (openFlags & modeReadWrite) ? 2 : (openFlags & modeWrite) ? 1 : 0;
  const bool create = (openFlags & modeCreate) != 0;
  const bool truncate = create && !(openFlags & modeNoTruncate);
  // The file is emptied only after the share check has passed, so a refused
  // open never destroys another holder's content.
  // Emptying needs a descriptor that may write, even for a file opened for
  // reading, as "create always" with read access empties the file too.
  int fd = ops->open(fileName, truncate && access == 0 ? 2 : access, create, false);
  if (fd < 0) {
    m_path[0] = '\0';
    SetError(error, fd);
    return FALSE;
  }
  const UINT share = openFlags & 0x70;
  int rc = ops->lock(fd, share != shareDenyNone);
  if (rc == -EWOULDBLOCK) rc = -EBUSY;  // another holder: a sharing violation
  if (rc == 0 && truncate) rc = ops->truncate(fd);
  if (rc < 0) {
    ops->close(fd);
    m_path[0] = '\0';
    SetError(error, rc);
    return FALSE;
  }
  m_fd = fd;
  return TRUE;
}

int64_t CFile::SeekToEnd(CFileException* error) {
  if (m_fd < 0) {
    SetError(error, -EBADF);
    return -1;
  }
  int64_t pos = gOps.load()->seekEnd(m_fd);
  if (pos < 0) {
    SetError(error, static_cast<int>(pos));
    return -1;
  }
  return pos;
}

BOOL CFile::Write(const void* buffer, UINT count, CFileException* error) {
  if (m_fd < 0) {
    SetError(error, -EBADF);
    return FALSE;
  }
  if (count == 0) return TRUE;
  int64_t n = gOps.load()->write(m_fd, buffer, count);
  if (n < 0) {
    SetError(error, static_cast<int>(n));
    return FALSE;
  }
  if (n != count) {
    SetError(error, -ENOSPC);
    return FALSE;
  }
  return TRUE;
}

int64_t CFile::Read(void* buffer, UINT count, CFileException* error) {
  if (m_fd < 0) {
    SetError(error, -EBADF);
    return -1;
  }
  int64_t n = gOps.load()->read(m_fd, buffer, count);
  if (n < 0) {
    SetError(error, static_cast<int>(n));
    return -1;
  }
  return n;
}

void CFile::Close() {
  if (m_fd >= 0) {
    gOps.load()->close(m_fd);  // closing also drops the share lock
    m_fd = -1;
  }
  m_path[0] = '\0';
}
