// One client connection bound to one interface: connect, bind, then calls
// one at a time with increasing call ids, requests fragmented under the
// server's receive limit and replies reassembled under its send limit.
// Owned by one thread at a time (the connection pool hands it out).
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/rpc/pdu.h"
#include "platform/rpc/pdu_stream.h"
#include "platform/rpc/rpc.h"
#include "platform/rpc/tcp_stream.h"

namespace wbrpc {

// How long the runtime waits. connect: for a TCP connection to be set up
// (per call, all addresses of a name together). reply: from the moment a
// bind or request starts being sent until the whole answer has arrived.
struct WireTimeouts {
  std::chrono::milliseconds connect{20'000};
  std::chrono::milliseconds reply{300'000};
};
WireTimeouts GetWireTimeouts();
// For tests and for hosts that need other bounds.
void SetWireTimeouts(const WireTimeouts& t);

class Association {
 public:
  // Connects to host:port and binds iface with NDR 2.0. Returns RPC_S_OK or:
  // RPC_S_SERVER_UNAVAILABLE (no connection), RPC_S_CALL_FAILED_DNE (the
  // connection broke or timed out during the bind), RPC_S_PROTOCOL_ERROR,
  // RPC_S_UNKNOWN_IF (interface refused), RPC_S_SERVER_TOO_BUSY, ...
  static RPC_STATUS Open(const std::string& host, const std::string& port, const SyntaxId& iface,
                         std::unique_ptr<Association>* out);
  // Same over an existing stream (the bind is sent on it).
  static RPC_STATUS OpenOn(std::unique_ptr<TcpStream> stream, const SyntaxId& iface,
                           std::unique_ptr<Association>* out);

  // One call. object may be null. Returns RPC_S_OK with the reply, or the
  // status to raise; afterwards reusable() says whether the connection can
  // carry another call.
  RPC_STATUS Call(uint16_t opnum, const uint8_t* object, std::string_view stub, size_t maxReplyStub,
                  RpcReply* reply);

  bool reusable() const { return reusable_; }
  bool IdleBroken() { return stream_->IdleConnectionBroken(); }
  const SyntaxId& iface() const { return iface_; }
  uint16_t sendLimit() const { return sendLimit_; }
  uint16_t recvLimit() const { return recvLimit_; }

 private:
  RPC_STATUS Bind();
  std::unique_ptr<TcpStream> stream_;
  SyntaxId iface_;
  uint32_t nextCallId_ = 1;
  uint16_t sendLimit_ = kMustRecvFragSize;
  uint16_t recvLimit_ = kDefaultMaxFrag;
  bool reusable_ = true;
};

}  // namespace wbrpc
