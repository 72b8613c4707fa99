// TCP connections for the RPC runtime.
#include "platform/rpc/tcp_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace wbrpc {

namespace {
int RemainingMs(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

void SetNoDelay(int fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

int ConnectOne(const addrinfo* ai, Clock::time_point deadline) {
  int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, ai->ai_protocol);
  if (fd < 0) return -1;
  if (connect(fd, ai->ai_addr, ai->ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      close(fd);
      return -1;
    }
    pollfd pfd{fd, POLLOUT, 0};
    int rc;
    do {
      rc = poll(&pfd, 1, RemainingMs(deadline));
    } while (rc < 0 && errno == EINTR);
    int err = 0;
    socklen_t len = sizeof err;
    if (rc <= 0 || getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      close(fd);
      return -1;
    }
  }
  // Blocking from here; reads and writes wait through poll with a deadline.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  SetNoDelay(fd);
  return fd;
}
}  // namespace

std::unique_ptr<TcpStream> TcpStream::Connect(const std::string& host, const std::string& port,
                                              std::chrono::milliseconds timeout) {
  std::string name = host;
  if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* list = nullptr;
  if (getaddrinfo(name.empty() ? nullptr : name.c_str(), port.c_str(), &hints, &list) != 0) return nullptr;
  const Clock::time_point deadline = Clock::now() + timeout;
  int fd = -1;
  for (const addrinfo* ai = list; ai && fd < 0; ai = ai->ai_next) {
    if (Clock::now() >= deadline) break;
    fd = ConnectOne(ai, deadline);
  }
  freeaddrinfo(list);
  if (fd < 0) return nullptr;
  return std::make_unique<TcpStream>(fd);
}

TcpStream::TcpStream(int fd) : fd_(fd) { SetNoDelay(fd); }

TcpStream::~TcpStream() {
  if (fd_ >= 0) close(fd_);
}

bool TcpStream::WaitFor(short events) {
  pollfd pfd{fd_, events, 0};
  for (;;) {
    const int rc = poll(&pfd, 1, RemainingMs(deadline_));
    if (rc > 0) return true;
    if (rc == 0) return false;  // deadline passed
    if (errno != EINTR) return false;
  }
}

bool TcpStream::ReadExact(void* buf, size_t n) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    if (!WaitFor(POLLIN)) return false;
    const ssize_t got = recv(fd_, p, n, 0);
    if (got == 0) return false;  // closed by the peer
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool TcpStream::WriteAll(const void* data, size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    if (!WaitFor(POLLOUT)) return false;
    const ssize_t put = send(fd_, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

bool TcpStream::IdleConnectionBroken() {
  pollfd pfd{fd_, POLLIN, 0};
  const int rc = poll(&pfd, 1, 0);
  return rc != 0;  // readable (EOF, reset or stray data) or failed
}

void TcpStream::Shutdown() { shutdown(fd_, SHUT_RDWR); }

}  // namespace wbrpc
