// The service as it runs: a ScannerServiceImpl behind an RpcServer on the
// service's port, and an endpoint mapper on its own port that announces the
// service's port for ScannerService. Used by the daemon and, in-process, by
// the tests.
//
// Ownership: the server owns the implementation and both RPC servers; Stop()
// (or the destructor) closes every connection and joins every thread before
// the implementation goes away.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "companions/scansvc/scanner_service_impl.h"
#include "platform/rpc/rpc_server.h"

namespace scansvc {

struct ServerOptions {
  std::string address = "127.0.0.1";
  uint16_t port = 0;        // 0: any free port
  uint16_t epmapPort = 135;  // 0: any free port
  ServiceOptions service;
};

class ScanServer {
 public:
  explicit ScanServer(ServerOptions options, ScannerServiceImpl::LogSink log = {},
                      ScannerServiceImpl::SteadyClock clock = {});
  ~ScanServer();
  ScanServer(const ScanServer&) = delete;
  ScanServer& operator=(const ScanServer&) = delete;

  // Listens on both ports; false and *error when either cannot be opened.
  bool Start(std::string* error);
  void Stop();

  uint16_t port() const { return service_->port(); }
  uint16_t epmapPort() const { return mapperServer_->port(); }
  ScannerServiceImpl& impl() { return *impl_; }

 private:
  ServerOptions options_;
  std::unique_ptr<ScannerServiceImpl> impl_;
  std::unique_ptr<wbrpc::RpcServer> service_;
  std::unique_ptr<wbrpc::RpcServer> mapperServer_;
  wbrpc::EndpointMapper mapper_;
};

}  // namespace scansvc
