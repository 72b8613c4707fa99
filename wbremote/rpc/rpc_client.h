// RpcClient turns the library's connection settings into the binding handle
// hScannerBinding. Construction does all the work: it logs each setting,
// stores it, checks the protocol sequence, composes the string binding and
// creates the handle. Failures only leave log lines; nothing is returned or
// thrown.
//
// Ownership: the application object owns the one RpcClient; the RpcClient owns
// hScannerBinding and the composed string binding, and releases both in its
// destructor.
#pragma once

#include "platform/rpc/rpc.h"
#include "wbremote/log/diag_log.h"
#include "wbremote/rpc/scanner_binding.h"

class RpcClient {
 public:
  // Each setting holds at most 511 characters; a longer one is cut to its
  // first 511. networkAddress and protocol are required; the other four may be
  // null when the setting is absent.
  RpcClient(const char* networkAddress, const char* protocol, const char* endPoint,
            const char* options, const char* stringBinding, const char* uuid);
  virtual ~RpcClient();

  RpcClient(const RpcClient&) = delete;
  RpcClient& operator=(const RpcClient&) = delete;

  // Checks the protocol sequence, composes the string binding and creates
  // hScannerBinding, logging each step. Called by the constructor as its last
  // step.
  void Bind();

  // What was stored and composed, for those who inspect the binding.
  const char* NetworkAddress() const { return m_sNetworkAddress; }
  const char* Protocol() const { return m_sProtocol; }
  const char* EndPoint() const { return m_sEndPoint; }
  const char* Options() const { return m_sOptions; }
  const char* Uuid() const { return m_sUuid; }
  // The composed string binding; null when composition produced none.
  const char* StringBinding() const { return reinterpret_cast<const char*>(m_sStringBinding); }

  static constexpr size_t kSettingSize = 512;

 private:
  CDiagLog m_Log;
  RPC_CSTR m_sStringBinding;
  char m_sOptions[kSettingSize];
  char m_sEndPoint[kSettingSize];
  char m_sNetworkAddress[kSettingSize];
  char m_sProtocol[kSettingSize];
  char m_sUuid[kSettingSize];
};
