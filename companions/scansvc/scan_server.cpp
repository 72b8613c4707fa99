// Wiring of the implementation, the service's RPC server and the mapper.
#include "companions/scansvc/scan_server.h"

#include "wbremote/rpc/scanner_service_codec.h"

namespace scansvc {

namespace {
wbrpc::RpcServer::Options RpcOptions(const std::string& address, uint16_t port) {
  wbrpc::RpcServer::Options o;
  o.address = address;
  o.port = port;
  return o;
}
}  // namespace

ScanServer::ScanServer(ServerOptions options, ScannerServiceImpl::LogSink log, ScannerServiceImpl::SteadyClock clock)
    : options_(std::move(options)),
      impl_(std::make_unique<ScannerServiceImpl>(options_.service, std::move(log), std::move(clock))),
      service_(std::make_unique<wbrpc::RpcServer>(RpcOptions(options_.address, options_.port))),
      mapperServer_(std::make_unique<wbrpc::RpcServer>(RpcOptions(options_.address, options_.epmapPort))) {
  service_->RegisterInterface(scanner_wire::ScannerServiceInterface(), impl_->Handlers());
  ScannerServiceImpl* impl = impl_.get();
  service_->SetConnectionClosedHandler([impl](uint64_t id) { impl->ConnectionClosed(id); });
  mapper_.RegisterOn(mapperServer_.get());
}

ScanServer::~ScanServer() { Stop(); }

bool ScanServer::Start(std::string* error) {
  if (!service_->Start()) {
    *error = "cannot listen on " + options_.address + " port " + std::to_string(options_.port);
    return false;
  }
  mapper_.Add(scanner_wire::ScannerServiceInterface(), service_->port());
  if (!mapperServer_->Start()) {
    service_->Stop();
    *error = "cannot listen on " + options_.address + " port " + std::to_string(options_.epmapPort) +
             " for the endpoint mapper" + (options_.epmapPort < 1024 ? " (ports below 1024 need privileges)" : "");
    return false;
  }
  return true;
}

void ScanServer::Stop() {
  // The mapper first, so that nobody is sent to a port that is going away.
  mapperServer_->Stop();
  service_->Stop();
}

}  // namespace scansvc
