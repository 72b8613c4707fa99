// The application object, module state and exceptions of the framework
// layer, and the two drivers of an application object (program and library).
#include "platform/framework.h"

#include "platform/library_startup_internal.h"

namespace {

constinit AFX_MODULE_STATE gModuleState;
// The calling thread's current module state; null means this module's own.
// A plain pointer, so that a library holding it unloads cleanly.
constinit thread_local AFX_MODULE_STATE* tCurrentState = nullptr;

CMemoryException gMemoryException(FALSE);

}  // namespace

void CException::Delete() {
  if (m_bAutoDelete) delete this;
}

void AfxThrowMemoryException() { throw static_cast<CMemoryException*>(&gMemoryException); }

AFX_MODULE_STATE* AfxGetModuleState() { return tCurrentState ? tCurrentState : &gModuleState; }

AFX_MODULE_STATE* AfxGetStaticModuleState() { return &gModuleState; }

AFX_MODULE_STATE* AfxSetModuleState(AFX_MODULE_STATE* state) {
  AFX_MODULE_STATE* previous = AfxGetModuleState();
  tCurrentState = state;
  return previous;
}

HINSTANCE AfxGetResourceHandle() { return AfxGetModuleState()->m_hCurrentResourceHandle; }

void AfxSetResourceHandle(HINSTANCE resource) {
  AfxGetModuleState()->m_hCurrentResourceHandle = resource;
}

CWinApp* AfxGetApp() { return AfxGetModuleState()->m_pCurrentWinApp; }

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName), m_hInstance(nullptr) {
  gModuleState.m_pCurrentWinApp = this;
  gModuleState.m_lpszCurrentAppName = appName;
}

CWinApp::~CWinApp() {
  if (gModuleState.m_pCurrentWinApp == this) {
    gModuleState.m_pCurrentWinApp = nullptr;
    gModuleState.m_lpszCurrentAppName = nullptr;
  }
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::Run() { return ExitInstance(); }

int CWinApp::ExitInstance() { return 0; }

int AfxWinMain() {
  CWinApp* app = AfxGetApp();
  if (!app) return -1;
  try {
    if (!app->InitInstance()) return app->ExitInstance();
    return app->Run();
  } catch (CException* e) {
    e->Delete();
    return -1;
  } catch (...) {
    // A standard exception (out of memory, say) ends the program the same
    // way instead of through std::terminate.
    return -1;
  }
}

WbLibraryLifetime::WbLibraryLifetime(WbStartupRecord* record) {
  WbSetOwnStartupRecord(record);
  __atomic_store_n(&record->state, WB_STARTUP_RUNNING, __ATOMIC_RELEASE);
  BOOL started = TRUE;
  if (CWinApp* app = gModuleState.m_pCurrentWinApp) {
    try {
      started = app->InitInstance();
    } catch (CException* e) {
      e->Delete();
      started = FALSE;
    } catch (...) {
      started = FALSE;
    }
  }
  record->error = started ? ERROR_SUCCESS : ERROR_DLL_INIT_FAILED;
  __atomic_store_n(&record->state, started ? WB_STARTUP_DONE : WB_STARTUP_FAILED, __ATOMIC_RELEASE);
}

WbLibraryLifetime::~WbLibraryLifetime() {
  // ExitInstance runs after a failed start-up too: it releases whatever the
  // start-up took before it gave up.
  if (CWinApp* app = gModuleState.m_pCurrentWinApp) {
    try {
      app->ExitInstance();
    } catch (CException* e) {
      e->Delete();
    } catch (...) {
    }
  }
}
