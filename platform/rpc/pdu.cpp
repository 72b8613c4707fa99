// Encoding and decoding of the connection-oriented PDUs.
#include "platform/rpc/pdu.h"

#include <cstring>

namespace wbrpc {

namespace {
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void PutSyntax(std::string* dst, const SyntaxId& s) {
  NdrPutBytes(dst, s.uuid, 16);
  PutFixed16(dst, s.major);
  PutFixed16(dst, s.minor);
}

bool GetSyntax(NdrCursor* in, SyntaxId* s) {
  // A UUID's first three fields follow the PDU's integer format.
  uint32_t timeLow = 0;
  uint16_t timeMid = 0, timeHi = 0;
  const uint8_t* rest = nullptr;
  if (!NdrGetU32(in, &timeLow) || !NdrGetU16(in, &timeMid) || !NdrGetU16(in, &timeHi) ||
      !NdrGetBytes(in, 8, &rest) || !NdrGetU16(in, &s->major) || !NdrGetU16(in, &s->minor)) {
    return false;
  }
  std::string wire;
  PutFixed32(&wire, timeLow);
  PutFixed16(&wire, timeMid);
  PutFixed16(&wire, timeHi);
  memcpy(s->uuid, wire.data(), 8);
  memcpy(s->uuid + 8, rest, 8);
  return true;
}

// A cursor over a whole PDU, positioned after the common header; alignment
// inside PDU bodies counts from the PDU's first octet.
NdrCursor BodyCursor(const uint8_t* pdu, const PduHeader& h) {
  NdrCursor c(pdu, h.fragLength, h.rep);
  c.pos = kPduHeaderSize;
  return c;
}
}  // namespace

bool SyntaxId::operator==(const SyntaxId& o) const {
  return memcmp(uuid, o.uuid, 16) == 0 && major == o.major && minor == o.minor;
}

bool ParseUuid(std::string_view text, uint8_t out[16]) {
  if (text.size() != 36) return false;
  uint8_t raw[16];
  size_t k = 0;
  for (size_t i = 0; i < 36;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    const int hi = HexValue(text[i]), lo = HexValue(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    raw[k++] = static_cast<uint8_t>(hi << 4 | lo);
    i += 2;
  }
  // time_low, time_mid and time_hi_and_version travel little-endian.
  const uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) out[i] = raw[order[i]];
  return true;
}

std::string FormatUuid(const uint8_t uuid[16]) {
  const uint8_t order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) s.push_back('-');
    s.push_back(kHex[uuid[order[i]] >> 4]);
    s.push_back(kHex[uuid[order[i]] & 15]);
  }
  return s;
}

SyntaxId MakeSyntaxId(std::string_view uuidText, uint16_t major, uint16_t minor) {
  SyntaxId s;
  ParseUuid(uuidText, s.uuid);
  s.major = major;
  s.minor = minor;
  return s;
}

const SyntaxId& NdrTransferSyntax() {
  static const SyntaxId ndr = MakeSyntaxId("8a885d04-1ceb-11c9-9fe8-08002b104860", 2, 0);
  return ndr;
}

bool DecodePduHeader(const uint8_t* p, size_t n, PduHeader* h) {
  if (n < kPduHeaderSize || p[0] != 5) return false;
  if (!DataRep::Parse(p + 4, &h->rep)) return false;
  h->versMinor = p[1];
  h->type = p[2];
  h->flags = p[3];
  NdrCursor c(p, kPduHeaderSize, h->rep);
  c.pos = 8;
  return NdrGetU16(&c, &h->fragLength) && NdrGetU16(&c, &h->authLength) && NdrGetU32(&c, &h->callId);
}

void AppendPduHeader(std::string* dst, uint8_t type, uint8_t flags, uint32_t callId) {
  const uint8_t head[4] = {5, 0, type, flags};
  dst->append(reinterpret_cast<const char*>(head), 4);
  uint8_t label[4];
  DataRep::Native().Pack(label);
  dst->append(reinterpret_cast<const char*>(label), 4);
  PutFixed16(dst, 0);  // frag_length, set by FinishPdu
  PutFixed16(dst, 0);  // auth_length
  PutFixed32(dst, callId);
}

void FinishPdu(std::string* pdu, uint16_t authLength) {
  const size_t n = pdu->size();
  (*pdu)[8] = static_cast<char>(n & 0xff);
  (*pdu)[9] = static_cast<char>((n >> 8) & 0xff);
  (*pdu)[10] = static_cast<char>(authLength & 0xff);
  (*pdu)[11] = static_cast<char>(authLength >> 8);
}

