// A scripted TCP server for tests of the client runtime: each accepted
// connection runs the test's script, which reads and writes raw PDUs, so a
// test can make the server misbehave in exactly one way. Loopback only; the
// server stops when the test object goes away.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/rpc/pdu.h"
#include "platform/rpc/pdu_stream.h"
#include "platform/rpc/tcp_stream.h"

namespace wbtest {

struct RawPdu {
  wbrpc::PduHeader header;
  std::string bytes;
  const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(bytes.data()); }
};

class RawConn {
 public:
  explicit RawConn(int fd) : stream_(fd) {
    stream_.SetDeadline(std::chrono::steady_clock::now() + std::chrono::seconds(30));
  }
  bool Read(RawPdu* pdu) {
    return wbrpc::ReadPdu(&stream_, 65535, &pdu->bytes, &pdu->header) == wbrpc::ReadPduResult::kOk;
  }
  // Reads request fragments up to the last one; returns the stub data.
  bool ReadRequest(std::string* stub, std::vector<RawPdu>* fragments = nullptr, uint16_t* opnum = nullptr) {
    stub->clear();
    for (;;) {
      RawPdu p;
      if (!Read(&p) || p.header.type != wbrpc::kPduRequest) return false;
      wbrpc::RequestPdu req;
      if (!wbrpc::DecodeRequest(p.data(), p.header, &req)) return false;
      stub->append(req.stub);
      if (opnum) *opnum = req.opnum;
      lastCallId = p.header.callId;
      const bool last = (p.header.flags & wbrpc::kPfcLastFrag) != 0;
      if (fragments) fragments->push_back(std::move(p));
      if (last) return true;
    }
  }
  bool Send(const std::string& bytes) { return stream_.WriteAll(bytes.data(), bytes.size()); }
  // Answers a bind with an acceptance and the given limits.
  bool AcceptBind(uint16_t maxXmit = wbrpc::kDefaultMaxFrag, uint16_t maxRecv = wbrpc::kDefaultMaxFrag) {
    RawPdu p;
    if (!Read(&p) || p.header.type != wbrpc::kPduBind) return false;
    wbrpc::BindAckPdu ack;
    ack.maxXmitFrag = maxXmit;
    ack.maxRecvFrag = maxRecv;
    ack.secondaryAddress = "1";
    return Send(wbrpc::EncodeBindAck(p.header.callId, ack));
  }
  void Close() { stream_.Shutdown(); }
  uint32_t lastCallId = 0;

 private:
  wbrpc::TcpStream stream_;
};

class RawPduServer {
 public:
  using Script = std::function<void(RawConn&)>;
  explicit RawPduServer(Script script, const char* address = "127.0.0.1") : script_(std::move(script)) {
    const bool v6 = std::string(address).find(':') != std::string::npos;
    fd_ = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (v6) {
      sockaddr_in6 a{};
      a.sin6_family = AF_INET6;
      inet_pton(AF_INET6, address, &a.sin6_addr);
      ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    } else {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      inet_pton(AF_INET, address, &a.sin_addr);
      ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ok_ = ok_ && listen(fd_, 16) == 0;
    sockaddr_storage s{};
    socklen_t len = sizeof s;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&s), &len);
    port_ = ntohs(s.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&s)->sin6_port
                                          : reinterpret_cast<sockaddr_in*>(&s)->sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~RawPduServer() {
    stop_ = true;
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      workers.swap(workers_);
    }
    for (auto& t : workers) t.join();
  }
  bool ok() const { return ok_; }
  uint16_t port() const { return port_; }
  std::string endpoint() const { return std::to_string(port_); }
  int accepted() const { return accepted_; }

 private:
  void Loop() {
    while (!stop_) {
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, 200) <= 0) continue;
      const int c = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      ++accepted_;
      std::lock_guard<std::mutex> lock(mutex_);
      workers_.emplace_back([this, c] {
        RawConn conn(c);
        script_(conn);
      });
    }
  }
  Script script_;
  int fd_ = -1;
  bool ok_ = false;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
  std::mutex mutex_;
  std::vector<std::thread> workers_;
};

// A response PDU with the given stub data, call id and data representation,
// built octet by octet so that tests can send what our encoder never would.
inline std::string MakeResponse(uint32_t callId, const std::string& stub, uint8_t flags = 3,
                                bool bigEndian = false, bool ebcdic = false, uint32_t allocHint = 0) {
  std::string p;
  auto put16 = [&](uint16_t v) {
    if (bigEndian) {
      p.push_back(static_cast<char>(v >> 8));
      p.push_back(static_cast<char>(v & 0xff));
    } else {
      p.push_back(static_cast<char>(v & 0xff));
      p.push_back(static_cast<char>(v >> 8));
    }
  };
  auto put32 = [&](uint32_t v) {
    if (bigEndian) {
      put16(static_cast<uint16_t>(v >> 16));
      put16(static_cast<uint16_t>(v & 0xffff));
    } else {
      put16(static_cast<uint16_t>(v & 0xffff));
      put16(static_cast<uint16_t>(v >> 16));
    }
  };
  p += std::string{5, 0, static_cast<char>(wbrpc::kPduResponse), static_cast<char>(flags)};
  p.push_back(static_cast<char>((bigEndian ? 0x00 : 0x10) | (ebcdic ? 1 : 0)));
  p += std::string(3, '\0');
  put16(static_cast<uint16_t>(24 + stub.size()));
  put16(0);
  put32(callId);
  put32(allocHint);
  put16(0);
  p += std::string(2, '\0');
  p += stub;
  return p;
}

}  // namespace wbtest
