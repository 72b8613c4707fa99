// Modules on top of the dynamic loader. A module handle is a node of this
// layer's list of loaded libraries: one node per loaded file, counted like the
// loader counts its own handles (one dlopen per LoadLibraryA, one dlclose per
// FreeLibrary). Libraries are opened RTLD_NOW | RTLD_LOCAL, so a missing
// import refuses the load, and no library's symbols leak into another's.
#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/library_startup.h"
#include "platform/resource_table.h"

struct WbModule {
  void* dl = nullptr;
  std::string path;  // full path of the file
  int references = 0;
  WbModule* next = nullptr;
};

namespace {

constinit std::mutex gModulesMutex;
constinit WbModule* gModules = nullptr;  // guarded by gModulesMutex

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ProgramPath() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// A name without an extension gets ".dll"; a trailing dot means "no
// extension" and is dropped, as the original platform does.
std::string WithExtension(const char* fileName) {
  std::string name(fileName);
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  bool hasDot = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  if (!hasDot) return name + ".dll";
  if (dot == name.size() - 1) name.pop_back();
  return name;
}

// The loader reports failures as text only.
DWORD ErrorFromLoaderMessage(const char* message) {
  if (!message) return ERROR_MOD_NOT_FOUND;
  if (strstr(message, "undefined symbol")) return ERROR_PROC_NOT_FOUND;
  if (strstr(message, "invalid ELF header") || strstr(message, "wrong ELF class") ||
      strstr(message, "file too short") || strstr(message, "ELF file")) {
    return ERROR_BAD_EXE_FORMAT;
  }
  if (strstr(message, "Permission denied")) return ERROR_ACCESS_DENIED;
  return ERROR_MOD_NOT_FOUND;
}

std::string LoadedPath(void* dl, const std::string& fallback) {
  struct link_map* map = nullptr;
  if (dlinfo(dl, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && map->l_name[0]) {
    char resolved[PATH_MAX];
    if (realpath(map->l_name, resolved)) return resolved;
    return map->l_name;
  }
  return fallback;
}

// Registers one more load of `dl`; returns its node.
WbModule* Register(void* dl, const std::string& path) {
  std::lock_guard<std::mutex> lock(gModulesMutex);
  for (WbModule* m = gModules; m; m = m->next) {
    if (m->dl == dl) {
      ++m->references;
      return m;
    }
  }
  WbModule* m = new WbModule;
  m->dl = dl;
  m->path = path;
  m->references = 1;
  m->next = gModules;
  gModules = m;
  return m;
}

// Drops one load of `module`; returns its dlopen handle, or null when the
// handle is not one of ours.
void* Unregister(HMODULE module) {
  std::lock_guard<std::mutex> lock(gModulesMutex);
  for (WbModule** link = &gModules; *link; link = &(*link)->next) {
    WbModule* m = *link;
    if (m != module) continue;
    void* dl = m->dl;
    if (--m->references == 0) {
      *link = m->next;
      delete m;
    }
    return dl;
  }
  return nullptr;
}

// The dlopen handle behind a module handle; for null, the running program's.
// Null (with the last error set) for a handle that is not loaded.
void* DlHandleOf(HMODULE module) {
  if (!module) {
    static void* program = dlopen(nullptr, RTLD_NOW);
    return program;
  }
  std::lock_guard<std::mutex> lock(gModulesMutex);
  for (WbModule* m = gModules; m; m = m->next) {
    if (m == module) return m->dl;
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

const WbResourceDirectory* DirectoryOf(HMODULE module) {
  void* dl = DlHandleOf(module);
  if (!dl) return nullptr;
  void* symbol = dlsym(dl, WB_RESOURCE_DIRECTORY_SYMBOL);
  if (!symbol) return nullptr;
  if (!module) {
    // dlsym on the program's handle searches the whole global scope; only the
    // program's own table counts.
    Dl_info info;
    struct link_map* owner = nullptr;
    struct link_map* program = nullptr;
    if (!dladdr1(symbol, &info, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) ||
        dlinfo(dl, RTLD_DI_LINKMAP, &program) != 0 || owner != program) {
      return nullptr;
    }
  }
  auto get = reinterpret_cast<WbGetResourceDirectoryFn>(symbol);
  const WbResourceDirectory* directory = get();
  if (!directory || directory->magic != WB_RESOURCE_MAGIC || !directory->entries) return nullptr;
  return directory;
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (!fileName || !fileName[0]) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name = WithExtension(fileName);

  // The first file found is the one loaded; a file that is there but cannot
  // be loaded ends the search, as on the original platform.
  std::string candidate;
  if (name.find('/') != std::string::npos) {
    candidate = name;
  } else {
    std::string inProgramFolder = Join(FolderOf(ProgramPath()), name);
    char cwd[PATH_MAX];
    std::string inCurrentFolder = getcwd(cwd, sizeof(cwd)) ? Join(cwd, name) : std::string();
    if (IsRegularFile(inProgramFolder)) {
      candidate = inProgramFolder;
    } else if (!inCurrentFolder.empty() && IsRegularFile(inCurrentFolder)) {
      candidate = inCurrentFolder;
    }
  }

  void* dl;
  if (candidate.empty()) {
    // The system's library path: LD_LIBRARY_PATH, the loader's cache and its
    // default folders (and the run path of the module holding this code).
    dl = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    if (!IsRegularFile(candidate)) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    dl = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!dl) {
    SetLastError(ErrorFromLoaderMessage(dlerror()));
    return nullptr;
  }

  const WbStartupRecord* record = WbFindStartupRecord(dl);
  if (record && record->state == WB_STARTUP_FAILED) {
    // The library has already torn itself down as far as it can; unloading
    // it runs the rest (ExitInstance and its static destructors).
    dlclose(dl);
    SetLastError(ERROR_DLL_INIT_FAILED);
    return nullptr;
  }
  return Register(dl, LoadedPath(dl, candidate.empty() ? name : candidate));
}

BOOL FreeLibrary(HMODULE module) {
  void* dl = module ? Unregister(module) : nullptr;
  if (!dl) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  dlclose(dl);
  return TRUE;
}

void* GetProcAddress(HMODULE module, LPCSTR procName) {
  if (!procName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Lookups by ordinal (a "name" below 0x10000) have no counterpart here.
  if (reinterpret_cast<uintptr_t>(procName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  void* dl = DlHandleOf(module);
  if (!dl) return nullptr;
  void* symbol = dlsym(dl, procName);
  if (!symbol) SetLastError(ERROR_PROC_NOT_FOUND);
  return symbol;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  std::string path;
  if (!module) {
    path = ProgramPath();
  } else {
    std::lock_guard<std::mutex> lock(gModulesMutex);
    WbModule* m = gModules;
    while (m && m != module) m = m->next;
    if (!m) {
      SetLastError(ERROR_INVALID_HANDLE);
      return 0;
    }
    path = m->path;
  }
  if (!fileName || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  size_t n = path.size();
  if (n > size - 1) {
    n = size - 1;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  }
  memcpy(fileName, path.data(), n);
  fileName[n] = '\0';
  return static_cast<DWORD>(n);
}

const void* WbFindResource(HMODULE module, WORD type, WORD id, DWORD* size) {
  const WbResourceDirectory* directory = DirectoryOf(module);
  if (!directory) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  for (DWORD i = 0; i < directory->count; ++i) {
    const WbResourceEntry& entry = directory->entries[i];
    if (entry.type == type && entry.id == id && entry.data) {
      if (size) *size = entry.size;
      return entry.data;
    }
  }
  SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return nullptr;
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
  if (!buffer || bufferMax <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  buffer[0] = '\0';
  if (id > 0xFFFF) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  DWORD size = 0;
  const void* data = WbFindResource(instance, WB_RT_STRING, static_cast<WORD>(id), &size);
  if (!data) return 0;
  size_t n = strnlen(static_cast<const char*>(data), size);
  if (n > static_cast<size_t>(bufferMax - 1)) n = static_cast<size_t>(bufferMax - 1);
  memcpy(buffer, data, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}
