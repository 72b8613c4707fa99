// ScannerService client stubs.
#include "wbremote/rpc/scanner_service_client.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/rpc/wire.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_codec.h"

using namespace scanner_wire;

namespace {
// The handle as it is at this moment; nothing is sent through an unset one.
RPC_BINDING_HANDLE CurrentBinding() {
  RPC_BINDING_HANDLE h = hScannerBinding;
  if (!h) RpcRaiseException(RPC_S_INVALID_BINDING);
  return h;
}

void RequirePointer(const void* p) {
  if (!p) RpcRaiseException(RPC_X_NULL_REF_POINTER);
}

void Call(RPC_BINDING_HANDLE h, uint16_t opnum, const std::string& request, ULONG size,
          wbrpc::RpcReply* reply) {
  wbrpc::WireCall(h, ScannerServiceInterface(), opnum, request, MaxReplyStub(opnum, size), reply);
}

LONG CallForResult(RPC_BINDING_HANDLE h, uint16_t opnum, const std::string& request) {
  wbrpc::RpcReply reply;
  Call(h, opnum, request, 0, &reply);
  LONG result = 0;
  if (!DecodeResultReply(reply, &result)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  return result;
}

LONG ReadBytes(RPC_BINDING_HANDLE h, uint16_t opnum, BYTE* buffer, ULONG size, const std::string& request) {
  wbrpc::RpcReply reply;
  Call(h, opnum, request, size, &reply);
  const uint8_t* data = nullptr;
  LONG result = 0;
  if (!DecodeBytesReply(reply, size, &data, &result)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  if (size) memcpy(buffer, data, size);
  return result;
}
}  // namespace

void* MIDL_user_allocate(size_t size) { return malloc(size); }
void MIDL_user_free(void* p) { free(p); }

LONG RemoteCheckOutScanner(LONG value, unsigned char* computerName, ULONG computerNameSize,
                           unsigned char* password, ULONG passwordSize, unsigned char* message,
                           ULONG messageSize, LONG* status) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(computerName);
  RequirePointer(password);
  RequirePointer(message);
  RequirePointer(status);
  const std::string request = EncodeCheckOutRequest(value, computerName, computerNameSize, password,
                                                    passwordSize, message, messageSize, *status);
  wbrpc::RpcReply reply;
  Call(h, kCheckOutScanner, request, messageSize, &reply);
  CheckOutReply out;
  if (!DecodeCheckOutReply(reply, messageSize, &out)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  if (messageSize) memcpy(message, out.message.data(), messageSize);
  *status = out.status;
  return out.result;
}

LONG RemoteCheckOutScannerWithID(LONG value, unsigned char* scannerId) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(scannerId);
  return CallForResult(h, kCheckOutScannerWithID, EncodeCheckOutWithIdRequest(value, scannerId));
}

LONG RemoteGetScannerID(WCHAR* id, ULONG idSize) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(id);
  wbrpc::RpcReply reply;
  Call(h, kGetScannerID, EncodeSizeRequest(idSize), idSize, &reply);
  std::u16string text;
  LONG result = 0;
  if (!DecodeScannerIdReply(reply, idSize, &text, &result)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
  if (idSize) memcpy(id, text.data(), size_t{idSize} * sizeof(WCHAR));
  return result;
}

LONG RemoteSendValue(LONG value) { return CallForResult(CurrentBinding(), kSendValue, EncodeValueRequest(value)); }

LONG RemoteClearPush(void) { return CallForResult(CurrentBinding(), kClearPush, std::string()); }

LONG RemoteReadFromScanner(BYTE* buffer, ULONG size, LONG value) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(buffer);
  return ReadBytes(h, kReadFromScanner, buffer, size, EncodeReadRequest(size, value));
}

LONG RemoteWriteToScanner(BYTE* buffer, ULONG size) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(buffer);
  return CallForResult(h, kWriteToScanner, EncodeWriteRequest(buffer, size));
}

LONG RemoteReturnScanner(LONG value) {
  return CallForResult(CurrentBinding(), kReturnScanner, EncodeValueRequest(value));
}

LONG RemoteRefreshScanner(void) { return CallForResult(CurrentBinding(), kRefreshScanner, std::string()); }

LONG RemoteReadBufferFromScanner(BYTE* buffer, ULONG size, BYTE value) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(buffer);
  return ReadBytes(h, kReadBufferFromScanner, buffer, size, EncodeReadBufferRequest(size, value));
}

LONG RemoteWriteBufferToScanner(BYTE* buffer, ULONG size) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  RequirePointer(buffer);
  return CallForResult(h, kWriteBufferToScanner, EncodeWriteRequest(buffer, size));
}

LONG RemoteSetCurrentScannerFromSTILaunchInfo(void) {
  return CallForResult(CurrentBinding(), kSetCurrentScannerFromSTILaunchInfo, std::string());
}

void RemotePreFreeLibrary(void) {
  RPC_BINDING_HANDLE h = CurrentBinding();
  wbrpc::RpcReply reply;
  Call(h, kPreFreeLibrary, std::string(), 0, &reply);
  if (!DecodeEmptyReply(reply)) RpcRaiseException(RPC_X_BAD_STUB_DATA);
}
