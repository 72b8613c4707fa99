// Finding the service through the endpoint mapper, caching and re-resolving
// its endpoint, and the per-binding connection pool under several threads.
#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "platform/rpc/epmap.h"
#include "raw_pdu_server.h"
#include "scanner_test_service.h"
#include "test_util.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_client.h"

using wbtest::Hex;
using wbtest::ToHex;

namespace {

class BindingScope {
 public:
  explicit BindingScope(RpcBinding* b) : binding_(b) { hScannerBinding = b; }
  ~BindingScope() { hScannerBinding = nullptr; }

 private:
  std::unique_ptr<RpcBinding> binding_;
};

// A scripted endpoint mapper that records the ept_map stub data and answers
// with the given reply stub data.
struct ScriptedMapper {
  explicit ScriptedMapper(std::string replyStub)
      : server([this, replyStub](wbtest::RawConn& c) {
          if (!c.AcceptBind()) return;
          std::string stub;
          uint16_t opnum = 0;
          if (!c.ReadRequest(&stub, nullptr, &opnum)) return;
          {
            std::lock_guard<std::mutex> lock(mutex);
            request = stub;
            requestOpnum = opnum;
          }
          c.Send(wbtest::MakeResponse(c.lastCallId, replyStub));
          wbtest::RawPdu p;
          c.Read(&p);
        }) {}
  std::mutex mutex;
  std::string request;
  uint16_t requestOpnum = 0xffff;
  wbtest::RawPduServer server;
};

TEST(EndpointMapper, RequestIsTheOriginalsAndNotRegisteredIs1753EitherWay) {
  const std::string zeroTowers = wbrpc::EncodeEptMapReply({}, 0);
  const std::string notRegistered = wbrpc::EncodeEptMapReply({}, wbrpc::kEptNotRegistered);
  // A tower for another interface is no answer either.
  const std::string otherTower = wbrpc::EncodeEptMapReply(
      {wbrpc::BuildTcpTower(wbrpc::EndpointMapperInterface(), 4000, 0x7f000001)}, 0);
  for (const std::string& reply : {zeroTowers, notRegistered, otherTower}) {
    ScriptedMapper mapper(reply);
    wbtest::EpmapPortScope epmap(mapper.server.port());
    BindingScope scope(wbtest::ScannerTestService::NewBinding());
    EXPECT_EQ(wbtest::StatusOf([] { RemoteClearPush(); }), EPT_S_NOT_REGISTERED);
    std::lock_guard<std::mutex> lock(mapper.mutex);
    EXPECT_EQ(mapper.requestOpnum, 3);
    const std::string tower =
        "0500"
        "1300 0d 27f608dbe9f2d011938200c04fc9c7d4 0100 0200 0000"   // ScannerService 1.0
        "1300 0d 045d888aeb1cc9119fe808002b104860 0200 0200 0000"   // NDR 2.0
        "0100 0b 0200 0000"                                         // connection-oriented RPC
        "0100 07 0200 0000"                                         // TCP port, big-endian
        "0100 09 0400 00000000";                                    // IP address, big-endian
    EXPECT_EQ(ToHex(mapper.request),
              ToHex(Hex("01000000 00000000000000000000000000000000"  // object, referent 1
                        "02000000 4b000000 4b000000 " + tower + " 00"  // tower, referent 2
                        "0000000000000000000000000000000000000000"  // entry handle
                        "04000000")));                               // max_towers
  }
}

TEST(EndpointMapper, UnreachableMapperIs1722) {
  uint16_t port;
  {
    wbtest::RawPduServer gone([](wbtest::RawConn&) {});
    port = gone.port();
  }
  wbtest::EpmapPortScope epmap(port);
  BindingScope scope(wbtest::ScannerTestService::NewBinding());
  EXPECT_EQ(wbtest::StatusOf([] { RemoteClearPush(); }), RPC_S_SERVER_UNAVAILABLE);
}

TEST(EndpointMapper, TowerRoundTrip) {
  const auto& iface = scanner_wire::ScannerServiceInterface();
  wbrpc::TcpTowerInfo info;
  ASSERT_TRUE(wbrpc::ParseTcpTower(wbrpc::BuildTcpTower(iface, 0x1234, 0x7f000001), &info));
  EXPECT_TRUE(info.iface == iface);
  EXPECT_EQ(info.port, 0x1234);
  EXPECT_EQ(info.ipv4, 0x7f000001u);
  std::string tower = wbrpc::BuildTcpTower(iface, 80, 1);
  for (size_t cut = 0; cut < tower.size(); ++cut) {
    EXPECT_FALSE(wbrpc::ParseTcpTower(tower.substr(0, cut), &info)) << cut;
  }
}

TEST(EndpointMapper, CachedEndpointIsReResolvedWhenItNoLongerAnswers) {
  wbtest::ScannerTestService first, second;
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(second.Start());
  wbtest::EpmapPortScope epmap(first.mapperPort());
  BindingScope scope(wbtest::ScannerTestService::NewBinding());
  EXPECT_EQ(RemoteSendValue(1), 301);
  EXPECT_EQ(first.requests().size(), 1u);
  // The service moves to another port: the old one stops answering.
  first.mapper().Remove(scanner_wire::ScannerServiceInterface());
  first.mapper().Add(scanner_wire::ScannerServiceInterface(), second.port());
  first.server().Stop();
  EXPECT_EQ(RemoteSendValue(2), 302);
  EXPECT_EQ(second.requests().size(), 1u);
}

TEST(ConnectionPool, HeldCallDoesNotDelayAnotherThreadsCall) {
  wbtest::ScannerTestService service;
  ASSERT_TRUE(service.Start());
  wbtest::EpmapPortScope epmap(service.mapperPort());
  BindingScope scope(wbtest::ScannerTestService::NewBinding());
  EXPECT_EQ(RemoteClearPush(), 400);  // resolves and caches the endpoint

  service.Hold(scanner_wire::kRefreshScanner);
  auto held = std::async(std::launch::async, [] { return RemoteRefreshScanner(); });
  ASSERT_TRUE(service.WaitUntilHeldCallArrives());
  // From here the mapper no longer knows the service: the second connection
  // must come from the cached endpoint.
  service.mapper().Remove(scanner_wire::ScannerServiceInterface());
  EXPECT_EQ(RemoteSendValue(3), 303);
  BYTE buf[64];
  EXPECT_EQ(RemoteReadFromScanner(buf, 64, 1), 500);
  // The held call is still waiting: the others did not queue behind it.
  EXPECT_EQ(held.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  service.Release();
  EXPECT_EQ(held.get(), 800);
}

TEST(ConnectionPool, ManyThreadsOnOneBinding) {
  wbtest::ScannerTestService service;
  ASSERT_TRUE(service.Start());
  wbtest::EpmapPortScope epmap(service.mapperPort());
  BindingScope scope(wbtest::ScannerTestService::NewBinding());
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &wrong] {
      std::string buf(3000 + t, '\0');
      for (int i = 0; i < 40; ++i) {
        const LONG r = RemoteReadFromScanner(reinterpret_cast<BYTE*>(buf.data()),
                                             static_cast<ULONG>(buf.size()), t * 100 + i);
        if (r != 500 || buf != wbtest::ExpectedReadData(static_cast<ULONG>(buf.size()), t * 100 + i)) ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(service.requests().size(), 160u);
}

TEST(Transport, Ipv6AndThisMachine) {
  wbrpc::RpcServer::Options v6;
  v6.address = "::1";
  wbtest::ScannerTestService service(v6);
  if (!service.server().Start()) GTEST_SKIP() << "no IPv6 loopback here";
  {
    BindingScope scope(wbtest::ScannerTestService::NewBinding("::1", std::to_string(service.port())));
    EXPECT_EQ(RemoteReturnScanner(4), 704);
  }
  {
    // An empty network address is this machine, whichever address answers.
    BindingScope scope(wbtest::ScannerTestService::NewBinding("", std::to_string(service.port())));
    EXPECT_EQ(RemoteReturnScanner(5), 705);
  }
}

}  // namespace
