// An in-process ScannerService for tests and benchmarks: an RpcServer with
// the interface's operations answering known values, and an endpoint mapper
// on a second RpcServer that knows it. Records every request's stub data.
//
// Answers, per operation: check-out returns the message reversed, status
// value+1, result 1000+value; with-ID returns the ID's length; get-ID fills
// "ID" then the digits 0-9 repeating; reads fill byte i with (i + value) & 0xff;
// writes return the sum of the bytes; the rest return 100 * opnum + value.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rpc/binding.h"
#include "platform/rpc/rpc_server.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace wbtest {

inline std::string ExpectedReadData(ULONG size, LONG value) {
  std::string s(size, '\0');
  for (ULONG i = 0; i < size; ++i) s[i] = static_cast<char>((i + static_cast<ULONG>(value)) & 0xff);
  return s;
}

inline std::u16string ExpectedId(ULONG size) {
  std::u16string s(size, u'\0');
  for (ULONG i = 0; i < size; ++i) s[i] = i < 2 ? u"ID"[i] : static_cast<char16_t>(u'0' + (i - 2) % 10);
  return s;
}

class ScannerTestService {
 public:
  explicit ScannerTestService(wbrpc::RpcServer::Options options = {}) : server_(options) {
    using namespace scanner_wire;
    std::vector<wbrpc::RpcServer::Handler> ops(kOpnumCount);
    auto record = [this](uint16_t op, wbrpc::NdrCursor* in) {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.emplace_back(op, std::string(reinterpret_cast<const char*>(in->base), in->size));
    };
    ops[kCheckOutScanner] = [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
      record(kCheckOutScanner, in);
      CheckOutRequest r;
      if (!DecodeCheckOutRequest(in, &r)) return RPC_X_BAD_STUB_DATA;
      *out = EncodeCheckOutReply(std::string(r.message.rbegin(), r.message.rend()), r.value + 1, 1000 + r.value);
      return 0;
    };
    ops[kCheckOutScannerWithID] = [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
      record(kCheckOutScannerWithID, in);
      LONG value = 0;
      std::string id;
      if (!DecodeCheckOutWithIdRequest(in, &value, &id)) return RPC_X_BAD_STUB_DATA;
      *out = EncodeResultReply(static_cast<LONG>(id.size()));
      return 0;
    };
    ops[kGetScannerID] = [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
      record(kGetScannerID, in);
      ULONG size = 0;
      if (!DecodeSizeRequest(in, &size)) return RPC_X_BAD_STUB_DATA;
      *out = EncodeScannerIdReply(ExpectedId(size), 200);
      return 0;
    };
    auto valueOp = [=, this](uint16_t op) {
      return [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
        record(op, in);
        LONG value = 0;
        if (!DecodeValueRequest(in, &value)) return RPC_X_BAD_STUB_DATA;
        *out = EncodeResultReply(100 * op + value);
        return 0;
      };
    };
    ops[kSendValue] = valueOp(kSendValue);
    ops[kReturnScanner] = valueOp(kReturnScanner);
    auto emptyOp = [=, this](uint16_t op) {
      return [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
        record(op, in);
        WaitWhileHeld(op);
        if (op != kPreFreeLibrary) *out = EncodeResultReply(100 * op);
        return 0;
      };
    };
    ops[kClearPush] = emptyOp(kClearPush);
    ops[kRefreshScanner] = emptyOp(kRefreshScanner);
    ops[kSetCurrentScannerFromSTILaunchInfo] = emptyOp(kSetCurrentScannerFromSTILaunchInfo);
    ops[kPreFreeLibrary] = emptyOp(kPreFreeLibrary);
    ops[kReadFromScanner] = [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
      record(kReadFromScanner, in);
      ULONG size = 0;
      LONG value = 0;
      if (!DecodeReadRequest(in, &size, &value)) return RPC_X_BAD_STUB_DATA;
      *out = EncodeBytesReply(ExpectedReadData(size, value), 500);
      return 0;
    };
    ops[kReadBufferFromScanner] = [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
      record(kReadBufferFromScanner, in);
      ULONG size = 0;
      BYTE value = 0;
      if (!DecodeReadBufferRequest(in, &size, &value)) return RPC_X_BAD_STUB_DATA;
      *out = EncodeBytesReply(ExpectedReadData(size, value), 900);
      return 0;
    };
    auto writeOp = [=, this](uint16_t op) {
      return [=, this](wbrpc::NdrCursor* in, std::string* out) -> uint32_t {
        record(op, in);
        std::string data;
        if (!DecodeWriteRequest(in, &data)) return RPC_X_BAD_STUB_DATA;
        LONG sum = 0;
        for (unsigned char c : data) sum += c;
        *out = EncodeResultReply(sum);
        return 0;
      };
    };
    ops[kWriteToScanner] = writeOp(kWriteToScanner);
    ops[kWriteBufferToScanner] = writeOp(kWriteBufferToScanner);
    server_.RegisterInterface(ScannerServiceInterface(), std::move(ops));
    mapper_.RegisterOn(&mapperServer_);
  }

  ~ScannerTestService() {
    Release();
    server_.Stop();
    mapperServer_.Stop();
  }

  bool Start() {
    if (!server_.Start() || !mapperServer_.Start()) return false;
    mapper_.Add(scanner_wire::ScannerServiceInterface(), server_.port());
    return true;
  }

  // A binding as the binding half makes it from "ncacn_ip_tcp:127.0.0.1",
  // without an endpoint: the caller points WB_EPMAP_PORT at mapperPort().
  static RpcBinding* NewBinding(const std::string& address = "127.0.0.1", const std::string& endpoint = "") {
    auto* b = new RpcBinding();
    b->protseq = "ncacn_ip_tcp";
    b->networkAddress = address;
    b->endpoint = endpoint;
    return b;
  }

  uint16_t port() const { return server_.port(); }
  uint16_t mapperPort() const { return mapperServer_.port(); }
  wbrpc::EndpointMapper& mapper() { return mapper_; }
  wbrpc::RpcServer& server() { return server_; }

  std::vector<std::pair<uint16_t, std::string>> requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

  // Calls of operation op wait until Release().
  void Hold(uint16_t op) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ = op;
    holding_ = true;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    holding_ = false;
    cv_.notify_all();
  }
  // Waits (bounded) until a call of the held operation is waiting.
  bool WaitUntilHeldCallArrives() {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::seconds(30), [this] { return heldWaiting_ > 0; });
  }

 private:
  void WaitWhileHeld(uint16_t op) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!holding_ || op != held_) return;
    ++heldWaiting_;
    cv_.notify_all();
    cv_.wait_for(lock, std::chrono::seconds(60), [this] { return !holding_; });
    --heldWaiting_;
  }

  wbrpc::RpcServer server_;
  wbrpc::RpcServer mapperServer_;
  wbrpc::EndpointMapper mapper_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::pair<uint16_t, std::string>> requests_;
  uint16_t held_ = 0;
  bool holding_ = false;
  int heldWaiting_ = 0;
};

}  // namespace wbtest
