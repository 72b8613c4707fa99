#include "platform/path_split.h"

#include <cstring>

namespace {

struct Parts {
  const char* drive;
  size_t driveLen;
  const char* dir;
  size_t dirLen;
  const char* fname;
  size_t fnameLen;
  const char* ext;
  size_t extLen;
};

Parts Split(const char* path) {
  Parts p{};
  const char* rest = path;
  if (rest[0] && rest[1] == ':') {
    p.drive = rest;
    p.driveLen = 2;
    rest += 2;
  }
  const char* lastSep = nullptr;
  const char* lastDot = nullptr;
  for (const char* c = rest; *c; ++c) {
    if (*c == '\\' || *c == '/') {
      lastSep = c;
      lastDot = nullptr;
    } else if (*c == '.') {
      lastDot = c;
    }
  }
  const char* name = lastSep ? lastSep + 1 : rest;
  p.dir = rest;
  p.dirLen = static_cast<size_t>(name - rest);
  const char* end = name + std::strlen(name);
  const char* extStart = lastDot ? lastDot : end;
  p.fname = name;
  p.fnameLen = static_cast<size_t>(extStart - name);
  p.ext = extStart;
  p.extLen = static_cast<size_t>(end - extStart);
  return p;
}

// Copies at most size-1 bytes of src; returns false when it had to cut.
bool Put(char* out, size_t size, const char* src, size_t len) {
  if (!out || size == 0) return true;
  const bool fits = len < size;
  const size_t n = fits ? len : size - 1;
  if (n) std::memcpy(out, src, n);
  out[n] = '\0';
  return fits;
}

void Clear(char* out, size_t size) {
  if (out && size) out[0] = '\0';
}

}  // namespace

int _splitpath_s(const char* path, char* drive, size_t driveSize, char* dir, size_t dirSize,
                 char* fname, size_t fnameSize, char* ext, size_t extSize) {
  if (!path) {
    Clear(drive, driveSize);
    Clear(dir, dirSize);
    Clear(fname, fnameSize);
    Clear(ext, extSize);
    return 22;
  }
  const Parts p = Split(path);
  bool ok = Put(drive, driveSize, p.drive, p.driveLen);
  ok = Put(dir, dirSize, p.dir, p.dirLen) && ok;
  ok = Put(fname, fnameSize, p.fname, p.fnameLen) && ok;
  ok = Put(ext, extSize, p.ext, p.extLen) && ok;
  if (!ok) {
    Clear(drive, driveSize);
    Clear(dir, dirSize);
    Clear(fname, fnameSize);
    Clear(ext, extSize);
    return 34;
  }
  return 0;
}

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
  if (!path) path = "";
  const Parts p = Split(path);
  Put(drive, drive ? _MAX_DRIVE : 0, p.drive, p.driveLen);
  Put(dir, dir ? _MAX_DIR : 0, p.dir, p.dirLen);
  Put(fname, fname ? _MAX_FNAME : 0, p.fname, p.fnameLen);
  Put(ext, ext ? _MAX_EXT : 0, p.ext, p.extLen);
}