std::string EncodeBind(uint32_t callId, const BindPdu& bind) {
  std::string p;
  AppendPduHeader(&p, kPduBind, kPfcFirstFrag | kPfcLastFrag, callId);
  PutFixed16(&p, bind.maxXmitFrag);
  PutFixed16(&p, bind.maxRecvFrag);
  PutFixed32(&p, bind.assocGroupId);
  NdrPutU8(&p, 1);  // one presentation context
  NdrPutU8(&p, 0);
  PutFixed16(&p, 0);
  PutFixed16(&p, bind.contextId);
  NdrPutU8(&p, 1);  // one transfer syntax: NDR
  NdrPutU8(&p, 0);
  PutSyntax(&p, bind.abstractSyntax);
  PutSyntax(&p, NdrTransferSyntax());
  FinishPdu(&p);
  return p;
}

bool DecodeBind(const uint8_t* pdu, const PduHeader& h, BindPdu* bind) {
  NdrCursor c = BodyCursor(pdu, h);
  uint8_t nContexts = 0, pad8 = 0;
  uint16_t pad16 = 0;
  if (!NdrGetU16(&c, &bind->maxXmitFrag) || !NdrGetU16(&c, &bind->maxRecvFrag) ||
      !NdrGetU32(&c, &bind->assocGroupId) || !NdrGetU8(&c, &nContexts) || !NdrGetU8(&c, &pad8) ||
      !NdrGetU16(&c, &pad16) || nContexts == 0) {
    return false;
  }
  // Only the first context is looked at: this runtime binds one interface per
  // connection.
  uint8_t nSyntaxes = 0;
  if (!NdrGetU16(&c, &bind->contextId) || !NdrGetU8(&c, &nSyntaxes) || !NdrGetU8(&c, &pad8) ||
      !GetSyntax(&c, &bind->abstractSyntax)) {
    return false;
  }
  bind->offersNdr = false;
  for (uint8_t i = 0; i < nSyntaxes; ++i) {
    SyntaxId ts;
    if (!GetSyntax(&c, &ts)) return false;
    if (ts == NdrTransferSyntax()) bind->offersNdr = true;
  }
  return true;
}

std::string EncodeBindAck(uint32_t callId, const BindAckPdu& ack) {
  std::string p;
  AppendPduHeader(&p, kPduBindAck, kPfcFirstFrag | kPfcLastFrag, callId);
  PutFixed16(&p, ack.maxXmitFrag);
  PutFixed16(&p, ack.maxRecvFrag);
  PutFixed32(&p, ack.assocGroupId);
  if (ack.secondaryAddress.empty()) {
    PutFixed16(&p, 0);
  } else {
    PutFixed16(&p, static_cast<uint16_t>(ack.secondaryAddress.size() + 1));
    p.append(ack.secondaryAddress);
    p.push_back('\0');
  }
  NdrAlign(&p, 4);
  NdrPutU8(&p, 1);
  NdrPutU8(&p, 0);
  PutFixed16(&p, 0);
  PutFixed16(&p, ack.result);
  PutFixed16(&p, ack.reason);
  if (ack.result == kResultAcceptance) {
    PutSyntax(&p, NdrTransferSyntax());
  } else {
    p.append(20, '\0');
  }
  FinishPdu(&p);
  return p;
}

bool DecodeBindAck(const uint8_t* pdu, const PduHeader& h, BindAckPdu* ack) {
  NdrCursor c = BodyCursor(pdu, h);
  uint16_t secLen = 0, pad16 = 0;
  uint8_t nResults = 0, pad8 = 0;
  if (!NdrGetU16(&c, &ack->maxXmitFrag) || !NdrGetU16(&c, &ack->maxRecvFrag) ||
      !NdrGetU32(&c, &ack->assocGroupId) || !NdrGetU16(&c, &secLen) ||
      !NdrGetChars(&c, secLen, &ack->secondaryAddress) || !NdrGetAlign(&c, 4) ||
      !NdrGetU8(&c, &nResults) || !NdrGetU8(&c, &pad8) || !NdrGetU16(&c, &pad16) || nResults == 0 ||
      !NdrGetU16(&c, &ack->result) || !NdrGetU16(&c, &ack->reason)) {
    return false;
  }
  const size_t nul = ack->secondaryAddress.find('\0');
  if (nul != std::string::npos) ack->secondaryAddress.resize(nul);
  SyntaxId ts;
  if (!GetSyntax(&c, &ts)) return false;
  // An accepted context must have accepted the one transfer syntax we offer.
  if (ack->result == kResultAcceptance && !(ts == NdrTransferSyntax())) return false;
  return true;
}

std::string EncodeBindNak(uint32_t callId, uint16_t reason) {
  std::string p;
  AppendPduHeader(&p, kPduBindNak, kPfcFirstFrag | kPfcLastFrag, callId);
  PutFixed16(&p, reason);
  NdrPutU8(&p, 1);  // protocol versions supported: 5.0
  NdrPutU8(&p, 5);
  NdrPutU8(&p, 0);
  NdrAlign(&p, 4);
  FinishPdu(&p);
  return p;
}

bool DecodeBindNak(const uint8_t* pdu, const PduHeader& h, uint16_t* reason) {
  NdrCursor c = BodyCursor(pdu, h);
  return NdrGetU16(&c, reason);
}

