// A peer that connects to the server and then stalls, before or in the middle
// of a PDU, is cut off after the idle timeout instead of holding its
// connection thread for ever.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/rpc/rpc_server.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace {

int ConnectTo(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// True when the server closes the connection within the bound.
bool ClosedByServer(int fd, int boundMs) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, boundMs) <= 0) return false;
  char c;
  return recv(fd, &c, 1, 0) <= 0;
}

TEST(RpcServerDeadline, StalledPeersAreCutOff) {
  wbrpc::RpcServer::Options options;
  options.idleTimeout = std::chrono::milliseconds(200);
  wbrpc::RpcServer server(options);
  server.RegisterInterface(scanner_wire::ScannerServiceInterface(), {});
  ASSERT_TRUE(server.Start());

  const int idle = ConnectTo(server.port());
  const int halfway = ConnectTo(server.port());
  ASSERT_GE(idle, 0);
  ASSERT_GE(halfway, 0);
  // The first 10 octets of a bind header, and then nothing.
  const unsigned char partial[10] = {5, 0, 11, 3, 0x10, 0, 0, 0, 72, 0};
  ASSERT_EQ(10, send(halfway, partial, sizeof partial, MSG_NOSIGNAL));

  EXPECT_TRUE(ClosedByServer(idle, 30000));
  EXPECT_TRUE(ClosedByServer(halfway, 30000));
  close(idle);
  close(halfway);
  server.Stop();
}

}  // namespace
