// Connection-oriented DCE RPC 5.0 PDUs: the common header and the bodies of
// bind, bind_ack, bind_nak, request, response and fault, encoded and decoded
// for both ends of a connection. Encoders always produce little-endian,
// ASCII, IEEE PDUs; decoders read whatever data representation the PDU's
// header announces. Every decoder is bounds-checked and returns false on a
// PDU it cannot read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rpc/ndr_coding.h"

namespace wbrpc {

enum PduType : uint8_t {
  kPduRequest = 0,
  kPduResponse = 2,
  kPduFault = 3,
  kPduBind = 11,
  kPduBindAck = 12,
  kPduBindNak = 13,
  kPduAlterContext = 14,
  kPduAlterContextResp = 15,
  kPduShutdown = 17,
  kPduCoCancel = 18,
  kPduOrphaned = 19,
};

enum : uint8_t {
  kPfcFirstFrag = 0x01,
  kPfcLastFrag = 0x02,
  kPfcPendingCancel = 0x04,
  kPfcConcMpx = 0x10,
  kPfcDidNotExecute = 0x20,
  kPfcMaybe = 0x40,
  kPfcObjectUuid = 0x80,
};

constexpr size_t kPduHeaderSize = 16;
constexpr size_t kRequestHeaderSize = 24;   // without an object UUID
constexpr size_t kResponseHeaderSize = 24;
constexpr size_t kFaultHeaderSize = 32;
// What a peer must at least accept (the protocol's minimum fragment size).
constexpr uint16_t kMustRecvFragSize = 1432;
// Our own fragment sizes, offered in every bind.
constexpr uint16_t kDefaultMaxFrag = 5840;

// An interface or transfer syntax: UUID (16 octets as they travel, fields
// little-endian) and version.
struct SyntaxId {
  uint8_t uuid[16] = {};
  uint16_t major = 0;
  uint16_t minor = 0;
  bool operator==(const SyntaxId& o) const;
};

// Text form "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx" to the octets that travel.
bool ParseUuid(std::string_view text, uint8_t out[16]);
std::string FormatUuid(const uint8_t uuid[16]);
SyntaxId MakeSyntaxId(std::string_view uuidText, uint16_t major, uint16_t minor);
const SyntaxId& NdrTransferSyntax();  // 8a885d04-1ceb-11c9-9fe8-08002b104860 v2.0

struct PduHeader {
  uint8_t versMinor = 0;
  uint8_t type = 0;
  uint8_t flags = 0;
  DataRep rep;
  uint16_t fragLength = 0;
  uint16_t authLength = 0;
  uint32_t callId = 0;
};

// Reads the 16-octet common header; false unless version 5 and a known data
// representation.
bool DecodePduHeader(const uint8_t* p, size_t n, PduHeader* h);
// Appends a common header with room for the lengths (see FinishPdu); the
// data representation is always ours.
void AppendPduHeader(std::string* dst, uint8_t type, uint8_t flags, uint32_t callId);
// Writes frag_length and auth_length into a finished PDU.
void FinishPdu(std::string* pdu, uint16_t authLength = 0);

// --- bind / bind_ack / bind_nak ---
struct BindPdu {
  uint16_t maxXmitFrag = 0;
  uint16_t maxRecvFrag = 0;
  uint32_t assocGroupId = 0;
  uint16_t contextId = 0;
  SyntaxId abstractSyntax;
  bool offersNdr = false;  // one of the transfer syntaxes offered is NDR 2.0
};
std::string EncodeBind(uint32_t callId, const BindPdu& bind);
bool DecodeBind(const uint8_t* pdu, const PduHeader& h, BindPdu* bind);

enum : uint16_t { kResultAcceptance = 0, kResultUserRejection = 1, kResultProviderRejection = 2 };
enum : uint16_t {
  kReasonNotSpecified = 0,
  kReasonAbstractSyntaxNotSupported = 1,
  kReasonTransferSyntaxesNotSupported = 2,
};
struct BindAckPdu {
  uint16_t maxXmitFrag = 0;
  uint16_t maxRecvFrag = 0;
  uint32_t assocGroupId = 0;
  std::string secondaryAddress;  // without its NUL
  uint16_t result = 0;           // of the first presentation context
  uint16_t reason = 0;
};
std::string EncodeBindAck(uint32_t callId, const BindAckPdu& ack);
bool DecodeBindAck(const uint8_t* pdu, const PduHeader& h, BindAckPdu* ack);

enum : uint16_t {
  kNakReasonNotSpecified = 0,
  kNakTemporaryCongestion = 1,
  kNakLocalLimitExceeded = 2,
  kNakProtocolVersionNotSupported = 4,
};
std::string EncodeBindNak(uint32_t callId, uint16_t reason);
bool DecodeBindNak(const uint8_t* pdu, const PduHeader& h, uint16_t* reason);

// --- request / response / fault ---
struct RequestPdu {
  uint32_t allocHint = 0;
  uint16_t contextId = 0;
  uint16_t opnum = 0;
  bool hasObject = false;
  uint8_t object[16] = {};
  std::string_view stub;  // this fragment's stub data, inside the PDU
};
// One request fragment; flags carry the first/last fragment bits.
std::string EncodeRequestFragment(uint32_t callId, uint8_t flags, const RequestPdu& req);
bool DecodeRequest(const uint8_t* pdu, const PduHeader& h, RequestPdu* req);

struct ResponsePdu {
  uint32_t allocHint = 0;
  uint16_t contextId = 0;
  uint8_t cancelCount = 0;
  std::string_view stub;
};
std::string EncodeResponseFragment(uint32_t callId, uint8_t flags, const ResponsePdu& resp);
void AppendResponseFragment(std::string* dst, uint32_t callId, uint8_t flags, const ResponsePdu& resp);
// Only the 24-octet header of a response fragment that carries stubLength
// octets of stub data (resp.stub is not used).
void AppendResponseHeader(std::string* dst, uint32_t callId, uint8_t flags, const ResponsePdu& resp,
                          size_t stubLength);
bool DecodeResponse(const uint8_t* pdu, const PduHeader& h, ResponsePdu* resp);

struct FaultPdu {
  uint32_t allocHint = 0;
  uint16_t contextId = 0;
  uint8_t cancelCount = 0;
  uint32_t status = 0;
};
std::string EncodeFault(uint32_t callId, uint8_t flags, uint32_t status);
bool DecodeFault(const uint8_t* pdu, const PduHeader& h, FaultPdu* fault);

// The part of a fragment that carries stub data, after the body header and
// before any authentication trailer; false when the lengths do not fit.
bool StubBounds(const PduHeader& h, size_t bodyHeader, size_t* begin, size_t* end);

// Stub octets that one fragment of at most maxFrag octets carries, a multiple
// of 8 except in the last fragment.
size_t StubPerFragment(size_t maxFrag, size_t headerSize);

}  // namespace wbrpc
