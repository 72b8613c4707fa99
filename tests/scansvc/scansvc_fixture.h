// A scansvc ScanServer running in the test's process on ephemeral loopback
// ports, and client bindings made the way the library makes them: a string
// binding without an endpoint, resolved through the service's endpoint
// mapper (WB_EPMAP_PORT points the client at it).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "companions/scansvc/scan_server.h"
#include "platform/rpc/binding.h"
#include "platform/rpc/rpc.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_client.h"

namespace scansvc_test {

// Runs f and returns the status of the RpcException it raises (0 if none).
template <typename F>
RPC_STATUS StatusOf(F&& f) {
  RpcTryExcept { f(); }
  RpcExcept(1) { return RpcExceptionCode(); }
  RpcEndExcept
  return 0;
}

// Polls cond every 20 ms for up to 30 s: long enough for a loaded machine,
// bounded so that a broken service fails the test instead of hanging it.
template <typename F>
bool Eventually(F&& cond) {
  for (int i = 0; i < 1500; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return cond();
}

// One client: its own binding handle, hence its own connections. Use() makes
// it the binding the stubs call through.
class Client {
 public:
  explicit Client(const std::string& stringBinding = "ncacn_ip_tcp:127.0.0.1") {
    EXPECT_EQ(RpcBindingFromStringBindingA(
                  reinterpret_cast<RPC_CSTR>(const_cast<char*>(stringBinding.c_str())), &binding_),
              RPC_S_OK);
  }
  explicit Client(RPC_BINDING_HANDLE binding) : binding_(binding) {}
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  void Use() { hScannerBinding = binding_; }
  // Frees the binding, which closes every connection the client has open.
  void Close() {
    if (!binding_) return;
    if (hScannerBinding == binding_) hScannerBinding = nullptr;
    RpcBindingFree(&binding_);
  }

 private:
  RPC_BINDING_HANDLE binding_ = nullptr;
};

struct CheckOutCall {
  LONG result = 0;
  LONG status = -99;
  std::string message;
};

// A check-out as the library makes it: each text with its NUL, the sizes
// counting it.
inline CheckOutCall CheckOut(const std::string& computerName, const std::string& password, ULONG messageSize = 512) {
  std::string name = computerName + '\0';
  std::string pass = password + '\0';
  CheckOutCall c;
  c.message.assign(messageSize, 'x');
  c.result = RemoteCheckOutScanner(0, reinterpret_cast<unsigned char*>(name.data()), static_cast<ULONG>(name.size()),
                                   reinterpret_cast<unsigned char*>(pass.data()), static_cast<ULONG>(pass.size()),
                                   reinterpret_cast<unsigned char*>(c.message.data()), messageSize, &c.status);
  return c;
}

// The message up to its NUL.
inline std::string Text(const std::string& message) { return message.substr(0, message.find('\0')); }

inline LONG Command(const std::string& text) {
  std::string buf = text;
  return RemoteWriteToScanner(reinterpret_cast<BYTE*>(buf.data()), static_cast<ULONG>(buf.size()));
}

class ServiceTest : public ::testing::Test {
 protected:
  void StartService(scansvc::ServiceOptions service = {}, const std::string& address = "127.0.0.1",
                    scansvc::ScannerServiceImpl::SteadyClock clock = {}) {
    scansvc::ServerOptions o;
    o.address = address;
    o.port = 0;
    o.epmapPort = 0;
    o.service = service;
    server_ = std::make_unique<scansvc::ScanServer>(
        o, [this](const std::string& line) {
          std::lock_guard<std::mutex> lock(logMutex_);
          log_.push_back(line);
        },
        std::move(clock));
    std::string error;
    started_ = server_->Start(&error);
    ASSERT_TRUE(started_) << error;
    setenv("WB_EPMAP_PORT", std::to_string(server_->epmapPort()).c_str(), 1);
  }

  void TearDown() override {
    hScannerBinding = nullptr;
    if (server_) server_->Stop();
    unsetenv("WB_EPMAP_PORT");
  }

  std::vector<std::string> Log() {
    std::lock_guard<std::mutex> lock(logMutex_);
    return log_;
  }

  scansvc::ScannerServiceImpl& impl() { return server_->impl(); }

  std::unique_ptr<scansvc::ScanServer> server_;
  bool started_ = false;
  std::mutex logMutex_;
  std::vector<std::string> log_;
};

}  // namespace scansvc_test
