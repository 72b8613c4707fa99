// The ncacn_ip_tcp transport: one TCP connection over IPv4 or IPv6, with
// TCP_NODELAY, whose reads and writes give up at a deadline so that no call
// waits forever.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/rpc/pdu_stream.h"

namespace wbrpc {

using Clock = std::chrono::steady_clock;

class TcpStream : public ByteStream {
 public:
  // Resolves host (empty: this machine; an IPv6 literal may be bracketed)
  // with getaddrinfo and connects to the first address that answers before
  // the timeout. Returns nullptr when none does.
  static std::unique_ptr<TcpStream> Connect(const std::string& host, const std::string& port,
                                            std::chrono::milliseconds timeout);
  explicit TcpStream(int fd);  // takes a connected socket (server side)
  ~TcpStream() override;
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  // Reads and writes after this point fail.
  void SetDeadline(Clock::time_point deadline) { deadline_ = deadline; }
  void ClearDeadline() { deadline_ = Clock::time_point::max(); }
  bool ReadExact(void* buf, size_t n) override;
  bool WriteAll(const void* data, size_t n) override;
  // True when the peer closed the connection or sent something unasked
  // while the connection was idle.
  bool IdleConnectionBroken();
  // Wakes any blocked read or write (used to stop servers).
  void Shutdown();
  int fd() const { return fd_; }

 private:
  bool WaitFor(short events);
  int fd_;
  Clock::time_point deadline_ = Clock::time_point::max();
};

}  // namespace wbrpc
