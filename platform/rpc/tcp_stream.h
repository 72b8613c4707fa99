// The ncacn_ip_tcp transport: one TCP connection over IPv4 or IPv6, with
// TCP_NODELAY, whose reads and writes give up at a deadline so that no call
// waits forever. Reads go through a buffer so that a whole PDU, or several,
// usually arrive with one system call; large reads bypass it.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

  // Reads and writes after this point fail. A read that is already waiting
  // when the deadline passes gives up within one more such period at most
  // (the socket's receive and send timeouts are the deadline's distance when
  // it is set, so that waiting costs no system call of its own).
  void SetDeadline(Clock::time_point deadline);
  void ClearDeadline() { deadline_ = Clock::time_point::max(); }
  bool ReadExact(void* buf, size_t n) override;
  bool WriteAll(const void* data, size_t n) override;
  bool ReadAppend(std::string* dst, size_t n) override;
  size_t ReadSome(const ReadSpan* spans, size_t count) override;
  void Unread(const char* data, size_t n) override;
  // Writes the pieces in order, as one stream, without joining them first.
  bool WriteGather(const std::vector<std::string_view>& pieces);
  // True when the peer closed the connection or sent something unasked
  // while the connection was idle.
  bool IdleConnectionBroken();
  // Wakes any blocked read or write (used to stop servers).
  void Shutdown();
  int fd() const { return fd_; }

 private:
  bool Fill();
  // One blocking receive under the receive timeout; -1 with errno on failure.
  ssize_t Receive(void* p, size_t n);
  std::chrono::milliseconds appliedTimeout_{0};
  static constexpr size_t kBufferSize = 16 * 1024;
  int fd_;
  std::vector<char> buffer_;
  size_t bufferPos_ = 0;
  size_t bufferEnd_ = 0;
  Clock::time_point deadline_ = Clock::time_point::max();
};

}  // namespace wbrpc
