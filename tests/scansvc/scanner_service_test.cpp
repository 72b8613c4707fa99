// The service through the real client stubs over loopback: check-out and its
// refusals, the holder's release, the scanned page, commands, push, the
// identifier, and requests that are not what the interface says.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <sstream>

#include "companions/scansvc/page_generator.h"
#include "platform/rpc/wire.h"
#include "scansvc_fixture.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace scansvc_test {
namespace {

TEST_F(ServiceTest, CheckOutGrantsTheHolderAndRefusesAnotherComputerNamingTheHolder) {
  StartService();
  Client a, b;
  a.Use();
  const CheckOutCall first = CheckOut("SCANHOST", "anything");
  EXPECT_EQ(first.status, 0);
  EXPECT_GT(first.result, 0);
  EXPECT_EQ(Text(first.message), "Scanner checked out.");
  EXPECT_EQ(first.message.size(), 512u);
  EXPECT_EQ(first.message.find_first_not_of('\0', 20), std::string::npos) << "message is NUL-padded";

  // The holder again (another name case, same computer): the same session.
  const CheckOutCall again = CheckOut("scanhost", "");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(again.result, first.result);

  b.Use();
  const CheckOutCall other = CheckOut("OTHERPC", "anything");
  EXPECT_EQ(other.status, 1);
  EXPECT_EQ(other.result, 0);
  EXPECT_EQ(Text(other.message), "The scanner is checked out by SCANHOST.");
  // A short message buffer gets the text cut and still NUL-terminated.
  const CheckOutCall cut = CheckOut("OTHERPC", "", 9);
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.message, std::string("The scan\0", 9));
  const CheckOutCall none = CheckOut("OTHERPC", "", 0);
  EXPECT_EQ(none.status, 1);
  EXPECT_TRUE(none.message.empty());

  a.Use();
  EXPECT_EQ(RemoteReturnScanner(0), 1);
  EXPECT_EQ(RemoteReturnScanner(0), 0) << "nothing left to return";
  b.Use();
  const CheckOutCall now = CheckOut("OTHERPC", "");
  EXPECT_EQ(now.status, 0);
  EXPECT_GT(now.result, 0);
  EXPECT_NE(now.result, first.result) << "a new session";
}

TEST_F(ServiceTest, PasswordIsCheckedBeforeAnythingElse) {
  scansvc::ServiceOptions o;
  o.password = "secret";
  StartService(o);
  Client a;
  a.Use();
  struct Case {
    const char* password;
    LONG status;
  } cases[] = {{"secret", 0}, {"secre", 2}, {"secret2", 2}, {"", 2}, {"SECRET", 2}};
  for (const Case& c : cases) {
    const CheckOutCall r = CheckOut("SCANHOST", c.password);
    EXPECT_EQ(r.status, c.status) << c.password;
    if (c.status == 2) {
      EXPECT_EQ(r.result, 0);
      EXPECT_EQ(Text(r.message), "Wrong password.");
    }
  }
  // The scanner is held now; a caller with a wrong password still learns
  // only that the password is wrong.
  Client b;
  b.Use();
  const CheckOutCall wrong = CheckOut("OTHERPC", "guess");
  EXPECT_EQ(wrong.status, 2);
  EXPECT_EQ(Text(wrong.message), "Wrong password.");
  // Check-out by identifier needs a password, so it is refused here.
  std::string id = "WB-FLATBED-01";
  EXPECT_EQ(RemoteCheckOutScannerWithID(0, reinterpret_cast<unsigned char*>(id.data())), 0);
}

TEST_F(ServiceTest, CheckOutTextsWithoutTheirNulAreRefusedAsInvalid) {
  StartService();
  Client a;
  a.Use();
  std::string name = "SCANHOST";  // no NUL within the size
  std::string pass = std::string("pw\0", 3);
  std::string message(64, '\0');
  LONG status = 0;
  EXPECT_EQ(RemoteCheckOutScanner(0, reinterpret_cast<unsigned char*>(name.data()), static_cast<ULONG>(name.size()),
                                  reinterpret_cast<unsigned char*>(pass.data()), 3,
                                  reinterpret_cast<unsigned char*>(message.data()), 64, &status),
            0);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(Text(message), "Invalid check-out request.");
  name = std::string("SCANHOST\0", 9);
  pass = "pw";  // no NUL
  EXPECT_EQ(RemoteCheckOutScanner(0, reinterpret_cast<unsigned char*>(name.data()), 9,
                                  reinterpret_cast<unsigned char*>(pass.data()), 2,
                                  reinterpret_cast<unsigned char*>(message.data()), 64, &status),
            0);
  EXPECT_EQ(status, 3);
  EXPECT_EQ(CheckOut("", "").status, 3) << "an empty computer name";
  EXPECT_FALSE(impl().State().held);
}

