// The client library's application object. Constructed when the library is
// loaded; its InitInstance loads the resource library, configures the
// diagnostic log, reads the settings and the stored identity, and creates the
// one RpcClient, which builds the binding. ExitInstance releases the resource
// library; destruction deletes the RpcClient and with it the binding.
//
// Owns: the resource library handle and the RpcClient. The one static
// instance lives in dll_client_app.cpp, so that tests can make their own.
#pragma once

#include "platform/framework.h"
#include "wbremote/log/diag_log.h"

class RpcClient;

constexpr int kSettingSize = 512;

class CClientApp : public CWinApp {
 public:
  CClientApp();
  ~CClientApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;

  // What start-up read; empty strings until then.
  const char* NetworkAddress() const { return m_sNetworkAddress; }
  const char* EndPoint() const { return m_sEndPoint; }
  const char* Protocol() const { return m_sProtocol; }
  const char* Options() const { return m_sOptions; }
  const char* StringBinding() const { return m_sStringBinding; }
  const char* Uuid() const { return m_sUuid; }
  HMODULE ResourceLibrary() const { return m_hResourceLibrary; }
  const RpcClient* Binding() const { return m_pRpcClient; }

 private:
  void ReadSettings();

  HMODULE m_hResourceLibrary;
  RpcClient* m_pRpcClient;
  CDiagLog m_Log;
  char m_sNetworkAddress[kSettingSize];
  char m_sEndPoint[kSettingSize];
  char m_sProtocol[kSettingSize];
  char m_sOptions[kSettingSize];
  char m_sStringBinding[kSettingSize];
  char m_sUuid[kSettingSize];
};
