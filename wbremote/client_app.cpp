// Start-up, settings and teardown of the client library.
#include "wbremote/client_app.h"

#include <cstring>
#include <new>

#include "platform/registry.h"
#include "wbremote/machine_identity.h"
#include "wbremote/rpc/rpc_client.h"
#include "wbremote/text_copy.h"

namespace {

constexpr const char* kClientKey = "SOFTWARE\\Velmora\\Wirebay\\Client";
constexpr BYTE kLogOptions = 7;

// Reads one value of the client key as a string of at most 511 characters.
// A missing value, one that needs more than the field's 512 bytes, or one
// that fills all 512 bytes without a terminator, is the empty string. The
// stored type is not examined: the bytes up to the first NUL are the text.
void ReadSetting(HKEY key, const char* name, char (&setting)[kSettingSize]) {
  char buffer[kSettingSize] = {};
  DWORD size = sizeof(buffer);
  setting[0] = '\0';
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS) {
    return;
  }
  if (size > sizeof(buffer)) return;
  size_t length = strnlen(buffer, size);
  if (length == sizeof(buffer)) return;
  CopyText(setting, sizeof(setting), buffer, length);
}

}  // namespace

CClientApp::CClientApp() : CWinApp(nullptr), m_hResourceLibrary(nullptr), m_pRpcClient(nullptr) {
  m_sNetworkAddress[0] = '\0';
  m_sEndPoint[0] = '\0';
  m_sProtocol[0] = '\0';
  m_sOptions[0] = '\0';
  m_sStringBinding[0] = '\0';
  m_sUuid[0] = '\0';
}

CClientApp::~CClientApp() {
  if (m_pRpcClient) {
    delete m_pRpcClient;
    m_pRpcClient = nullptr;
  }
}

BOOL CClientApp::InitInstance() {
  m_hResourceLibrary = LoadLibraryA("wbres.dll");
  if (!m_hResourceLibrary) AfxThrowMemoryException();
  AfxGetModuleState()->m_hCurrentResourceHandle = m_hResourceLibrary;

  m_Log.Init("wbremote.log", kLogOptions, nullptr);
  CDiagLog::Write("Log Initialized...");
  CDiagLog::Write("Retreiving Registry Settings");
  ReadSettings();
  CDiagLog::Write("Initialize RPC Runtime");
  m_pRpcClient =
      new (std::nothrow) RpcClient(m_sNetworkAddress, m_sProtocol, nullptr, nullptr, nullptr, nullptr);
  return CWinApp::InitInstance();
}

void CClientApp::ReadSettings() {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClientKey, 0, KEY_READ, &key);
  if (status != ERROR_SUCCESS) {
    CDiagLog::Write("RegOpenKeyEx Failed: %d", static_cast<int>(status));
    return;
  }
  char machineName[kIdentityFieldSize];
  char computerName[kIdentityFieldSize];
  char password[kIdentityFieldSize];
  GetMachineNameAndPassword(machineName, computerName, password);
  CopyText(m_sNetworkAddress, sizeof(m_sNetworkAddress), machineName, sizeof(machineName));
  // The start-up has no use for the password; it does not stay on the stack.
  WipeText(password, sizeof(password));

  ReadSetting(key, "Protocol", m_sProtocol);
  ReadSetting(key, "EndPoint", m_sEndPoint);
  ReadSetting(key, "Options", m_sOptions);
  ReadSetting(key, "StringBinding", m_sStringBinding);
  ReadSetting(key, "Uuid", m_sUuid);
  RegCloseKey(key);
}

int CClientApp::ExitInstance() {
  if (m_hResourceLibrary) FreeLibrary(m_hResourceLibrary);
  return CWinApp::ExitInstance();
}
