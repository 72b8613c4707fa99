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
  auto fail = [reusable](RPC_STATUS status) {
    *reusable = false;
    return status;
  };
  for (;;) {
    uint8_t head[kResponseHeaderSize];
    PduHeader h;
    if (!stream->ReadExact(head, kPduHeaderSize)) return fail(RPC_S_CALL_FAILED);
    if (!DecodePduHeader(head, kPduHeaderSize, &h) || h.fragLength < kPduHeaderSize ||
        h.fragLength > limits.maxFrag) {
      return fail(RPC_S_PROTOCOL_ERROR);
    }
    if (h.type == kPduResponse) {
      // Response stub data is read straight into the reply, without an
      // intermediate copy of the fragment.
      if (h.fragLength < kResponseHeaderSize) return fail(RPC_S_PROTOCOL_ERROR);
      if (!stream->ReadExact(head + kPduHeaderSize, kResponseHeaderSize - kPduHeaderSize)) {
        return fail(RPC_S_CALL_FAILED);
      }
      size_t begin = 0, end = 0;
      if (h.callId != limits.callId || !StubBounds(h, kResponseHeaderSize, &begin, &end)) {
        return fail(RPC_S_PROTOCOL_ERROR);
      }
      NdrCursor body(head, kResponseHeaderSize, h.rep);
      body.pos = kPduHeaderSize;
      uint32_t allocHint = 0;
      NdrGetU32(&body, &allocHint);
      if (first) {
        reply->rep = h.rep;
        // alloc_hint is only a hint (0 means unknown); never trust it further
        // than the call's own limit.
        constexpr size_t kMaxReserve = 16 * 1024 * 1024;
        reply->stub.reserve(std::min<size_t>({allocHint, limits.maxStub, kMaxReserve}));
      } else if (h.rep.bigEndian != reply->rep.bigEndian || h.rep.ebcdic != reply->rep.ebcdic) {
        return fail(RPC_S_PROTOCOL_ERROR);
      }
      const size_t n = end - begin;
      if (n > limits.maxStub - reply->stub.size()) {
        // More than the call can possibly return; the rest of the reply is
        // still on the connection.
        return fail(RPC_X_BAD_STUB_DATA);
      }
      if (!stream->ReadAppend(&reply->stub, n)) return fail(RPC_S_CALL_FAILED);
      if (h.fragLength > end) {
        char trailer[256];
        for (size_t left = h.fragLength - end; left > 0;) {
          const size_t take = std::min(left, sizeof trailer);
          if (!stream->ReadExact(trailer, take)) return fail(RPC_S_CALL_FAILED);
          left -= take;
        }
      }
      first = false;
      if (h.flags & kPfcLastFrag) return RPC_S_OK;
      continue;
    }
    pdu.assign(reinterpret_cast<const char*>(head), kPduHeaderSize);
    pdu.resize(h.fragLength);
    if (!stream->ReadExact(pdu.data() + kPduHeaderSize, h.fragLength - kPduHeaderSize)) {
      return fail(RPC_S_CALL_FAILED);
    }
    if (h.type == kPduShutdown) {
      // The server takes no new calls here; this one may still be answered.
      *reusable = false;
      continue;
    }
    if (h.callId != limits.callId || h.type != kPduFault) return fail(RPC_S_PROTOCOL_ERROR);
    FaultPdu fault;
    if (!DecodeFault(reinterpret_cast<const uint8_t*>(pdu.data()), h, &fault)) {
      return fail(RPC_S_PROTOCOL_ERROR);
    }
    // A fault ends the call cleanly only when it comes instead of the whole
    // response; after part of a response the stream is suspect.
    if (!first) *reusable = false;
    return MapFaultStatus(fault.status);
  }
}

}  // namespace wbrpc
