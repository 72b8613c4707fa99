// Building the binding to the scanner-sharing service; see rpc_client.h.
#include "wbremote/rpc/rpc_client.h"

#include <cstring>

#include "wbremote/text_copy.h"

namespace {

const char kPrefix[] = "RpcClient - ";

// A setting longer than its field is cut to the field's size less one.
template <size_t N>
void StoreSetting(char (&field)[N], const char* value) {
  CopyText(field, N, value, N);
}

RPC_CSTR AsRpcString(char* text) { return reinterpret_cast<RPC_CSTR>(text); }

}  // namespace

RpcClient::RpcClient(const char* networkAddress, const char* protocol, const char* endPoint,
                     const char* options, const char* stringBinding, const char* uuid)
    : m_sStringBinding(nullptr) {
  std::memset(m_sOptions, 0, sizeof m_sOptions);
  std::memset(m_sEndPoint, 0, sizeof m_sEndPoint);
  std::memset(m_sNetworkAddress, 0, sizeof m_sNetworkAddress);
  std::memset(m_sProtocol, 0, sizeof m_sProtocol);
  std::memset(m_sUuid, 0, sizeof m_sUuid);

  m_Log.Init("wbremote.log", 7, nullptr);

  // The two required settings are read as empty should a caller pass null,
  // rather than handing a null to the formatter.
  if (!networkAddress) networkAddress = "";
  if (!protocol) protocol = "";

  // Each line goes out before its value is stored.
  m_Log.Write("%sNetwork Address: %s", kPrefix, networkAddress);
  StoreSetting(m_sNetworkAddress, networkAddress);
  m_Log.Write("%sProtocol: %s", kPrefix, protocol);
  StoreSetting(m_sProtocol, protocol);
  if (endPoint) {
    m_Log.Write("%sEndPoint: %s", kPrefix, endPoint);
    StoreSetting(m_sEndPoint, endPoint);
  }
  if (options) {
    m_Log.Write("%sOptions: %s", kPrefix, options);
    StoreSetting(m_sOptions, options);
  }
  if (stringBinding) {
    // Logged only: the handle is always made from the composed string.
    m_Log.Write("%sStringBinding: %s", kPrefix, stringBinding);
  }
  if (uuid) {
    m_Log.Write("%sUuid: %s", kPrefix, uuid);
    StoreSetting(m_sUuid, uuid);
  }

  Bind();
}

RpcClient::~RpcClient() {
  // Neither status matters at unload, also when the handle was never set.
  RpcBindingFree(&hScannerBinding);
  RpcStringFreeA(&m_sStringBinding);
}

void RpcClient::Bind() {
  m_Log.Write("RpcNetworkIsProtSeqValid");
  const RPC_STATUS protseqStatus = RpcNetworkIsProtseqValidA(AsRpcString(m_sProtocol));
  if (protseqStatus == RPC_S_PROTSEQ_NOT_SUPPORTED) {
    m_Log.Write("Protocol: %s is not supported", m_sProtocol);
  } else if (protseqStatus == RPC_S_INVALID_RPC_PROTSEQ) {
    m_Log.Write("Protocol: %s is not a valid protocol", m_sProtocol);
  }

  // The endpoint stays out on purpose: the server machine's endpoint mapper
  // supplies it at the first call.
  m_Log.Write("RpcStringBindingCompose");
  const RPC_STATUS composeStatus =
      RpcStringBindingComposeA(AsRpcString(m_sUuid), AsRpcString(m_sProtocol),
                               AsRpcString(m_sNetworkAddress), nullptr, AsRpcString(m_sOptions),
                               &m_sStringBinding);
  if (composeStatus != RPC_S_OK) {
    m_Log.Write("RpcStringBindingCompose returned 0x%x\nm_sStringBinding = %s\n",
                static_cast<unsigned>(composeStatus),
                m_sStringBinding ? reinterpret_cast<const char*>(m_sStringBinding) : "");
  }

  m_Log.Write("RpcBindingFromStringBinding");
  const RPC_STATUS bindStatus = RpcBindingFromStringBindingA(m_sStringBinding, &hScannerBinding);
  if (bindStatus != RPC_S_OK) {
    m_Log.Write("RpcBindingFromStringBinding returned 0x%x\n", static_cast<unsigned>(bindStatus));
  }
}
