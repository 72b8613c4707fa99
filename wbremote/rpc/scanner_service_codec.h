// The NDR stub data of ScannerService (scanner_service.idl), both ways: the
// client encodes requests and decodes replies, a server decodes requests and
// encodes replies. Decoders read the whole stub data into values of their
// own, bounds-checked, so that nothing reaches the caller's memory from a
// reply that turns out to be bad; a reply array must carry exactly the count
// that the request sent.
#pragma once

#include <cstdint>
#include <string>

#include "platform/rpc/ndr_coding.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/pdu_stream.h"
#include "platform/win_types.h"

namespace scanner_wire {

const wbrpc::SyntaxId& ScannerServiceInterface();

enum Opnum : uint16_t {
  kCheckOutScanner = 0,
  kCheckOutScannerWithID = 1,
  kGetScannerID = 2,
  kSendValue = 3,
  kClearPush = 4,
  kReadFromScanner = 5,
  kWriteToScanner = 6,
  kReturnScanner = 7,
  kRefreshScanner = 8,
  kReadBufferFromScanner = 9,
  kWriteBufferToScanner = 10,
  kSetCurrentScannerFromSTILaunchInfo = 11,
  kPreFreeLibrary = 12,
  kOpnumCount = 13,
};

// --- requests, client side ---
std::string EncodeCheckOutRequest(LONG value, const unsigned char* computerName, ULONG computerNameSize,
                                  const unsigned char* password, ULONG passwordSize,
                                  const unsigned char* message, ULONG messageSize, LONG status);
std::string EncodeCheckOutWithIdRequest(LONG value, const unsigned char* scannerId);
std::string EncodeSizeRequest(ULONG size);  // RemoteGetScannerID
std::string EncodeValueRequest(LONG value);  // RemoteSendValue, RemoteReturnScanner
std::string EncodeReadRequest(ULONG size, LONG value);
std::string EncodeWriteRequest(const BYTE* buffer, ULONG size);  // both write procedures
std::string EncodeReadBufferRequest(ULONG size, BYTE value);

// The longest reply stub data each procedure can have for the given size
// (padding a server adds at the end included).
size_t MaxReplyStub(uint16_t opnum, ULONG size);

// --- replies, client side ---
struct CheckOutReply {
  std::string message;  // messageSize characters, in ASCII
  LONG status = 0;
  LONG result = 0;
};
bool DecodeCheckOutReply(const wbrpc::RpcReply& reply, ULONG messageSize, CheckOutReply* out);
bool DecodeScannerIdReply(const wbrpc::RpcReply& reply, ULONG idSize, std::u16string* id, LONG* result);
// RemoteReadFromScanner, RemoteReadBufferFromScanner: *data points into the
// reply's stub data.
bool DecodeBytesReply(const wbrpc::RpcReply& reply, ULONG size, const uint8_t** data, LONG* result);
bool DecodeResultReply(const wbrpc::RpcReply& reply, LONG* result);
bool DecodeEmptyReply(const wbrpc::RpcReply& reply);

// --- server side ---
struct CheckOutRequest {
  LONG value = 0;
  std::string computerName;
  std::string password;
  std::string message;
  LONG status = 0;
};
bool DecodeCheckOutRequest(wbrpc::NdrCursor* in, CheckOutRequest* req);
bool DecodeCheckOutWithIdRequest(wbrpc::NdrCursor* in, LONG* value, std::string* scannerId);
bool DecodeSizeRequest(wbrpc::NdrCursor* in, ULONG* size);
bool DecodeValueRequest(wbrpc::NdrCursor* in, LONG* value);
bool DecodeReadRequest(wbrpc::NdrCursor* in, ULONG* size, LONG* value);
bool DecodeWriteRequest(wbrpc::NdrCursor* in, std::string* data);
bool DecodeReadBufferRequest(wbrpc::NdrCursor* in, ULONG* size, BYTE* value);

std::string EncodeCheckOutReply(const std::string& message, LONG status, LONG result);
std::string EncodeScannerIdReply(const std::u16string& id, LONG result);
std::string EncodeBytesReply(const std::string& data, LONG result);
std::string EncodeResultReply(LONG result);

}  // namespace scanner_wire
