// PDU framing and reply reassembly, shared by the client and the fuzzer.
#include "platform/rpc/pdu_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/rpc/nca_status.h"

namespace wbrpc {

bool MemoryStream::ReadExact(void* buf, size_t n) {
  if (size_ - pos_ < n) return false;
  if (n) memcpy(buf, data_ + pos_, n);
  pos_ += n;
  return true;
}

bool MemoryStream::WriteAll(const void* data, size_t n) {
  written_.append(static_cast<const char*>(data), n);
  return true;
}

ReadPduResult ReadPdu(ByteStream* stream, size_t maxFrag, std::string* pdu, PduHeader* h) {
  uint8_t head[kPduHeaderSize];
  if (!stream->ReadExact(head, sizeof head)) return ReadPduResult::kStreamFailed;
  if (!DecodePduHeader(head, sizeof head, h)) return ReadPduResult::kMalformed;
  if (h->fragLength < kPduHeaderSize || h->fragLength > maxFrag) return ReadPduResult::kMalformed;
  pdu->assign(reinterpret_cast<const char*>(head), sizeof head);
  pdu->resize(h->fragLength);
  if (!stream->ReadExact(pdu->data() + kPduHeaderSize, h->fragLength - kPduHeaderSize)) {
    return ReadPduResult::kStreamFailed;
  }
  return ReadPduResult::kOk;
}

RPC_STATUS ReceiveReply(ByteStream* stream, const ReplyLimits& limits, RpcReply* reply, bool* reusable) {
  reply->stub.clear();
  bool first = true;
  std::string pdu;
  for (;;) {
    PduHeader h;
    switch (ReadPdu(stream, limits.maxFrag, &pdu, &h)) {
      case ReadPduResult::kOk: break;
      case ReadPduResult::kStreamFailed: *reusable = false; return RPC_S_CALL_FAILED;
      case ReadPduResult::kMalformed: *reusable = false; return RPC_S_PROTOCOL_ERROR;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(pdu.data());
    if (h.type == kPduShutdown) {
      // The server takes no new calls here; this one may still be answered.
      *reusable = false;
      continue;
    }
    if (h.callId != limits.callId) {
      *reusable = false;
      return RPC_S_PROTOCOL_ERROR;
    }
    if (h.type == kPduFault) {
      FaultPdu fault;
      if (!DecodeFault(p, h, &fault)) {
        *reusable = false;
        return RPC_S_PROTOCOL_ERROR;
      }
      // A fault ends the call cleanly only when it comes instead of the
      // whole response; after part of a response the stream is suspect.
      if (!first) *reusable = false;
      return MapFaultStatus(fault.status);
    }
    if (h.type != kPduResponse) {
      *reusable = false;
      return RPC_S_PROTOCOL_ERROR;
    }
    ResponsePdu resp;
    if (!DecodeResponse(p, h, &resp)) {
      *reusable = false;
      return RPC_S_PROTOCOL_ERROR;
    }
    if (first) {
      reply->rep = h.rep;
      // alloc_hint is only a hint (0 means unknown); never trust it further
      // than the call's own limit.
      reply->stub.reserve(std::min<size_t>(resp.allocHint, limits.maxStub));
    } else if (h.rep.bigEndian != reply->rep.bigEndian || h.rep.ebcdic != reply->rep.ebcdic) {
      *reusable = false;
      return RPC_S_PROTOCOL_ERROR;
    }
    if (resp.stub.size() > limits.maxStub - reply->stub.size()) {
      // More than the call can possibly return: stop reading, the rest of
      // the reply is still on the connection.
      *reusable = false;
      return RPC_X_BAD_STUB_DATA;
    }
    reply->stub.append(resp.stub);
    first = false;
    if (h.flags & kPfcLastFrag) return RPC_S_OK;
  }
}

}  // namespace wbrpc
