// PDU framing and reply reassembly, shared by the client and the fuzzer.
#include "platform/rpc/pdu_stream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/rpc/nca_status.h"

namespace wbrpc {

size_t MemoryStream::Take(char* dst, size_t n) {
  size_t done = 0;
  if (!pending_.empty()) {
    done = std::min(n, pending_.size());
    memcpy(dst, pending_.data(), done);
    pending_.erase(0, done);
  }
  const size_t more = std::min(n - done, size_ - pos_);
  if (more) memcpy(dst + done, data_ + pos_, more);
  pos_ += more;
  return done + more;
}

bool MemoryStream::ReadExact(void* buf, size_t n) {
  if (pending_.size() + (size_ - pos_) < n) return false;
  return Take(static_cast<char*>(buf), n) == n;
}

size_t MemoryStream::ReadSome(const ReadSpan* spans, size_t count) {
  size_t budget = chunk_, got = 0;
  for (size_t i = 0; i < count && budget > 0; ++i) {
    const size_t want = std::min(spans[i].size, budget);
    const size_t n = Take(spans[i].data, want);
    got += n;
    budget -= n;
    if (n < want) break;
  }
  return got;
}

void MemoryStream::Unread(const char* data, size_t n) { pending_.insert(0, data, n); }

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

namespace {
enum class Scatter { kContinue, kDone, kFailed };

// Large replies arrive as a train of equal fragments. Once one fragment of n
// stub octets has been announced, the following ones are predicted to be the
// same, and their stub data is read straight from the stream into the reply,
// their headers beside it, with no intermediate copy. Every predicted header
// is checked as soon as it is complete; at the first one that differs (the
// shorter last fragment, a fault, anything unexpected) everything read from
// that header on is put back into the stream and the ordinary path goes on.
// Reads wait only for octets that the headers checked so far promise.
Scatter ScatterFragments(ByteStream* stream, const ReplyLimits& limits, size_t n, RpcReply* reply) {
  constexpr size_t kMaxPredicted = 128;
  constexpr size_t kHdr = kResponseHeaderSize;
  const size_t base = reply->stub.size();
  const size_t room = limits.maxStub - base;  // at least n
  const size_t k = std::min((room - n) / n, kMaxPredicted);
  std::vector<char> headers(k * kHdr);
  reply->stub.resize(base + (k + 1) * n);
  std::vector<ReadSpan> spans;
  spans.reserve(2 * k + 1);
  spans.push_back({reply->stub.data() + base, n});
  for (size_t i = 0; i < k; ++i) {
    spans.push_back({headers.data() + i * kHdr, kHdr});
    spans.push_back({reply->stub.data() + base + (i + 1) * n, n});
  }
  // Layout positions: fragment i (1..k) has its header at n + (i-1)(n+24).
  auto hdrStart = [&](size_t i) { return n + (i - 1) * (n + kHdr); };
  auto stubEnd = [&](size_t i) { return n + i * (n + kHdr); };  // i = 0: the current fragment

  size_t got = 0, validated = 0, spanIndex = 0, spanOffset = 0;
  bool last = false;
  auto putBack = [&](size_t from) {
    // The octets at layout positions [from, got), in order.
    std::string back;
    size_t pos = 0;
    for (const ReadSpan& sp : spans) {
      const size_t a = std::max(pos, from), b = std::min(pos + sp.size, got);
      if (a < b) back.append(sp.data + (a - pos), b - a);
      pos += sp.size;
    }
    stream->Unread(back.data(), back.size());
  };
  for (;;) {
    while (!last && validated < k && got >= hdrStart(validated + 1) + kHdr) {
      const uint8_t* p = reinterpret_cast<const uint8_t*>(headers.data() + validated * kHdr);
      PduHeader h;
      const bool same = DecodePduHeader(p, kHdr, &h) && h.type == kPduResponse && h.callId == limits.callId &&
                        h.fragLength == n + kHdr && h.authLength == 0 && !(h.flags & kPfcFirstFrag) &&
                        h.rep.bigEndian == reply->rep.bigEndian && h.rep.ebcdic == reply->rep.ebcdic;
      if (!same) {
        putBack(hdrStart(validated + 1));
        reply->stub.resize(base + (validated + 1) * n);
        return Scatter::kContinue;
      }
      ++validated;
      last = (h.flags & kPfcLastFrag) != 0;
    }
    const size_t need = last || validated == k ? stubEnd(validated) : hdrStart(validated + 1) + kHdr;
    if (got >= need && (last || validated == k)) {
      if (got > need) putBack(need);
      reply->stub.resize(base + (validated + 1) * n);
      return last ? Scatter::kDone : Scatter::kContinue;
    }
    // Read on from where the layout is filled to.
    std::vector<ReadSpan> rest;
    rest.reserve(spans.size() - spanIndex);
    rest.push_back({spans[spanIndex].data + spanOffset, spans[spanIndex].size - spanOffset});
    for (size_t i = spanIndex + 1; i < spans.size(); ++i) rest.push_back(spans[i]);
    const size_t r = stream->ReadSome(rest.data(), rest.size());
    if (r == 0) return Scatter::kFailed;
    got += r;
    for (size_t left = r; left > 0;) {
      const size_t step = std::min(left, spans[spanIndex].size - spanOffset);
      spanOffset += step;
      left -= step;
      if (spanOffset == spans[spanIndex].size) {
        ++spanIndex;
        spanOffset = 0;
      }
    }
  }
}
}  // namespace

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
      constexpr size_t kScatterMin = 512;
      if (!(h.flags & kPfcLastFrag) && h.authLength == 0 && n >= kScatterMin &&
          limits.maxStub - reply->stub.size() >= 2 * n) {
        first = false;
        switch (ScatterFragments(stream, limits, n, reply)) {
          case Scatter::kFailed: return fail(RPC_S_CALL_FAILED);
          case Scatter::kDone: return RPC_S_OK;
          case Scatter::kContinue: continue;
        }
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
