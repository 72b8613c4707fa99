// Files as a dialog program written for the original platform uses them:
// copying one file and finding directory entries by a wildcard pattern.
//
// Paths. Such programs build paths with '\' and search them for the last '\'.
// On this platform '\' and '/' both separate folders in every path these
// functions take, and WbIsPathSeparator answers for both, so a procedure that
// looks for "the last backslash" finds either. A path is used on the file
// system with each '\' turned into '/': "\opt\scan\bin\*.*" and
// "/opt/scan/bin\*.*" both name the entries of /opt/scan/bin. A drive prefix
// such as "C:" means nothing here; it stays part of a relative path. Hence a
// file name cannot hold a '\' on this platform.
//
// CopyFileA never leaves a partly written destination: it writes a temporary
// file beside the destination, flushes it, and renames it over the
// destination in one step, so a failed copy leaves any old file whole.
//
// The desktop seam (platform/ui/desktop_seam.h) may stand in for the copy and
// for the finder's first match.
#pragma once

#include <string>
#include <vector>

#include "platform/win_types.h"

inline bool WbIsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The path as the file system takes it ('\' turned into '/').
std::string WbNativePath(LPCSTR path);

// Copies the file `existingFile` to `newFile`, replacing a file of that name
// unless failIfExists (then error 80 when it exists). Non-zero on success;
// on failure FALSE with the last error set and the destination unchanged.
BOOL CopyFileA(LPCSTR existingFile, LPCSTR newFile, BOOL failIfExists);

// True when `name` matches the wildcard pattern as the original platform
// matches it: '*' any run, '?' one character, letters without regard to case,
// and "*.*" every name, with or without a dot.
bool WbWildcardMatch(const char* pattern, const char* name);

// The framework's file finder over one folder.
class CFileFind {
 public:
  CFileFind() = default;
  ~CFileFind() { Close(); }
  CFileFind(const CFileFind&) = delete;
  CFileFind& operator=(const CFileFind&) = delete;

  // Looks for the first entry matching `pattern` (null: "*.*" in the current
  // folder); TRUE when at least one directory entry matches, "." and ".."
  // included, as on the original platform. flags must be 0.
  BOOL FindFile(LPCSTR pattern = nullptr, DWORD flags = 0);
  // Moves to the next match; FALSE after the last.
  BOOL FindNextFile();
  // The name and the full path of the current match.
  std::string GetFileName() const;
  std::string GetFilePath() const;
  void Close();

 private:
  std::string m_folder;  // with its trailing separator, as given
  std::vector<std::string> m_matches;
  size_t m_next = 0;
  std::string m_current;
};
