#include "wbupdate/update_app.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/cstring.h"
#include "platform/module.h"
#include "platform/registry.h"
#include "platform/ui/file_ops.h"
#include "platform/ui/find_window.h"
#include "platform/ui/message_box.h"
#include "platform/ui/system_info.h"
#include "wbupdate/copying_dlg.h"
#include "wbupdate/resource.h"
#include "wbupdate/update_dlg.h"
#include "wbupdate/update_paths.h"

namespace {

const char kKeyPath[] = "Software\\Velmora\\VL Claritype Pro\\IE";
const char kValueName[] = "Coach";
const char kApplicationTitle[] = "VL Claritype Pro";
const char kLibraryName[] = "wbremote.dll";
const char kLibraryInFolder[] = "\\wbremote.dll";
const char kPatternSuffix[] = "\\*.*";
constexpr DWORD kPauseAfterCopy = 3500;
constexpr int kStatusNotNt = -1;
constexpr int kStatusNoticeCancelled = -2;

int ShowMessage(UINT id, const char* title, UINT style) {
  CString text;
  text.LoadString(id);
  return MessageBoxA(nullptr, text, title, style);
}

}  // namespace

int WindowsVersionCode() {
  DWORD version = GetVersion();
  if (!(version & 0x80000000u)) return 4;
  return (version & 0xFF) == 3 ? 1 : 2;
}

BOOL CUpdateApp::InitInstance() {
  Enable3dControlsStatic();

  CUpdateDlg dialog(nullptr);
  if (dialog.DoModal() != IDOK) return FALSE;

  if (WindowsVersionCode() != 4) {
    ShowMessage(IDS_REQUIRES_NT, "Error", MB_OK | MB_ICONERROR);
    std::exit(kStatusNotNt);
  }

  if (ShowMessage(IDS_ADMINISTRATOR_NOTICE, "Notice", MB_OKCANCEL | MB_ICONWARNING) == IDCANCEL)
    std::exit(kStatusNoticeCancelled);

  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    ShowMessage(IDS_ERROR_REINSTALL, "Error", MB_OK | MB_ICONWARNING);
    return FALSE;
  }
  DWORD type = 0;
  DWORD size = kUpdatePathSize;
  BYTE value[kUpdatePathSize];
  LONG status = RegQueryValueExA(key, kValueName, nullptr, &type, value, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) {
    ShowMessage(IDS_ERROR_REINSTALL, "Error", MB_OK | MB_ICONWARNING);
    return FALSE;
  }

  UpdatePath folder;
  UpdatePath pattern;
  std::memset(pattern, 0, sizeof pattern);
  ApplicationFolderFromValue(value, size, folder);
  // The destination is built here too, so that a folder too long for either
  // path stops the run before anything is shown or copied.
  UpdatePath destination;
  if (!JoinUpdatePath(pattern, folder, kPatternSuffix) || !JoinUpdatePath(destination, folder, kLibraryInFolder)) {
    ShowMessage(IDS_ERROR_REINSTALL, "Error", MB_OK | MB_ICONWARNING);
    return FALSE;
  }

  CFileFind finder;
  if (!finder.FindFile(pattern, 0)) {
    ShowMessage(IDS_ERROR_REINSTALL, "Error", MB_OK | MB_ICONWARNING);
    return FALSE;
  }

  if (FindWindowA(nullptr, kApplicationTitle)) {
    ShowMessage(IDS_CLOSE_APPLICATIONS, "Error", MB_OK | MB_ICONWARNING);
    return FALSE;
  }

  UpdatePath ownPath;
  std::memset(ownPath, 0, sizeof ownPath);
  SetLastError(ERROR_SUCCESS);
  GetModuleFileNameA(nullptr, ownPath, sizeof ownPath);
  bool ownPathFits = GetLastError() != ERROR_INSUFFICIENT_BUFFER;
  UpdatePath source;
  if (!ownPathFits || !CutAfterLastSeparator(ownPath) || !JoinUpdatePath(source, ownPath, kLibraryName)) {
    ShowMessage(IDS_ERROR_REINSTALL, "Error", MB_OK | MB_ICONWARNING);
    return FALSE;
  }

  auto popup = std::make_unique<CCopyingDlg>(nullptr);
  popup->ShowWindow(SW_SHOW);

  if (CopyFileA(source, destination, FALSE)) {
    Sleep(kPauseAfterCopy);
    popup->DestroyWindow();
    ShowMessage(IDS_UPDATE_COMPLETE, "Complete", MB_OK);
  } else {
    popup->DestroyWindow();
    ShowMessage(IDS_UPDATE_INCOMPLETE, "Error", MB_OK | MB_ICONWARNING);
  }
  return FALSE;
}
