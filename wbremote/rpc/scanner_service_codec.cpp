// ScannerService stub data. Items follow one another at their own alignment,
// counted from the first octet of the stub data.
#include "wbremote/rpc/scanner_service_codec.h"

#include <cstring>

using wbrpc::NdrCursor;

namespace scanner_wire {

namespace {
// Some servers pad the end of a reply to eight octets.
constexpr size_t kTrailingSlack = 7;

void PutLong(std::string* out, LONG v) { wbrpc::NdrPutU32(out, static_cast<uint32_t>(v)); }

void PutCharArray(std::string* out, const unsigned char* data, ULONG n) {
  wbrpc::NdrPutU32(out, n);
  wbrpc::NdrPutBytes(out, data, n);
}

bool GetLong(NdrCursor* in, LONG* v) {
  uint32_t u = 0;
  if (!wbrpc::NdrGetU32(in, &u)) return false;
  *v = static_cast<LONG>(u);
  return true;
}

// The count that opens a conformant array must be the size that was sent.
bool GetCount(NdrCursor* in, ULONG expected) {
  uint32_t count = 0;
  return wbrpc::NdrGetU32(in, &count) && count == expected;
}

bool GetAnyCount(NdrCursor* in, ULONG* count) { return wbrpc::NdrGetU32(in, count); }

NdrCursor ReplyCursor(const wbrpc::RpcReply& reply) {
  return NdrCursor(reply.stub.data(), reply.stub.size(), reply.rep);
}

bool Finished(const NdrCursor& in) { return in.remaining() <= kTrailingSlack; }
}  // namespace

const wbrpc::SyntaxId& ScannerServiceInterface() {
  static const wbrpc::SyntaxId id = wbrpc::MakeSyntaxId("db08f627-f2e9-11d0-9382-00c04fc9c7d4", 1, 0);
  return id;
}

std::string EncodeCheckOutRequest(LONG value, const unsigned char* computerName, ULONG computerNameSize,
                                  const unsigned char* password, ULONG passwordSize,
                                  const unsigned char* message, ULONG messageSize, LONG status) {
  std::string out;
  PutLong(&out, value);
  PutCharArray(&out, computerName, computerNameSize);
  wbrpc::NdrPutU32(&out, computerNameSize);
  PutCharArray(&out, password, passwordSize);
  wbrpc::NdrPutU32(&out, passwordSize);
  PutCharArray(&out, message, messageSize);
  wbrpc::NdrPutU32(&out, messageSize);
  PutLong(&out, status);
  return out;
}

std::string EncodeCheckOutWithIdRequest(LONG value, const unsigned char* scannerId) {
  std::string out;
  PutLong(&out, value);
  const size_t n = strlen(reinterpret_cast<const char*>(scannerId)) + 1;  // with the NUL
  wbrpc::NdrPutU32(&out, static_cast<uint32_t>(n));  // maximum count
  wbrpc::NdrPutU32(&out, 0);                         // offset
  wbrpc::NdrPutU32(&out, static_cast<uint32_t>(n));  // actual count
  wbrpc::NdrPutBytes(&out, scannerId, n);
  return out;
}

std::string EncodeSizeRequest(ULONG size) {
  std::string out;
  wbrpc::NdrPutU32(&out, size);
  return out;
}

std::string EncodeValueRequest(LONG value) {
  std::string out;
  PutLong(&out, value);
  return out;
}

std::string EncodeReadRequest(ULONG size, LONG value) {
  std::string out;
  wbrpc::NdrPutU32(&out, size);
  PutLong(&out, value);
  return out;
}

std::string EncodeWriteRequest(const BYTE* buffer, ULONG size) {
  std::string out;
  out.reserve(size + 12);
  PutCharArray(&out, buffer, size);
  wbrpc::NdrPutU32(&out, size);
  return out;
}

std::string EncodeReadBufferRequest(ULONG size, BYTE value) {
  std::string out;
  wbrpc::NdrPutU32(&out, size);
  wbrpc::NdrPutU8(&out, value);
  return out;
}

size_t MaxReplyStub(uint16_t opnum, ULONG size) {
  const size_t n = size;
  switch (opnum) {
    case kCheckOutScanner: return 4 + n + 3 + 4 + 4 + kTrailingSlack;
    case kGetScannerID: return 4 + 2 * n + 3 + 4 + kTrailingSlack;
    case kReadFromScanner:
    case kReadBufferFromScanner: return 4 + n + 3 + 4 + kTrailingSlack;
    case kPreFreeLibrary: return kTrailingSlack;
    default: return 4 + kTrailingSlack;
  }
}

bool DecodeCheckOutReply(const wbrpc::RpcReply& reply, ULONG messageSize, CheckOutReply* out) {
  NdrCursor in = ReplyCursor(reply);
  return GetCount(&in, messageSize) && wbrpc::NdrGetChars(&in, messageSize, &out->message) &&
         GetLong(&in, &out->status) && GetLong(&in, &out->result) && Finished(in);
}

bool DecodeScannerIdReply(const wbrpc::RpcReply& reply, ULONG idSize, std::u16string* id, LONG* result) {
  NdrCursor in = ReplyCursor(reply);
  return GetCount(&in, idSize) && wbrpc::NdrGetU16Array(&in, idSize, id) && GetLong(&in, result) &&
         Finished(in);
}

bool DecodeBytesReply(const wbrpc::RpcReply& reply, ULONG size, const uint8_t** data, LONG* result) {
  NdrCursor in = ReplyCursor(reply);
  return GetCount(&in, size) && wbrpc::NdrGetBytes(&in, size, data) && GetLong(&in, result) && Finished(in);
}

bool DecodeResultReply(const wbrpc::RpcReply& reply, LONG* result) {
  NdrCursor in = ReplyCursor(reply);
  return GetLong(&in, result) && Finished(in);
}

bool DecodeEmptyReply(const wbrpc::RpcReply& reply) { return reply.stub.size() <= kTrailingSlack; }

// --- server side ---

namespace {
bool GetCharArray(NdrCursor* in, std::string* out, ULONG* count) {
  return GetAnyCount(in, count) && wbrpc::NdrGetChars(in, *count, out);
}

bool GetSizeMatching(NdrCursor* in, ULONG count) {
  uint32_t size = 0;
  return wbrpc::NdrGetU32(in, &size) && size == count;
}
}  // namespace

bool DecodeCheckOutRequest(NdrCursor* in, CheckOutRequest* req) {
  ULONG n1 = 0, n2 = 0, n3 = 0;
  return GetLong(in, &req->value) && GetCharArray(in, &req->computerName, &n1) && GetSizeMatching(in, n1) &&
         GetCharArray(in, &req->password, &n2) && GetSizeMatching(in, n2) &&
         GetCharArray(in, &req->message, &n3) && GetSizeMatching(in, n3) && GetLong(in, &req->status);
}

bool DecodeCheckOutWithIdRequest(NdrCursor* in, LONG* value, std::string* scannerId) {
  uint32_t maxCount = 0, offset = 0, actual = 0;
  if (!GetLong(in, value) || !wbrpc::NdrGetU32(in, &maxCount) || !wbrpc::NdrGetU32(in, &offset) ||
      !wbrpc::NdrGetU32(in, &actual) || offset != 0 || actual > maxCount || actual == 0 ||
      !wbrpc::NdrGetChars(in, actual, scannerId)) {
    return false;
  }
  if ((*scannerId)[actual - 1] != '\0') return false;
  scannerId->resize(actual - 1);
  return true;
}

bool DecodeSizeRequest(NdrCursor* in, ULONG* size) { return wbrpc::NdrGetU32(in, size); }

bool DecodeValueRequest(NdrCursor* in, LONG* value) { return GetLong(in, value); }

bool DecodeReadRequest(NdrCursor* in, ULONG* size, LONG* value) {
  return wbrpc::NdrGetU32(in, size) && GetLong(in, value);
}

bool DecodeWriteRequest(NdrCursor* in, std::string* data) {
  ULONG n = 0;
  const uint8_t* p = nullptr;
  if (!GetAnyCount(in, &n) || !wbrpc::NdrGetBytes(in, n, &p) || !GetSizeMatching(in, n)) return false;
  data->assign(reinterpret_cast<const char*>(p), n);
  return true;
}

bool DecodeReadBufferRequest(NdrCursor* in, ULONG* size, BYTE* value) {
  return wbrpc::NdrGetU32(in, size) && wbrpc::NdrGetU8(in, value);
}

std::string EncodeCheckOutReply(const std::string& message, LONG status, LONG result) {
  std::string out;
  PutCharArray(&out, reinterpret_cast<const unsigned char*>(message.data()), static_cast<ULONG>(message.size()));
  PutLong(&out, status);
  PutLong(&out, result);
  return out;
}

std::string EncodeScannerIdReply(const std::u16string& id, LONG result) {
  std::string out;
  wbrpc::NdrPutU32(&out, static_cast<uint32_t>(id.size()));
  for (char16_t c : id) wbrpc::PutFixed16(&out, static_cast<uint16_t>(c));
  PutLong(&out, result);
  return out;
}

std::string EncodeBytesReply(const std::string& data, LONG result) {
  std::string out;
  out.reserve(data.size() + 12);
  PutCharArray(&out, reinterpret_cast<const unsigned char*>(data.data()), static_cast<ULONG>(data.size()));
  PutLong(&out, result);
  return out;
}

std::string EncodeResultReply(LONG result) {
  std::string out;
  PutLong(&out, result);
  return out;
}

}  // namespace scanner_wire
