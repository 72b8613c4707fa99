// Client associations: bind and call over one connection.
#include "platform/rpc/association.h"

#include <algorithm>
#include <mutex>

namespace wbrpc {

namespace {
std::mutex gTimeoutsMutex;
WireTimeouts gTimeouts;

// The smallest sending limit that still carries a request header and eight
// octets of stub data.
constexpr uint16_t kSmallestUsableFrag = kRequestHeaderSize + 16 + 8;

RPC_STATUS BindNakStatus(uint16_t reason) {
  switch (reason) {
    case kNakTemporaryCongestion:
    case kNakLocalLimitExceeded: return RPC_S_SERVER_TOO_BUSY;
    case kNakProtocolVersionNotSupported: return RPC_S_PROTOCOL_ERROR;
    default: return RPC_S_CALL_FAILED_DNE;
  }
}
}  // namespace

WireTimeouts GetWireTimeouts() {
  std::lock_guard<std::mutex> lock(gTimeoutsMutex);
  return gTimeouts;
}

void SetWireTimeouts(const WireTimeouts& t) {
  std::lock_guard<std::mutex> lock(gTimeoutsMutex);
  gTimeouts = t;
}

RPC_STATUS Association::Open(const std::string& host, const std::string& port, const SyntaxId& iface,
                             std::unique_ptr<Association>* out) {
  std::unique_ptr<TcpStream> stream = TcpStream::Connect(host, port, GetWireTimeouts().connect);
  if (!stream) return RPC_S_SERVER_UNAVAILABLE;
  return OpenOn(std::move(stream), iface, out);
}

RPC_STATUS Association::OpenOn(std::unique_ptr<TcpStream> stream, const SyntaxId& iface,
                               std::unique_ptr<Association>* out) {
  auto a = std::unique_ptr<Association>(new Association());
  a->stream_ = std::move(stream);
  a->iface_ = iface;
  const RPC_STATUS status = a->Bind();
  if (status != RPC_S_OK) return status;
  *out = std::move(a);
  return RPC_S_OK;
}

RPC_STATUS Association::Bind() {
  BindPdu bind;
  bind.maxXmitFrag = kDefaultMaxFrag;
  bind.maxRecvFrag = kDefaultMaxFrag;
  bind.abstractSyntax = iface_;
  const uint32_t callId = nextCallId_++;
  const std::string pdu = EncodeBind(callId, bind);
  stream_->SetDeadline(Clock::now() + GetWireTimeouts().reply);
  if (!stream_->WriteAll(pdu.data(), pdu.size())) return RPC_S_CALL_FAILED_DNE;
  std::string answer;
  PduHeader h;
  switch (ReadPdu(stream_.get(), kDefaultMaxFrag, &answer, &h)) {
    case ReadPduResult::kOk: break;
    case ReadPduResult::kStreamFailed: return RPC_S_CALL_FAILED_DNE;
    case ReadPduResult::kMalformed: return RPC_S_PROTOCOL_ERROR;
  }
  stream_->ClearDeadline();
  const auto* p = reinterpret_cast<const uint8_t*>(answer.data());
  if (h.callId != callId) return RPC_S_PROTOCOL_ERROR;
  if (h.type == kPduBindNak) {
    uint16_t reason = 0;
    if (!DecodeBindNak(p, h, &reason)) return RPC_S_PROTOCOL_ERROR;
    return BindNakStatus(reason);
  }
  if (h.type != kPduBindAck) return RPC_S_PROTOCOL_ERROR;
  BindAckPdu ack;
  if (!DecodeBindAck(p, h, &ack)) return RPC_S_PROTOCOL_ERROR;
  if (ack.result != kResultAcceptance) {
    return ack.reason == kReasonTransferSyntaxesNotSupported ? RPC_S_UNSUPPORTED_TRANS_SYN : RPC_S_UNKNOWN_IF;
  }
  // We send no fragment longer than the server receives, and accept none
  // longer than it said it sends.
  if (ack.maxRecvFrag < kSmallestUsableFrag || ack.maxXmitFrag < kPduHeaderSize + 8) {
    return RPC_S_PROTOCOL_ERROR;
  }
  sendLimit_ = ack.maxRecvFrag;
  recvLimit_ = ack.maxXmitFrag;
  return RPC_S_OK;
}

RPC_STATUS Association::Call(uint16_t opnum, const uint8_t* object, std::string_view stub,
                             size_t maxReplyStub, RpcReply* reply) {
  const uint32_t callId = nextCallId_++;
  RequestPdu req;
  req.allocHint = static_cast<uint32_t>(stub.size());
  req.contextId = 0;
  req.opnum = opnum;
  if (object) {
    req.hasObject = true;
    std::copy(object, object + 16, req.object);
  }
  const size_t header = kRequestHeaderSize + (object ? 16 : 0);
  const size_t perFragment = StubPerFragment(sendLimit_, header);
  stream_->SetDeadline(Clock::now() + GetWireTimeouts().reply);
  size_t offset = 0;
  do {
    const size_t n = std::min(perFragment, stub.size() - offset);
    uint8_t flags = 0;
    if (offset == 0) flags |= kPfcFirstFrag;
    if (offset + n == stub.size()) flags |= kPfcLastFrag;
    req.stub = stub.substr(offset, n);
    req.allocHint = static_cast<uint32_t>(stub.size() - offset);
    const std::string pdu = EncodeRequestFragment(callId, flags, req);
    if (!stream_->WriteAll(pdu.data(), pdu.size())) {
      reusable_ = false;
      // The last fragment never arrived whole, so the server cannot have
      // run the call.
      return RPC_S_CALL_FAILED_DNE;
    }
    offset += n;
  } while (offset < stub.size());

  ReplyLimits limits;
  limits.callId = callId;
  limits.maxFrag = recvLimit_;
  limits.maxStub = maxReplyStub;
  const RPC_STATUS status = ReceiveReply(stream_.get(), limits, reply, &reusable_);
  stream_->ClearDeadline();
  return status;
}

}  // namespace wbrpc
