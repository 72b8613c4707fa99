// A ScannerService of the test's own on loopback: every procedure answers
// with values the test sets and records what it received, behind an endpoint
// mapper on its own ephemeral port (WB_EPMAP_PORT points the client at it).
#pragma once

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rpc/rpc_server.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace wbtest {

struct ScriptedReplies {
  LONG result = 7;            // every procedure's result
  LONG checkOutStatus = 0;    // RemoteCheckOutScanner's status
  std::string checkOutMessage = "granted";
  std::u16string scannerId = u"SCANNER-1";
  std::string data = "0123456789";  // what reads return (cycled to the size)
};

struct ReceivedCall {
  int opnum = -1;
  LONG value = 0;
  ULONG size = 0;
  BYTE byteValue = 0;
  std::string text;      // computer name, scanner id or written bytes
  std::string password;  // with its NUL, as sent
  std::string message;
};

class ScriptedService {
 public:
  ScriptedService() { Start(); }
  ~ScriptedService() { Stop(); }

  void Start() {
    service_ = std::make_unique<wbrpc::RpcServer>();
    std::vector<wbrpc::RpcServer::Handler> handlers;
    for (int op = 0; op <= 12; ++op) {
      handlers.push_back([this, op](wbrpc::NdrCursor* in, std::string* out) { return Handle(op, in, out); });
    }
    service_->RegisterInterface(scanner_wire::ScannerServiceInterface(), handlers);
    if (!service_->Start()) std::abort();
    if (!epmapServer_) {
      epmapServer_ = std::make_unique<wbrpc::RpcServer>();
      mapper_.RegisterOn(epmapServer_.get());
      if (!epmapServer_->Start()) std::abort();
    }
    mapper_.Add(scanner_wire::ScannerServiceInterface(), service_->port());
    setenv("WB_EPMAP_PORT", std::to_string(epmapServer_->port()).c_str(), 1);
  }
  // Stops the service itself; the endpoint mapper stays, as on a machine
  // whose service was restarted.
  void StopService() {
    if (service_) service_->Stop();
    mapper_.Remove(scanner_wire::ScannerServiceInterface());
  }
  void Stop() {
    StopService();
    if (epmapServer_) epmapServer_->Stop();
  }

  void SetReplies(const ScriptedReplies& r) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_ = r;
  }
  std::vector<ReceivedCall> Calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  int CallCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(calls_.size());
  }

 private:
  uint32_t Handle(int op, wbrpc::NdrCursor* in, std::string* out) {
    ScriptedReplies replies;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      replies = replies_;
    }
    ReceivedCall call;
    call.opnum = op;
    bool ok = true;
    switch (op) {
      case 0: {
        scanner_wire::CheckOutRequest r;
        ok = scanner_wire::DecodeCheckOutRequest(in, &r);
        call.value = r.value;
        call.text = r.computerName;
        call.password = r.password;
        call.message = r.message;
        std::string message = replies.checkOutMessage;
        message.resize(r.message.size(), '\0');
        *out = scanner_wire::EncodeCheckOutReply(message, replies.checkOutStatus, replies.result);
        break;
      }
      case 1:
        ok = scanner_wire::DecodeCheckOutWithIdRequest(in, &call.value, &call.text);
        *out = scanner_wire::EncodeResultReply(replies.result);
        break;
      case 2: {
        ok = scanner_wire::DecodeSizeRequest(in, &call.size);
        std::u16string id = replies.scannerId;
        id.resize(call.size, u'\0');
        *out = scanner_wire::EncodeScannerIdReply(id, replies.result);
        break;
      }
      case 3:
      case 7:
        ok = scanner_wire::DecodeValueRequest(in, &call.value);
        *out = scanner_wire::EncodeResultReply(replies.result);
        break;
      case 5:
      case 9: {
        if (op == 5) {
          ok = scanner_wire::DecodeReadRequest(in, &call.size, &call.value);
        } else {
          ok = scanner_wire::DecodeReadBufferRequest(in, &call.size, &call.byteValue);
        }
        std::string data;
        for (ULONG i = 0; i < call.size; ++i) data.push_back(replies.data[i % replies.data.size()]);
        *out = scanner_wire::EncodeBytesReply(data, replies.result);
        break;
      }
      case 6:
      case 10:
        ok = scanner_wire::DecodeWriteRequest(in, &call.text);
        *out = scanner_wire::EncodeResultReply(replies.result);
        break;
      case 12:
        out->clear();
        break;
      default:  // 4, 8, 11: no arguments
        *out = scanner_wire::EncodeResultReply(replies.result);
        break;
    }
    if (!ok) return 1783;
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    return 0;
  }

  std::unique_ptr<wbrpc::RpcServer> service_;
  std::unique_ptr<wbrpc::RpcServer> epmapServer_;
  wbrpc::EndpointMapper mapper_;
  std::mutex mutex_;
  ScriptedReplies replies_;
  std::vector<ReceivedCall> calls_;
};

}  // namespace wbtest
