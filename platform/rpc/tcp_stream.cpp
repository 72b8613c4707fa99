// TCP connections for the RPC runtime.
#include "platform/rpc/tcp_stream.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

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
  // Blocking from here; reads and writes wait under the socket timeouts.
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

void TcpStream::SetDeadline(Clock::time_point deadline) {
  deadline_ = deadline;
  auto window = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (window.count() < 1) window = std::chrono::milliseconds(1);
  // Only a markedly different window is worth a system call.
  const auto diff = window > appliedTimeout_ ? window - appliedTimeout_ : appliedTimeout_ - window;
  if (appliedTimeout_.count() == 0 || diff * 5 > appliedTimeout_) {
    timeval tv{};
    tv.tv_sec = static_cast<time_t>(window.count() / 1000);
    tv.tv_usec = static_cast<suseconds_t>(window.count() % 1000 * 1000);
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    appliedTimeout_ = window;
  }
}

ssize_t TcpStream::Receive(void* p, size_t n) {
  for (;;) {
    if (deadline_ != Clock::time_point::max() && Clock::now() >= deadline_) {
      errno = ETIMEDOUT;
      return -1;
    }
    const ssize_t got = recv(fd_, p, n, 0);
    if (got >= 0) return got;
    // EAGAIN: the receive timeout ran out; the deadline check decides.
    if (errno != EINTR && errno != EAGAIN) return -1;
  }
}

// One receive into the buffer.
bool TcpStream::Fill() {
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  const ssize_t got = Receive(buffer_.data(), buffer_.size());
  if (got <= 0) return false;  // closed by the peer, failed or timed out
  bufferPos_ = 0;
  bufferEnd_ = static_cast<size_t>(got);
  return true;
}

bool TcpStream::ReadExact(void* buf, size_t n) {
  auto* p = static_cast<char*>(buf);
  while (n > 0) {
    if (bufferPos_ < bufferEnd_) {
      const size_t take = std::min(n, bufferEnd_ - bufferPos_);
      memcpy(p, buffer_.data() + bufferPos_, take);
      bufferPos_ += take;
      p += take;
      n -= take;
      continue;
    }
    if (n >= kBufferSize) {
      // Large stub data goes straight to its destination.
      const ssize_t got = Receive(p, n);
      if (got <= 0) return false;
      p += got;
      n -= static_cast<size_t>(got);
      continue;
    }
    if (!Fill()) return false;
  }
  return true;
}

bool TcpStream::ReadAppend(std::string* dst, size_t n) {
  // Straight from the buffer onto the end of dst, without zero-filling it
  // first.
  while (n > 0 && n < kBufferSize) {
    if (bufferPos_ == bufferEnd_ && !Fill()) return false;
    const size_t take = std::min(n, bufferEnd_ - bufferPos_);
    dst->append(buffer_.data() + bufferPos_, take);
    bufferPos_ += take;
    n -= take;
  }
  return n == 0 || ByteStream::ReadAppend(dst, n);
}

size_t TcpStream::ReadSome(const ReadSpan* spans, size_t count) {
  if (bufferPos_ < bufferEnd_) {
    size_t got = 0;
    for (size_t i = 0; i < count && bufferPos_ < bufferEnd_; ++i) {
      const size_t take = std::min(spans[i].size, bufferEnd_ - bufferPos_);
      memcpy(spans[i].data, buffer_.data() + bufferPos_, take);
      bufferPos_ += take;
      got += take;
    }
    return got;
  }
  constexpr size_t kMaxIov = 256;
  iovec iov[kMaxIov];
  const size_t n = std::min(count, kMaxIov);
  for (size_t i = 0; i < n; ++i) iov[i] = {spans[i].data, spans[i].size};
  for (;;) {
    if (deadline_ != Clock::time_point::max() && Clock::now() >= deadline_) return 0;
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = n;
    const ssize_t got = recvmsg(fd_, &msg, 0);
    if (got > 0) return static_cast<size_t>(got);
    if (got == 0) return 0;  // closed by the peer
    if (errno != EINTR && errno != EAGAIN) return 0;
  }
}

void TcpStream::Unread(const char* data, size_t n) {
  std::vector<char> joined(data, data + n);
  joined.insert(joined.end(), buffer_.begin() + static_cast<ptrdiff_t>(bufferPos_),
                buffer_.begin() + static_cast<ptrdiff_t>(bufferEnd_));
  bufferEnd_ = joined.size();
  bufferPos_ = 0;
  if (joined.size() < kBufferSize) joined.resize(kBufferSize);
  buffer_.swap(joined);
}

bool TcpStream::WriteAll(const void* data, size_t n) {
  const auto* p = static_cast<const char*>(data);
  while (n > 0) {
    if (deadline_ != Clock::time_point::max() && Clock::now() >= deadline_) return false;
    // Blocking, under the send timeout: waiting inside send() streams a
    // large reply far better than polling for room.
    const ssize_t put = send(fd_, p, n, MSG_NOSIGNAL);
    if (put < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;  // EAGAIN: the send timeout ran out
      return false;
    }
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

bool TcpStream::WriteGather(const std::vector<std::string_view>& pieces) {
  constexpr size_t kMaxIov = 512;
  size_t index = 0, offset = 0;  // first piece not yet fully written
  while (index < pieces.size()) {
    iovec iov[kMaxIov];
    size_t count = 0;
    for (size_t i = index; i < pieces.size() && count < kMaxIov; ++i) {
      const size_t skip = i == index ? offset : 0;
      iov[count].iov_base = const_cast<char*>(pieces[i].data() + skip);
      iov[count].iov_len = pieces[i].size() - skip;
      ++count;
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = count;
    if (deadline_ != Clock::time_point::max() && Clock::now() >= deadline_) return false;
    ssize_t put = sendmsg(fd_, &msg, MSG_NOSIGNAL);
    if (put < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    // Advance over what went out.
    while (put > 0 && index < pieces.size()) {
      const size_t left = pieces[index].size() - offset;
      if (static_cast<size_t>(put) >= left) {
        put -= static_cast<ssize_t>(left);
        ++index;
        offset = 0;
      } else {
        offset += static_cast<size_t>(put);
        put = 0;
      }
    }
    while (index < pieces.size() && pieces[index].size() == offset) {
      ++index;
      offset = 0;
    }
  }
  return true;
}

bool TcpStream::IdleConnectionBroken() {
  if (bufferPos_ < bufferEnd_) return true;  // something arrived unasked
  pollfd pfd{fd_, POLLIN, 0};
  const int rc = poll(&pfd, 1, 0);
  return rc != 0;  // readable (EOF, reset or stray data) or failed
}

void TcpStream::Shutdown() { shutdown(fd_, SHUT_RDWR); }

}  // namespace wbrpc
