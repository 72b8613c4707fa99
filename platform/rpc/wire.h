// The wire half of the runtime as the client stubs see it: one call on a
// binding handle. Per binding it keeps the endpoint found through the
// endpoint mapper and a pool of bound connections: calls from several
// threads run at once, one call per connection, more connections as needed;
// a connection that breaks is dropped and the next call connects afresh.
//
// Every failure is raised as RpcException with the original platform's
// status; nothing is sent for an unset binding (RPC_S_INVALID_BINDING).
//
// No call waits forever: connecting gives up after 20 s, and a bind or call
// fails when its answer has not arrived 300 s after it started to be sent
// (WireTimeouts in association.h; SetWireTimeouts changes them, as tests do).
// The endpoint mapper is asked on TCP port 135, or on WB_EPMAP_PORT when
// that environment variable is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rpc/binding.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/pdu_stream.h"

namespace wbrpc {

// Sends operation opnum of iface with the given stub data and returns the
// reply's stub data. maxReplyStub bounds what the caller can use: a longer
// reply fails the call with RPC_X_BAD_STUB_DATA.
void WireCall(RPC_BINDING_HANDLE binding, const SyntaxId& iface, uint16_t opnum, std::string_view stub,
              size_t maxReplyStub, RpcReply* reply);

// Connections kept idle per binding; more are closed after their call.
constexpr size_t kMaxIdleConnections = 8;

}  // namespace wbrpc

// The per-binding state that RpcBinding::wire points to.
struct RpcWireState;
