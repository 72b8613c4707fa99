#include "platform/ui/file_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/ui/desktop_seam.h"

std::string WbNativePath(LPCSTR path) {
  std::string native = path ? path : "";
  for (char& c : native)
    if (c == '\\') c = '/';
  return native;
}

namespace {

// Writes all of `size` bytes, resuming after interruptions and short writes.
bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

BOOL FailWith(int error) {
  SetLastError(TranslateSystemError(error));
  return FALSE;
}

BOOL CopyFileOnDisk(const std::string& source, const std::string& destination, bool failIfExists) {
  // Non-blocking, so that a FIFO or device in place of the source cannot
  // hold the open for ever; only a regular file is copied.
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return FailWith(errno);
  struct stat sourceInfo;
  if (::fstat(in, &sourceInfo) != 0) {
    const int error = errno;
    ::close(in);
    return FailWith(error);
  }
  if (!S_ISREG(sourceInfo.st_mode)) {
    ::close(in);
    return FailWith(EACCES);
  }
  struct stat destinationInfo;
  if (::stat(destination.c_str(), &destinationInfo) == 0) {
    if (failIfExists) {
      ::close(in);
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
    // A read-only destination or a folder refuses the copy, as there.
    if (S_ISDIR(destinationInfo.st_mode) || ::access(destination.c_str(), W_OK) != 0) {
      ::close(in);
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }

  std::string temporary = destination + ".wbcopy-XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  int out = ::mkostemp(name.data(), O_CLOEXEC);
  if (out < 0) {
    int error = errno;
    ::close(in);
    return FailWith(error);
  }
  temporary.assign(name.data());

  int error = 0;
  char buffer[64 * 1024];
  for (;;) {
    ssize_t got = ::read(in, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      error = errno;
      break;
    }
    if (got == 0) break;
    if (!WriteAll(out, buffer, static_cast<size_t>(got))) {
      error = errno;
      break;
    }
  }
  if (!error && ::fchmod(out, sourceInfo.st_mode & 07777) != 0) error = errno;
  if (!error && ::fsync(out) != 0) error = errno;
  if (::close(out) != 0 && !error) error = errno;
  ::close(in);
  if (!error) {
    if (failIfExists) {
      // link() refuses an existing name, so a file that appeared meanwhile stays.
      if (::link(temporary.c_str(), destination.c_str()) != 0) error = errno;
    } else if (::rename(temporary.c_str(), destination.c_str()) != 0) {
      error = errno;
    }
  }
  if (error || failIfExists) ::unlink(temporary.c_str());
  if (error) return FailWith(error);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // namespace

BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists) {
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->copyFile) return seam->copyFile(existingFile, newFile, failIfExists);
  if (!existingFile || !newFile || !*existingFile || !*newFile) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return CopyFileOnDisk(WbNativePath(existingFile), WbNativePath(newFile), failIfExists != FALSE);
}

bool WbWildcardMatch(const char* pattern, const char* name) {
  if (!pattern || !name) return false;
  if (std::strcmp(pattern, "*.*") == 0 || std::strcmp(pattern, "*") == 0) return true;
  // Iterative matching with one back-tracking point for the last '*'.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' ||
               (*pattern && std::tolower(static_cast<unsigned char>(*pattern)) ==
                                std::tolower(static_cast<unsigned char>(*name)))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  // A trailing ".*" also matches a name without a dot.
  if (pattern[0] == '.' && pattern[1] == '*' && pattern[2] == '\0') return true;
  return *pattern == '\0';
}

BOOL CFileFind::FindFile(LPCSTR pattern, DWORD flags) {
  Close();
  if (flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const char* given = pattern ? pattern : "*.*";
  const WbDesktopSeam* seam = WbGetDesktopSeam();
  if (seam && seam->findFile) {
    if (!seam->findFile(given)) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return FALSE;
    }
    m_current = given;
    return TRUE;
  }

  std::string native = WbNativePath(given);
  size_t cut = native.rfind('/');
  std::string folder = cut == std::string::npos ? std::string() : native.substr(0, cut + 1);
  std::string namePattern = cut == std::string::npos ? native : native.substr(cut + 1);
  std::string givenText = given;
  m_folder = cut == std::string::npos ? std::string() : givenText.substr(0, cut + 1);

  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : TranslateSystemError(errno));
    return FALSE;
  }
  while (struct dirent* entry = ::readdir(dir)) {
    if (WbWildcardMatch(namePattern.c_str(), entry->d_name)) m_matches.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  if (m_matches.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  return TRUE;
}

BOOL CFileFind::FindNextFile() {
  if (m_next >= m_matches.size()) {
    m_current.clear();
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  m_current = m_matches[m_next++];
  return m_next < m_matches.size();
}

std::string CFileFind::GetFileName() const { return m_current; }
std::string CFileFind::GetFilePath() const { return m_folder + m_current; }

void CFileFind::Close() {
  m_folder.clear();
  m_matches.clear();
  m_next = 0;
  m_current.clear();
}
