// Calls on a binding: endpoint resolution and caching, the connection pool.
#include "platform/rpc/wire.h"

#include <memory>
#include <mutex>
#include <vector>

#include "platform/rpc/association.h"
#include "platform/rpc/epmap.h"

struct RpcWireState {
  std::mutex mutex;
  std::string mappedEndpoint;  // from the endpoint mapper; empty until known
  std::vector<std::unique_ptr<wbrpc::Association>> idle;
};

namespace wbrpc {

namespace {
void DeleteWireState(RpcWireState* state) { delete state; }

RpcWireState* StateOf(RpcBinding* b) {
  std::lock_guard<std::mutex> lock(b->wireMutex);
  if (!b->wire) {
    b->wire = new RpcWireState();
    b->wireDelete = &DeleteWireState;
  }
  return b->wire;
}

bool IsPortNumber(const std::string& s) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return std::stoul(s) <= 65535;
}

std::unique_ptr<Association> TakeIdle(RpcWireState* st, const SyntaxId& iface) {
  std::lock_guard<std::mutex> lock(st->mutex);
  while (!st->idle.empty()) {
    std::unique_ptr<Association> a = std::move(st->idle.back());
    st->idle.pop_back();
    // A server may have closed a connection while it lay idle; such a
    // connection is dropped here rather than failing the call later.
    if (a->iface() == iface && !a->IdleBroken()) return a;
  }
  return nullptr;
}

void GiveBack(RpcWireState* st, std::unique_ptr<Association> a) {
  std::lock_guard<std::mutex> lock(st->mutex);
  if (st->idle.size() < kMaxIdleConnections) st->idle.push_back(std::move(a));
}

std::string CachedEndpoint(RpcWireState* st) {
  std::lock_guard<std::mutex> lock(st->mutex);
  return st->mappedEndpoint;
}

void CacheEndpoint(RpcWireState* st, const std::string& endpoint) {
  std::lock_guard<std::mutex> lock(st->mutex);
  st->mappedEndpoint = endpoint;
}

// Connects and binds; raises on failure.
std::unique_ptr<Association> OpenFresh(RpcBinding* b, RpcWireState* st, const SyntaxId& iface,
                                       const uint8_t* object) {
  std::unique_ptr<Association> a;
  if (!b->endpoint.empty()) {
    if (!IsPortNumber(b->endpoint)) RpcRaiseException(RPC_S_INVALID_ENDPOINT_FORMAT);
    const RPC_STATUS status = Association::Open(b->networkAddress, b->endpoint, iface, &a);
    if (status != RPC_S_OK) RpcRaiseException(status);
    return a;
  }
  static const uint8_t kNil[16] = {};
  std::string endpoint = CachedEndpoint(st);
  const bool wasCached = !endpoint.empty();
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (endpoint.empty()) {
      const RPC_STATUS status = EptMapTcpPort(b->networkAddress, iface, object ? object : kNil, &endpoint);
      if (status != RPC_S_OK) RpcRaiseException(status);
      CacheEndpoint(st, endpoint);
    }
    const RPC_STATUS status = Association::Open(b->networkAddress, endpoint, iface, &a);
    if (status == RPC_S_OK) return a;
    // The service may have restarted on another port: ask the mapper again,
    // once, when the port came from the cache.
    if (status != RPC_S_SERVER_UNAVAILABLE || !wasCached || attempt == 1) RpcRaiseException(status);
    CacheEndpoint(st, std::string());
    endpoint.clear();
  }
  RpcRaiseException(RPC_S_SERVER_UNAVAILABLE);
}
}  // namespace

void WireCall(RPC_BINDING_HANDLE binding, const SyntaxId& iface, uint16_t opnum, std::string_view stub,
              size_t maxReplyStub, RpcReply* reply) {
  if (!binding) RpcRaiseException(RPC_S_INVALID_BINDING);
  if (binding->protseq != "ncacn_ip_tcp") RpcRaiseException(RPC_S_PROTSEQ_NOT_SUPPORTED);
  uint8_t object[16];
  const bool hasObject = !binding->objectUuid.empty();
  if (hasObject && !ParseUuid(binding->objectUuid, object)) RpcRaiseException(RPC_S_INVALID_STRING_UUID);
  RpcWireState* st = StateOf(binding);
  std::unique_ptr<Association> a = TakeIdle(st, iface);
  const bool pooled = a != nullptr;
  if (!a) a = OpenFresh(binding, st, iface, hasObject ? object : nullptr);
  RPC_STATUS status = a->Call(opnum, hasObject ? object : nullptr, stub, maxReplyStub, reply);
  if (status == RPC_S_CALL_FAILED_DNE && pooled) {
    // A kept connection that failed before the request was out: the call did
    // not run, so it is safe to send it once more on a new connection.
    a = OpenFresh(binding, st, iface, hasObject ? object : nullptr);
    status = a->Call(opnum, hasObject ? object : nullptr, stub, maxReplyStub, reply);
  }
  if (a->reusable()) GiveBack(st, std::move(a));
  if (status != RPC_S_OK) RpcRaiseException(status);
}

}  // namespace wbrpc