TEST_F(ServiceTest, CheckOutWithIdGrantsOnlyTheRightIdWhileFreeOrHeldByTheCaller) {
  scansvc::ServiceOptions o;
  o.scannerId = "SCAN-7";
  StartService(o);
  Client a;
  a.Use();
  std::string wrong = "SCAN-8", empty = "", right = "SCAN-7";
  EXPECT_EQ(RemoteCheckOutScannerWithID(0, reinterpret_cast<unsigned char*>(wrong.data())), 0);
  EXPECT_EQ(RemoteCheckOutScannerWithID(0, reinterpret_cast<unsigned char*>(empty.data())), 0);
  const LONG session = RemoteCheckOutScannerWithID(0, reinterpret_cast<unsigned char*>(right.data()));
  EXPECT_GT(session, 0);
  EXPECT_EQ(RemoteCheckOutScannerWithID(0, reinterpret_cast<unsigned char*>(right.data())), session);
  EXPECT_EQ(Command("SCAN"), 4) << "the holder by identifier may scan";
  // A caller at another address gets nothing while the scanner is held.
  scansvc::Caller elsewhere{999, "192.0.2.7", 1000};
  EXPECT_EQ(impl().CheckOutWithId(elsewhere, 0, "SCAN-7"), 0);
  const auto refused = impl().CheckOut(elsewhere, 0, std::string("FARPC\0", 6), std::string("\0", 1), 64);
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(Text(refused.message), "The scanner is checked out by 127.0.0.1.") << "no name: the address";
}

