// The server loop: accept, bind, reassemble, dispatch, reply.
#include "platform/rpc/rpc_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/rpc/epmap.h"
#include "platform/rpc/nca_status.h"
#include "platform/rpc/pdu_stream.h"
#include "platform/rpc/tcp_stream.h"

namespace wbrpc {

namespace {
std::string SyntaxKey(const SyntaxId& s) {
  std::string k(reinterpret_cast<const char*>(s.uuid), 16);
  PutFixed16(&k, s.major);
  PutFixed16(&k, s.minor);
  return k;
}

thread_local const RpcServer::CallContext* tCurrentCall = nullptr;

// Numeric text of a socket address and its port.
void DescribePeer(const sockaddr_storage& addr, std::string* host, uint16_t* port) {
  char text[INET6_ADDRSTRLEN] = {};
  if (addr.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
    inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    *port = ntohs(a->sin6_port);
  } else if (addr.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
    inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    *port = ntohs(a->sin_port);
  }
  *host = text;
}

// Makes ctx the current call's context for the life of the object.
class CallScope {
 public:
  explicit CallScope(const RpcServer::CallContext* ctx) { tCurrentCall = ctx; }
  ~CallScope() { tCurrentCall = nullptr; }
};
}  // namespace

const RpcServer::CallContext* RpcServer::CurrentCall() { return tCurrentCall; }

struct RpcServer::Connection {
  CallContext context;
  std::unique_ptr<TcpStream> stream;
  std::thread thread;
  std::atomic<bool> done{false};
  const std::vector<Handler>* handlers = nullptr;  // of the bound interface
  uint16_t sendLimit = kMustRecvFragSize;
};

RpcServer::RpcServer() : RpcServer(Options()) {}
RpcServer::RpcServer(const Options& options) : options_(options) {}
RpcServer::~RpcServer() { Stop(); }

void RpcServer::RegisterInterface(const SyntaxId& iface, std::vector<Handler> handlers) {
  interfaces_[SyntaxKey(iface)] = std::move(handlers);
}

bool RpcServer::Start() {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* ai = nullptr;
  const std::string port = std::to_string(options_.port);
  if (getaddrinfo(options_.address.c_str(), port.c_str(), &hints, &ai) != 0) return false;
  listenFd_ = socket(ai->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  const bool ok = listenFd_ >= 0 && bind(listenFd_, ai->ai_addr, ai->ai_addrlen) == 0 && listen(listenFd_, 64) == 0;
  freeaddrinfo(ai);
  if (!ok) {
    if (listenFd_ >= 0) close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port
                                           : reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void RpcServer::Stop() {
  if (listenFd_ < 0) return;
  stopping_ = true;
  shutdown(listenFd_, SHUT_RDWR);  // wakes accept()
  if (acceptThread_.joinable()) acceptThread_.join();
  close(listenFd_);
  listenFd_ = -1;
  std::vector<std::unique_ptr<Connection>> all;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    all.swap(connections_);
  }
  for (auto& c : all) c->stream->Shutdown();
  for (auto& c : all) {
    if (c->thread.joinable()) c->thread.join();
  }
}

void RpcServer::AcceptLoop() {
  while (!stopping_) {
    sockaddr_storage peer{};
    socklen_t peerLen = sizeof peer;
    const int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &peerLen, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // Reap finished connections before counting.
    for (auto it = connections_.begin(); it != connections_.end();) {
      if ((*it)->done) {
        (*it)->thread.join();
        it = connections_.erase(it);
      } else {
        ++it;
      }
    }
    if (stopping_ || connections_.size() >= options_.maxConnections) {
      close(fd);
      continue;
    }
    auto c = std::make_unique<Connection>();
    c->stream = std::make_unique<TcpStream>(fd);
    c->context.connectionId = nextConnectionId_++;
    DescribePeer(peer, &c->context.peerAddress, &c->context.peerPort);
    Connection* raw = c.get();
    c->thread = std::thread([this, raw] {
      Serve(raw);
      raw->stream->Shutdown();
      if (onClosed_) onClosed_(raw->context.connectionId);
      raw->done = true;
    });
    connections_.push_back(std::move(c));
  }
}

void RpcServer::Serve(Connection* c) {
  std::string pdu;
  for (;;) {
    PduHeader h;
    c->stream->SetDeadline(Clock::now() + options_.idleTimeout);
    if (ReadPdu(c->stream.get(), options_.maxRecvFrag, &pdu, &h) != ReadPduResult::kOk) return;
    bool keep = false;
    if (h.type == kPduBind) {
      keep = HandleBind(c, pdu, h);
    } else if (h.type == kPduRequest) {
      keep = HandleRequest(c, pdu, h);
    } else if (h.type == kPduOrphaned || h.type == kPduCoCancel) {
      keep = true;  // nothing to cancel: calls run to their end
    }
    if (!keep) return;
  }
}

bool RpcServer::HandleBind(Connection* c, const std::string& pdu, const PduHeader& h) {
  BindPdu bind;
  if (!DecodeBind(reinterpret_cast<const uint8_t*>(pdu.data()), h, &bind)) {
    const std::string nak = EncodeBindNak(h.callId, kNakProtocolVersionNotSupported);
    c->stream->WriteAll(nak.data(), nak.size());
    return false;
  }
  BindAckPdu ack;
  ack.maxXmitFrag = std::min(options_.maxXmitFrag, bind.maxRecvFrag);
  ack.maxRecvFrag = options_.maxRecvFrag;
  ack.assocGroupId = 0x5a5a;
  ack.secondaryAddress = std::to_string(port_);
  auto it = interfaces_.find(SyntaxKey(bind.abstractSyntax));
  if (!bind.offersNdr) {
    ack.result = kResultProviderRejection;
    ack.reason = kReasonTransferSyntaxesNotSupported;
  } else if (it == interfaces_.end()) {
    ack.result = kResultProviderRejection;
    ack.reason = kReasonAbstractSyntaxNotSupported;
  } else {
    c->handlers = &it->second;
    c->sendLimit = ack.maxXmitFrag;
  }
  const std::string out = EncodeBindAck(h.callId, ack);
  return c->stream->WriteAll(out.data(), out.size());
}

bool RpcServer::HandleRequest(Connection* c, const std::string& first, const PduHeader& firstHeader) {
  RequestPdu req;
  if (!DecodeRequest(reinterpret_cast<const uint8_t*>(first.data()), firstHeader, &req)) return false;
  const uint32_t callId = firstHeader.callId;
  const uint16_t opnum = req.opnum;
  const DataRep rep = firstHeader.rep;
  std::string stub(req.stub);
  bool last = (firstHeader.flags & kPfcLastFrag) != 0;
  std::string pdu;
  while (!last) {
    PduHeader h;
    if (ReadPdu(c->stream.get(), options_.maxRecvFrag, &pdu, &h) != ReadPduResult::kOk) return false;
    if (h.type != kPduRequest || h.callId != callId) return false;
    if (!DecodeRequest(reinterpret_cast<const uint8_t*>(pdu.data()), h, &req)) return false;
    if (req.stub.size() > options_.maxRequestStub - stub.size()) return false;
    stub.append(req.stub);
    last = (h.flags & kPfcLastFrag) != 0;
  }
  uint32_t fault = 0;
  std::string out;
  if (!c->handlers) {
    fault = kNcaUnknownInterface;
  } else if (opnum >= c->handlers->size() || !(*c->handlers)[opnum]) {
    fault = kNcaOpRangeError;
  } else {
    NdrCursor in(stub.data(), stub.size(), rep);
    CallScope scope(&c->context);
    fault = (*c->handlers)[opnum](&in, &out);
  }
  if (fault != 0) {
    const std::string f = EncodeFault(callId, kPfcFirstFrag | kPfcLastFrag, fault);
    return c->stream->WriteAll(f.data(), f.size());
  }
  // Fragment headers are written beside the stub data they frame, with one
  // gathered write, so the reply is never copied into fragments.
  const size_t perFragment = StubPerFragment(c->sendLimit, kResponseHeaderSize);
  const size_t count = out.empty() ? 1 : (out.size() + perFragment - 1) / perFragment;
  std::string headers;
  headers.reserve(count * kResponseHeaderSize);
  std::vector<std::pair<size_t, size_t>> slices;  // stub offset and length per fragment
  size_t offset = 0;
  do {
    const size_t n = std::min(perFragment, out.size() - offset);
    ResponsePdu resp;
    resp.allocHint = static_cast<uint32_t>(out.size() - offset);
    uint8_t flags = 0;
    if (offset == 0) flags |= kPfcFirstFrag;
    if (offset + n == out.size()) flags |= kPfcLastFrag;
    AppendResponseHeader(&headers, callId, flags, resp, n);
    slices.emplace_back(offset, n);
    offset += n;
  } while (offset < out.size());
  std::vector<std::string_view> pieces;
  pieces.reserve(2 * slices.size());
  for (size_t i = 0; i < slices.size(); ++i) {
    pieces.emplace_back(headers.data() + i * kResponseHeaderSize, kResponseHeaderSize);
    if (slices[i].second) pieces.emplace_back(out.data() + slices[i].first, slices[i].second);
  }
  if (!c->stream->WriteGather(pieces)) return false;
  return true;
}

void EndpointMapper::Add(const SyntaxId& iface, uint16_t port) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.emplace_back(iface, port);
}

void EndpointMapper::Remove(const SyntaxId& iface) {
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const auto& e) { return e.first == iface; }),
                 entries_.end());
}

void EndpointMapper::RegisterOn(RpcServer* server) {
  std::vector<RpcServer::Handler> ops(kEptMapOpnum + 1);
  ops[kEptMapOpnum] = [this](NdrCursor* in, std::string* out) { return Map(in, out); };
  server->RegisterInterface(EndpointMapperInterface(), std::move(ops));
}

uint32_t EndpointMapper::Map(NdrCursor* in, std::string* out) {
  EptMapRequest req;
  TcpTowerInfo asked;
  if (!DecodeEptMapRequest(in, &req)) return RPC_X_BAD_STUB_DATA;
  std::vector<std::string> towers;
  if (ParseTcpTower(req.tower, &asked)) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [iface, port] : entries_) {
      if (iface == asked.iface && towers.size() < req.maxTowers) {
        towers.push_back(BuildTcpTower(iface, port, 0x7f000001));
      }
    }
  }
  *out = EncodeEptMapReply(towers, towers.empty() ? kEptNotRegistered : 0);
  return 0;
}

}  // namespace wbrpc