std::string EncodeRequestFragment(uint32_t callId, uint8_t flags, const RequestPdu& req) {
  std::string p;
  p.reserve(kRequestHeaderSize + 16 + req.stub.size());
  AppendPduHeader(&p, kPduRequest, static_cast<uint8_t>(flags | (req.hasObject ? kPfcObjectUuid : 0)),
                  callId);
  PutFixed32(&p, req.allocHint);
  PutFixed16(&p, req.contextId);
  PutFixed16(&p, req.opnum);
  if (req.hasObject) NdrPutBytes(&p, req.object, 16);
  p.append(req.stub);
  FinishPdu(&p);
  return p;
}

bool DecodeRequest(const uint8_t* pdu, const PduHeader& h, RequestPdu* req) {
  NdrCursor c = BodyCursor(pdu, h);
  if (!NdrGetU32(&c, &req->allocHint) || !NdrGetU16(&c, &req->contextId) || !NdrGetU16(&c, &req->opnum)) {
    return false;
  }
  req->hasObject = (h.flags & kPfcObjectUuid) != 0;
  if (req->hasObject) {
    const uint8_t* raw = nullptr;
    if (!NdrGetBytes(&c, 16, &raw)) return false;
    memcpy(req->object, raw, 16);
  }
  size_t begin = 0, end = 0;
  if (!StubBounds(h, c.pos, &begin, &end)) return false;
  req->stub = std::string_view(reinterpret_cast<const char*>(pdu) + begin, end - begin);
  return true;
}

std::string EncodeResponseFragment(uint32_t callId, uint8_t flags, const ResponsePdu& resp) {
  std::string p;
  AppendResponseFragment(&p, callId, flags, resp);
  return p;
}

void AppendResponseFragment(std::string* dst, uint32_t callId, uint8_t flags, const ResponsePdu& resp) {
  AppendResponseHeader(dst, callId, flags, resp, resp.stub.size());
  dst->append(resp.stub);
}

void AppendResponseHeader(std::string* dst, uint32_t callId, uint8_t flags, const ResponsePdu& resp,
                          size_t stubLength) {
  std::string p;
  AppendPduHeader(&p, kPduResponse, flags, callId);
  PutFixed32(&p, resp.allocHint);
  PutFixed16(&p, resp.contextId);
  NdrPutU8(&p, resp.cancelCount);
  NdrPutU8(&p, 0);
  const size_t length = p.size() + stubLength;
  p[8] = static_cast<char>(length & 0xff);
  p[9] = static_cast<char>((length >> 8) & 0xff);
  dst->append(p);
}

bool DecodeResponse(const uint8_t* pdu, const PduHeader& h, ResponsePdu* resp) {
  NdrCursor c = BodyCursor(pdu, h);
  uint8_t pad8 = 0;
  if (!NdrGetU32(&c, &resp->allocHint) || !NdrGetU16(&c, &resp->contextId) ||
      !NdrGetU8(&c, &resp->cancelCount) || !NdrGetU8(&c, &pad8)) {
    return false;
  }
  size_t begin = 0, end = 0;
  if (!StubBounds(h, c.pos, &begin, &end)) return false;
  resp->stub = std::string_view(reinterpret_cast<const char*>(pdu) + begin, end - begin);
  return true;
}

std::string EncodeFault(uint32_t callId, uint8_t flags, uint32_t status) {
  std::string p;
  AppendPduHeader(&p, kPduFault, flags, callId);
  PutFixed32(&p, 0);  // alloc_hint
  PutFixed16(&p, 0);  // context id
  NdrPutU8(&p, 0);    // cancel count
  NdrPutU8(&p, 0);
  PutFixed32(&p, status);
  PutFixed32(&p, 0);
  FinishPdu(&p);
  return p;
}

bool DecodeFault(const uint8_t* pdu, const PduHeader& h, FaultPdu* fault) {
  NdrCursor c = BodyCursor(pdu, h);
  uint8_t pad8 = 0;
  return NdrGetU32(&c, &fault->allocHint) && NdrGetU16(&c, &fault->contextId) &&
         NdrGetU8(&c, &fault->cancelCount) && NdrGetU8(&c, &pad8) && NdrGetU32(&c, &fault->status);
}

bool StubBounds(const PduHeader& h, size_t bodyHeader, size_t* begin, size_t* end) {
  const size_t trailer = h.authLength ? size_t{h.authLength} + 8 : 0;
  if (h.fragLength < bodyHeader || h.fragLength - bodyHeader < trailer) return false;
  *begin = bodyHeader;
  *end = h.fragLength - trailer;
  return true;
}

size_t StubPerFragment(size_t maxFrag, size_t headerSize) {
  if (maxFrag <= headerSize + 8) return 8;
  return (maxFrag - headerSize) / 8 * 8;
}

}  // namespace wbrpc