TEST_F(ServiceTest, HolderWhoseConnectionsAllCloseLosesTheScanner) {
  StartService();
  auto a = std::make_unique<Client>();
  Client b;
  a->Use();
  ASSERT_EQ(CheckOut("SCANHOST", "").status, 0);
  // Several connections of the holder at once: threads calling together.
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([] {
      for (int k = 0; k < 5; ++k) EXPECT_EQ(Command("RESOLUTION 100"), 14);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_GE(impl().State().holderConnections, 1u);
  b.Use();
  EXPECT_EQ(CheckOut("OTHERPC", "").status, 1);

  a.reset();  // the client goes away with all its connections
  EXPECT_TRUE(Eventually([&] { return !impl().State().held; }));
  b.Use();
  EXPECT_EQ(CheckOut("OTHERPC", "").status, 0);
  bool logged = false;
  for (const std::string& line : Log()) logged |= line.find("all its connections closed") != std::string::npos;
  EXPECT_TRUE(logged);
}

TEST_F(ServiceTest, CheckOutNobodyUsesEndsAfterTheLease) {
  std::atomic<int64_t> seconds{0};
  scansvc::ServiceOptions o;
  o.lease = std::chrono::seconds(300);
  StartService(o, "127.0.0.1", [&] { return std::chrono::steady_clock::time_point(std::chrono::seconds(seconds.load())); });
  Client a;
  a.Use();
  ASSERT_EQ(CheckOut("SCANHOST", "").status, 0);
  seconds = 299;
  EXPECT_EQ(Command("SCAN"), 4) << "in time; the use renews the lease";
  seconds = 299 + 299;
  EXPECT_TRUE(impl().State().held);
  seconds = 299 + 300;
  EXPECT_EQ(Command("SCAN"), -2);
  BYTE buf[16];
  EXPECT_EQ(RemoteReadFromScanner(buf, sizeof buf, 0), -2);
  EXPECT_FALSE(impl().State().held);
}

// The P6 header: width, height and the offset of the first pixel.
bool ParseP6(const std::string& image, int* width, int* height, size_t* offset) {
  std::istringstream in(image);
  std::string magic;
  int maxval = 0;
  if (!(in >> magic >> *width >> *height >> maxval) || magic != "P6" || maxval != 255) return false;
  *offset = static_cast<size_t>(in.tellg()) + 1;  // one whitespace character after maxval
  return true;
}

TEST_F(ServiceTest, ScannedPageReadInChunksIsTheWholeP6Image) {
  StartService();
  Client a;
  a.Use();
  ASSERT_EQ(CheckOut("SCANHOST", "").status, 0);
  BYTE probe[8];
  EXPECT_EQ(RemoteReadFromScanner(probe, sizeof probe, 0), 0) << "no scan yet";
  ASSERT_EQ(Command("SCAN"), 4);

  // Chunks that do not divide the page, both reading procedures in turn.
  const ULONG chunk = 100003;
  std::vector<BYTE> buf(chunk);
  std::string image;
  LONG n = 0;
  for (int i = 0; i < 1000; ++i) {
    memset(buf.data(), 0xee, buf.size());
    n = i % 2 ? RemoteReadBufferFromScanner(buf.data(), chunk, static_cast<BYTE>(i))
              : RemoteReadFromScanner(buf.data(), chunk, i);
    ASSERT_GE(n, 0);
    ASSERT_LE(n, static_cast<LONG>(chunk));
    for (ULONG k = static_cast<ULONG>(n); k < chunk; ++k) ASSERT_EQ(buf[k], 0) << "the rest is zero";
    if (n == 0) break;
    image.append(reinterpret_cast<const char*>(buf.data()), n);
  }
  ASSERT_EQ(n, 0);
  int w = 0, h = 0;
  size_t offset = 0;
  ASSERT_TRUE(ParseP6(image, &w, &h, &offset));
  EXPECT_EQ(w, 850);
  EXPECT_EQ(h, 1100);
  ASSERT_EQ(image.size(), offset + 850u * 1100u * 3u);
  EXPECT_EQ(image, scansvc::GenerateTestChart(100));
  auto pixel = [&](int x, int y) {
    const size_t i = offset + (static_cast<size_t>(y) * w + x) * 3;
    return std::string(image, i, 3);
  };
  EXPECT_EQ(pixel(0, 0), std::string(3, '\0')) << "the frame";
  EXPECT_EQ(pixel(w / 2, h / 2 + h / 3 + 5).size(), 3u);
  // The grey ramp grows lighter to the right.
  const int rampY = w / 17 + 5;
  EXPECT_LT(static_cast<unsigned char>(pixel(w / 17 + 2, rampY)[0]), static_cast<unsigned char>(pixel(w - w / 17 - 2, rampY)[0]));
  EXPECT_EQ(RemoteReadFromScanner(probe, sizeof probe, 0), 0) << "the page is done";

  // Another resolution, another page size; RESET brings back the default.
  ASSERT_EQ(Command("RESOLUTION 50"), 13);
  ASSERT_EQ(Command("SCAN"), 4);
  std::vector<BYTE> whole(1 << 20);
  const LONG got = RemoteReadFromScanner(whole.data(), static_cast<ULONG>(whole.size()), 0);
  const std::string small(reinterpret_cast<const char*>(whole.data()), got);
  ASSERT_TRUE(ParseP6(small, &w, &h, &offset));
  EXPECT_EQ(w, 425);
  EXPECT_EQ(h, 550);
  EXPECT_EQ(small.size(), offset + 425u * 550u * 3u);
  ASSERT_EQ(Command("RESET"), 5);
  EXPECT_EQ(RemoteReadFromScanner(probe, sizeof probe, 0), 0) << "RESET drops the page";
  EXPECT_EQ(impl().State().dpi, 100);
}

TEST_F(ServiceTest, CommandsAreCheckedAndOnlyTheHolderMayUseTheScanner) {
  StartService();
  Client a;
  a.Use();
  BYTE buf[32];
  EXPECT_EQ(Command("SCAN"), -2) << "not checked out";
  EXPECT_EQ(RemoteReadFromScanner(buf, sizeof buf, 0), -2);
  EXPECT_EQ(RemoteReadBufferFromScanner(buf, sizeof buf, 0), -2);
  EXPECT_EQ(RemoteReturnScanner(0), 0);
  ASSERT_EQ(CheckOut("SCANHOST", "").status, 0);
  struct Case {
    std::string text;
    LONG result;  // 0: accepted, the size comes back
  } cases[] = {
      {"SCAN", 0},          {"scan\r\n", 0},        {std::string("SCAN\0", 5), 0}, {"RESOLUTION 300", 0},
      {"RESOLUTION  75", 0}, {"RESET", 0},          {"RESOLUTION 49", -1},         {"RESOLUTION 301", -1},
      {"RESOLUTION", -1},    {"RESOLUTION x1", -1}, {"RESOLUTION 100 2", -1},      {"RESOLUTION 99999999999", -1},
      {"SCAN NOW", -1},      {"FEED", -1},          {"", -1},                      {std::string("SC\0AN", 5), -1},
      {"\x01\x02\xff", -1},  {"   ", -1},
  };
  for (const Case& c : cases) {
    std::string buffer = c.text;
    const LONG expected = c.result == 0 ? static_cast<LONG>(c.text.size()) : c.result;
    EXPECT_EQ(RemoteWriteToScanner(reinterpret_cast<BYTE*>(buffer.data()), static_cast<ULONG>(buffer.size())), expected)
        << "'" << c.text << "'";
    EXPECT_EQ(RemoteWriteBufferToScanner(reinterpret_cast<BYTE*>(buffer.data()), static_cast<ULONG>(buffer.size())),
              expected)
        << "'" << c.text << "'";
  }
  // Refresh discards the unread page; it answers 1 in any case.
  ASSERT_EQ(Command("SCAN"), 4);
  EXPECT_TRUE(impl().State().pagePending);
  EXPECT_EQ(RemoteRefreshScanner(), 1);
  EXPECT_EQ(RemoteReadFromScanner(buf, sizeof buf, 0), 0);
  EXPECT_EQ(RemoteReturnScanner(7), 1);
  EXPECT_EQ(RemoteRefreshScanner(), 1);
}

TEST_F(ServiceTest, ButtonSetsPushAndClearPushReportsItOnce) {
  StartService();
  Client a;
  a.Use();
  EXPECT_EQ(RemoteClearPush(), 0);
  impl().PressButton();  // what the daemon does on SIGUSR1
  impl().PressButton();
  EXPECT_EQ(RemoteClearPush(), 1);
  EXPECT_EQ(RemoteClearPush(), 0);
}

TEST_F(ServiceTest, IdentifierValueAndTheProceduresWithoutArguments) {
  StartService();
  Client a;
  a.Use();
  const std::u16string id = u"WB-FLATBED-01";
  for (ULONG size : {0u, 1u, 5u, 13u, 14u, 40u}) {
    std::u16string buf(size, u'#');
    EXPECT_EQ(RemoteGetScannerID(reinterpret_cast<WCHAR*>(buf.data()), size), 13) << size;
    std::u16string want = id.substr(0, std::min<size_t>(size, id.size()));
    want.resize(size, u'\0');
    EXPECT_EQ(buf, want) << size;
  }
  for (LONG v : {0, -1, 42, 0x7fffffff}) EXPECT_EQ(RemoteSendValue(v), v);
  EXPECT_EQ(RemoteSetCurrentScannerFromSTILaunchInfo(), 0);
  EXPECT_EQ(StatusOf([] { RemotePreFreeLibrary(); }), 0);
  bool logged = false;
  for (const std::string& line : Log()) logged |= line.find("RemotePreFreeLibrary() -> done") != std::string::npos;
  EXPECT_TRUE(logged);
}

TEST_F(ServiceTest, MalformedRequestsGetFaultsAndTheServiceCarriesOn) {
  StartService();
  Client a;
  a.Use();
  using namespace scanner_wire;
  auto withGarbage = [](std::string s) { return s + std::string(8, '\x5a'); };
  std::string checkOut = EncodeCheckOutRequest(0, reinterpret_cast<const unsigned char*>("PC\0"), 3,
                                               reinterpret_cast<const unsigned char*>("\0"), 1,
                                               reinterpret_cast<const unsigned char*>("\0\0\0\0"), 4, 0);
  std::string badSize = checkOut;
  badSize[12] = 9;  // computerNameSize no longer matches the count
  std::string idNoNul = EncodeValueRequest(0) + std::string("\x02\0\0\0\0\0\0\0\x02\0\0\0AB", 14);
  std::string idTooLong = EncodeValueRequest(0) + std::string("\x02\0\0\0\0\0\0\0\x09\0\0\0AB", 14);
  struct Case {
    uint16_t opnum;
    std::string stub;
    RPC_STATUS status;
  } cases[] = {
      {kCheckOutScanner, "", RPC_X_BAD_STUB_DATA},
      {kCheckOutScanner, checkOut.substr(0, checkOut.size() - 1), RPC_X_BAD_STUB_DATA},
      {kCheckOutScanner, badSize, RPC_X_BAD_STUB_DATA},
      {kCheckOutScanner, withGarbage(checkOut), RPC_X_BAD_STUB_DATA},
      {kCheckOutScannerWithID, idNoNul, RPC_X_BAD_STUB_DATA},
      {kCheckOutScannerWithID, idTooLong, RPC_X_BAD_STUB_DATA},
      {kGetScannerID, "\x01\x00", RPC_X_BAD_STUB_DATA},
      {kGetScannerID, EncodeSizeRequest(0xffffffffu), RPC_S_INVALID_BOUND},
      {kSendValue, "", RPC_X_BAD_STUB_DATA},
      {kClearPush, withGarbage(""), RPC_X_BAD_STUB_DATA},
      {kReadFromScanner, EncodeSizeRequest(16), RPC_X_BAD_STUB_DATA},
      {kReadFromScanner, EncodeReadRequest(scansvc::kMaxTransfer + 1, 0), RPC_S_INVALID_BOUND},
      {kReadBufferFromScanner, EncodeReadBufferRequest(0x7fffffffu, 0), RPC_S_INVALID_BOUND},
      {kReadBufferFromScanner, EncodeSizeRequest(16), RPC_X_BAD_STUB_DATA},
      {kWriteToScanner, std::string("\x40\0\0\0SCAN", 8), RPC_X_BAD_STUB_DATA},
      {kWriteBufferToScanner, std::string("\x04\0\0\0SCAN\x05\0\0\0", 12), RPC_X_BAD_STUB_DATA},
      {kReturnScanner, "\x01", RPC_X_BAD_STUB_DATA},
      {kRefreshScanner, withGarbage(""), RPC_X_BAD_STUB_DATA},
      {kSetCurrentScannerFromSTILaunchInfo, withGarbage(""), RPC_X_BAD_STUB_DATA},
      {kPreFreeLibrary, withGarbage(""), RPC_X_BAD_STUB_DATA},
      {kOpnumCount, "", RPC_S_PROCNUM_OUT_OF_RANGE},
  };
  for (const Case& c : cases) {
    wbrpc::RpcReply reply;
    EXPECT_EQ(StatusOf([&] {
                wbrpc::WireCall(hScannerBinding, ScannerServiceInterface(), c.opnum, c.stub, 1 << 20, &reply);
              }),
              c.status)
        << "opnum " << c.opnum << " stub of " << c.stub.size();
  }
  // The well-formed request of the table is answered.
  wbrpc::RpcReply reply;
  EXPECT_EQ(StatusOf([&] { wbrpc::WireCall(hScannerBinding, ScannerServiceInterface(), kCheckOutScanner, checkOut, 1 << 20, &reply); }), 0);
  EXPECT_EQ(RemoteSendValue(5), 5);
  EXPECT_TRUE(impl().State().held);
}

TEST_F(ServiceTest, ManyClientsAtOnceWhileOneHoldsTheScanner) {
  StartService();
  Client a;
  a.Use();
  ASSERT_EQ(CheckOut("SCANHOST", "").status, 0);
  ASSERT_EQ(Command("SCAN"), 4);
  std::atomic<long> bytes{0};
  std::vector<std::thread> threads;
  threads.emplace_back([&] {
    std::vector<BYTE> buf(65536);
    for (int i = 0; i < 1000; ++i) {
      const LONG n = RemoteReadFromScanner(buf.data(), static_cast<ULONG>(buf.size()), 0);
      EXPECT_GE(n, 0);
      if (n <= 0) break;
      bytes += n;
    }
  });
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(RemoteSendValue(t * 100 + i), t * 100 + i);
        EXPECT_EQ(CheckOut("PC" + std::to_string(t), "").status, 1);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(bytes.load(), static_cast<long>(scansvc::GenerateTestChart(100).size()));
}

TEST_F(ServiceTest, ServesOverIpv6Loopback) {
  scansvc::ServerOptions o;
  o.address = "::1";
  o.epmapPort = 0;
  {
    scansvc::ScanServer probe(o);
    std::string error;
    if (!probe.Start(&error)) GTEST_SKIP() << "no IPv6 loopback here";
  }
  StartService({}, "::1");
  auto* binding = new RpcBinding();
  binding->protseq = "ncacn_ip_tcp";
  binding->networkAddress = "::1";
  Client a(binding);
  a.Use();
  const CheckOutCall c = CheckOut("V6HOST", "");
  EXPECT_EQ(c.status, 0);
  EXPECT_EQ(impl().State().holderAddress, "::1");
}

}  // namespace
}  // namespace scansvc_test
