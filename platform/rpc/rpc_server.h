// A small connection-oriented DCE RPC server, the other end of the client
// runtime: it listens on TCP, accepts binds for the interfaces registered
// with it, reassembles fragmented requests, hands the stub data to the
// operation's handler and sends its reply (fragmented under the client's
// receive limit) or a fault. One thread per connection; Stop() closes
// everything and joins.
//
// Meant for test servers, benchmarks and the companion service; an
// EndpointMapper registered on another RpcServer makes its interfaces
// findable by clients that bind without an endpoint.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rpc/ndr_coding.h"
#include "platform/rpc/pdu.h"

namespace wbrpc {

class TcpStream;

class RpcServer {
 public:
  // What a handler may learn about the call it serves: which connection it
  // came on (ids are unique for the server's life) and the peer's address.
  struct CallContext {
    uint64_t connectionId = 0;
    std::string peerAddress;  // numeric, "127.0.0.1" or "::1"
    uint16_t peerPort = 0;
  };
  // The context of the call that the current thread is serving, or nullptr
  // outside a handler.
  static const CallContext* CurrentCall();
  // Called on the connection's thread once a connection has closed, with its
  // id; set before Start.
  using ConnectionClosedHandler = std::function<void(uint64_t connectionId)>;
  void SetConnectionClosedHandler(ConnectionClosedHandler handler) { onClosed_ = std::move(handler); }

  // Reads the request's stub data (in the client's data representation) and
  // appends the reply's stub data to *out. Returns 0, or a status to send
  // back in a fault PDU (an NCA code or a platform code).
  using Handler = std::function<uint32_t(NdrCursor* in, std::string* out)>;

  struct Options {
    std::string address = "127.0.0.1";  // "::1" for IPv6
    uint16_t port = 0;                  // 0: any free port
    uint16_t maxXmitFrag = kDefaultMaxFrag;  // advertised in bind_ack
    uint16_t maxRecvFrag = kDefaultMaxFrag;
    size_t maxRequestStub = 16 * 1024 * 1024;
    size_t maxConnections = 64;
    // A connection that brings no whole request within this time (idle, or
    // stuck halfway through a PDU), or does not take its reply, is closed,
    // so that no peer holds a connection thread for ever.
    std::chrono::milliseconds idleTimeout{300000};
  };

  RpcServer();
  explicit RpcServer(const Options& options);
  ~RpcServer();
  RpcServer(const RpcServer&) = delete;
  RpcServer& operator=(const RpcServer&) = delete;

  // Handlers by operation number; register before Start.
  void RegisterInterface(const SyntaxId& iface, std::vector<Handler> handlers);
  bool Start();
  void Stop();
  uint16_t port() const { return port_; }

 private:
  struct Connection;
  void AcceptLoop();
  void Serve(Connection* c);
  bool HandleBind(Connection* c, const std::string& pdu, const PduHeader& h);
  bool HandleRequest(Connection* c, const std::string& first, const PduHeader& h);

  Options options_;
  std::map<std::string, std::vector<Handler>> interfaces_;  // key: syntax octets
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Connection>> connections_;
  uint64_t nextConnectionId_ = 1;
  ConnectionClosedHandler onClosed_;
};

// The endpoint mapper's ept_map on an RpcServer: answers with a TCP tower
// for each registered interface, "not registered" otherwise.
class EndpointMapper {
 public:
  void Add(const SyntaxId& iface, uint16_t port);
  void Remove(const SyntaxId& iface);
  void RegisterOn(RpcServer* server);

 private:
  uint32_t Map(NdrCursor* in, std::string* out);
  std::mutex mutex_;
  std::vector<std::pair<SyntaxId, uint16_t>> entries_;
};

}  // namespace wbrpc
