// The part of the application framework that the library and the update
// program stand on: the application object, the module state with its current
// resource handle, the framework's exceptions, and the two ways an
// application object is run here.
//
// Each linked copy of the platform layer is one module: a program has its own
// module state, and a shared library that links the platform statically has
// another, private one. AfxGetModuleState gives the calling thread's current
// module state (the module's own until AfxSetModuleState changes it).
//
// A program's main() calls AfxWinMain. A shared library puts
// WB_LIBRARY_STARTUP() into the same source file as its static application
// object, after it: the object is constructed at load, InitInstance runs at
// load after the static objects are built, and ExitInstance runs at unload
// before the application object is destroyed (see platform/library_startup.h
// for how a failed start-up reaches the loader).
#pragma once

#include "platform/library_startup.h"
#include "platform/module.h"
#include "platform/win_types.h"

// --- Exceptions ------------------------------------------------------------

// The framework throws exceptions by pointer; the catcher calls Delete().
class CException {
 public:
  constexpr explicit CException(BOOL autoDelete = TRUE) : m_bAutoDelete(autoDelete) {}
  virtual ~CException() = default;
  // Frees a heap-allocated exception; does nothing for a static one.
  void Delete();

 protected:
  BOOL m_bAutoDelete;
};

class CMemoryException : public CException {
 public:
  constexpr explicit CMemoryException(BOOL autoDelete = TRUE) : CException(autoDelete) {}
};

// Throws a CMemoryException*: one static object, since memory may be short.
[[noreturn]] void AfxThrowMemoryException();

// --- Module state ----------------------------------------------------------

class CWinApp;

struct AFX_MODULE_STATE {
  CWinApp* m_pCurrentWinApp = nullptr;
  HINSTANCE m_hCurrentInstanceHandle = nullptr;
  // Where strings and other resources are looked up; null means the running
  // program's own resources.
  HINSTANCE m_hCurrentResourceHandle = nullptr;
  const char* m_lpszCurrentAppName = nullptr;
};

// The calling thread's current module state.
AFX_MODULE_STATE* AfxGetModuleState();
// This module's own module state.
AFX_MODULE_STATE* AfxGetStaticModuleState();
// Makes `state` current for the calling thread (null: this module's own);
// returns the one that was current.
AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state);

// Makes a module state current for a scope and restores the previous one on
// every way out.
struct AFX_MAINTAIN_STATE {
  explicit AFX_MAINTAIN_STATE(AFX_MODULE_STATE* state)
      : m_pPrevModuleState(AfxSetModuleState(state)) {}
  ~AFX_MAINTAIN_STATE() { AfxSetModuleState(m_pPrevModuleState); }
  AFX_MAINTAIN_STATE(const AFX_MAINTAIN_STATE&) = delete;
  AFX_MAINTAIN_STATE& operator=(const AFX_MAINTAIN_STATE&) = delete;

  AFX_MODULE_STATE* m_pPrevModuleState;
};

HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE resource);
CWinApp* AfxGetApp();

// --- Application object ------------------------------------------------------

// One per module. Construction makes it the module's application object;
// destruction removes it again.
class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // TRUE to go on (a program then enters Run), FALSE to stop.
  virtual BOOL InitInstance();
  // A program's main work after a successful InitInstance; this layer has no
  // message loop of its own, so by default it only runs ExitInstance.
  virtual int Run();
  // The exit code.
  virtual int ExitInstance();

  const char* m_pszAppName;
  HINSTANCE m_hInstance;
};

// Runs the module's application object as a program: InitInstance, then Run
// when it returns TRUE or ExitInstance when it returns FALSE. Returns the exit
// code; -1 without an application object or when a framework exception ends
// the program.
int AfxWinMain();

// --- Shared-library lifetime ------------------------------------------------

// Runs the application object's InitInstance when constructed and its
// ExitInstance when destroyed, keeping the outcome of the start-up in the
// library's start-up record. An exception from InitInstance is caught here
// and counts as a failed start-up; none leaves the load.
class WbLibraryLifetime {
 public:
  explicit WbLibraryLifetime(WbStartupRecord* record);
  ~WbLibraryLifetime();
  WbLibraryLifetime(const WbLibraryLifetime&) = delete;
  WbLibraryLifetime& operator=(const WbLibraryLifetime&) = delete;
};

// Placed once in a shared library, after its static application object in the
// same source file, so that C++ runs it after that object is built and
// destroys it before.
#define WB_LIBRARY_STARTUP()                                                  \
  __attribute__((section(WB_STARTUP_SECTION), used)) static WbStartupRecord \
      wbLibraryStartupRecord = {WB_STARTUP_MAGIC, sizeof(WbStartupRecord),   \
                                WB_STARTUP_PENDING, 0};                      \
  static WbLibraryLifetime wbLibraryLifetime(&wbLibraryStartupRecord)
