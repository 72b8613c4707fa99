// The stub data of every ScannerService procedure, octet by octet, both as
// the codec produces it and as it reaches a server through the client stubs;
// and the decoding of replies, in our data representation and in others.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "scanner_test_service.h"
#include "test_util.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_client.h"
#include "wbremote/rpc/scanner_service_codec.h"

using namespace scanner_wire;
using wbtest::Hex;
using wbtest::ToHex;

namespace {

struct GoldenRequest {
  const char* name;
  std::string bytes;
  std::string golden;
};

unsigned char kName[] = "PC";
unsigned char kPassword[] = "abc";
unsigned char kEmpty[] = "";
BYTE kFive[] = {1, 2, 3, 4, 5};

TEST(ScannerGolden, RequestStubData) {
  const unsigned char message[5] = {'h', 'e', 'l', 'l', 'o'};
  const GoldenRequest cases[] = {
      {"check-out", EncodeCheckOutRequest(7, kName, 3, kPassword, 4, message, 5, -1),
       "07000000 03000000 504300 00 03000000 04000000 61626300 04000000 05000000 68656c6c6f 000000 "
       "05000000 ffffffff"},
      {"check-out, sizes 0", EncodeCheckOutRequest(1, kName, 0, kPassword, 0, message, 0, 0),
       "01000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"},
      {"with ID, empty", EncodeCheckOutWithIdRequest(1, kEmpty), "01000000 01000000 00000000 01000000 00"},
      {"with ID", EncodeCheckOutWithIdRequest(-5, kName), "fbffffff 03000000 00000000 03000000 504300"},
      {"get ID", EncodeSizeRequest(10), "0a000000"},
      {"send value", EncodeValueRequest(-2), "feffffff"},
      {"read", EncodeReadRequest(0x10, 3), "10000000 03000000"},
      {"read, size 0", EncodeReadRequest(0, 0), "00000000 00000000"},
      {"write 5", EncodeWriteRequest(kFive, 5), "05000000 0102030405 000000 05000000"},
      {"write 0", EncodeWriteRequest(kFive, 0), "00000000 00000000"},
      {"return", EncodeValueRequest(0x01020304), "04030201"},
      {"read buffer 100", EncodeReadBufferRequest(100, 0xff), "64000000 ff"},
  };
  for (const auto& c : cases) EXPECT_EQ(ToHex(c.bytes), ToHex(Hex(c.golden))) << c.name;
  EXPECT_EQ(EncodeWriteRequest(kFive, 5).size(), 16u);
  EXPECT_EQ(EncodeReadBufferRequest(100, 1).size(), 5u);
}

wbrpc::RpcReply Reply(const std::string& hex, bool bigEndian = false, bool ebcdic = false) {
  wbrpc::RpcReply r;
  r.stub = Hex(hex);
  r.rep.bigEndian = bigEndian;
  r.rep.ebcdic = ebcdic;
  return r;
}

TEST(ScannerGolden, CheckOutReply) {
  CheckOutReply out;
  ASSERT_TRUE(DecodeCheckOutReply(Reply("05000000 776f726c64 000000 02000000 2a000000"), 5, &out));
  EXPECT_EQ(out.message, "world");
  EXPECT_EQ(out.status, 2);
  EXPECT_EQ(out.result, 42);
  // Big-endian integers and EBCDIC characters from another kind of peer.
  ASSERT_TRUE(DecodeCheckOutReply(Reply("00000005 a696999384 000000 00000002 ffffffd6", true, true), 5, &out));
  EXPECT_EQ(out.message, "world");
  EXPECT_EQ(out.status, 2);
  EXPECT_EQ(out.result, -42);
  // The count must be the size sent; the reply must hold everything.
  EXPECT_FALSE(DecodeCheckOutReply(Reply("04000000 776f726c 02000000 2a000000"), 5, &out));
  EXPECT_FALSE(DecodeCheckOutReply(Reply("05000000 776f726c64 000000 02000000"), 5, &out));
}

TEST(ScannerGolden, ScannerIdReply) {
  std::u16string id;
  LONG result = 0;
  // idSize 10: 20 octets of characters after the count.
  const std::string chars = "4900 4400 3000 3100 3200 3300 3400 3500 3600 3700";
  ASSERT_TRUE(DecodeScannerIdReply(Reply("0a000000 " + chars + " 07000000"), 10, &id, &result));
  EXPECT_EQ(id, u"ID01234567");
  EXPECT_EQ(result, 7);
  const std::string charsBe = "0049 0044 0030 0031 0032 0033 0034 0035 0036 0037";
  ASSERT_TRUE(DecodeScannerIdReply(Reply("0000000a " + charsBe + " 00000007", true), 10, &id, &result));
  EXPECT_EQ(id, u"ID01234567");
  EXPECT_EQ(result, 7);
  // Three characters: two octets of padding before the result.
  ASSERT_TRUE(DecodeScannerIdReply(Reply("03000000 410042004300 0000 01000000"), 3, &id, &result));
  EXPECT_EQ(id, u"ABC");
  EXPECT_FALSE(DecodeScannerIdReply(Reply("0b000000 " + chars + " 0000 07000000"), 10, &id, &result));
}

TEST(ScannerGolden, BytesReply) {
  const uint8_t* data = nullptr;
  LONG result = 0;
  // Size 0: the count 0 followed directly by the result.
  ASSERT_TRUE(DecodeBytesReply(Reply("00000000 07000000"), 0, &data, &result));
  EXPECT_EQ(result, 7);
  // data points into the reply, which must outlive it.
  const wbrpc::RpcReply le = Reply("03000000 aabbcc 00 2a000000");
  ASSERT_TRUE(DecodeBytesReply(le, 3, &data, &result));
  EXPECT_EQ(memcmp(data, "\xaa\xbb\xcc", 3), 0);
  EXPECT_EQ(result, 42);
  // Bytes are never converted, even from an EBCDIC peer.
  const wbrpc::RpcReply be = Reply("00000003 aabbcc 00 0000002a", true, true);
  ASSERT_TRUE(DecodeBytesReply(be, 3, &data, &result));
  EXPECT_EQ(memcmp(data, "\xaa\xbb\xcc", 3), 0);
  EXPECT_EQ(result, 42);
  const char* bad[] = {
      "04000000 aabbccdd 2a000000",  // count differs from the size sent
      "02000000 aabb 0000 2a000000",
      "03000000 aabbcc",             // truncated before the result
      "03000000 aabb",               // truncated inside the array
      "",
      "03000000 aabbcc 00 2a000000 0000000000000000",  // longer than any padding
  };
  for (const char* b : bad) EXPECT_FALSE(DecodeBytesReply(Reply(b), 3, &data, &result)) << b;
}

TEST(ScannerGolden, ResultAndEmptyReplies) {
  LONG result = 0;
  ASSERT_TRUE(DecodeResultReply(Reply("9cffffff"), &result));
  EXPECT_EQ(result, -100);
  ASSERT_TRUE(DecodeResultReply(Reply("ffffff9c", true), &result));
  EXPECT_EQ(result, -100);
  EXPECT_FALSE(DecodeResultReply(Reply("9cffff"), &result));
  EXPECT_TRUE(DecodeEmptyReply(Reply("")));
  EXPECT_FALSE(DecodeEmptyReply(Reply("01000000 00000000")));
}

// Through the stubs: what the server receives is the golden stub data, and
// what it sends back arrives in the caller's memory.
class StubsEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(service_.Start());
    epmap_ = std::make_unique<wbtest::EpmapPortScope>(service_.mapperPort());
    binding_.reset(wbtest::ScannerTestService::NewBinding());
    hScannerBinding = binding_.get();
  }
  void TearDown() override { hScannerBinding = nullptr; }
  std::string LastRequest(uint16_t op) {
    for (const auto& r : service_.requests()) {
      if (r.first == op) last_ = r.second;
    }
    return ToHex(last_);
  }

  wbtest::ScannerTestService service_;
  std::unique_ptr<wbtest::EpmapPortScope> epmap_;
  std::unique_ptr<RpcBinding> binding_;
  std::string last_;
};

TEST_F(StubsEndToEnd, EveryProcedure) {
  unsigned char message[5] = {'h', 'e', 'l', 'l', 'o'};
  LONG status = -1;
  EXPECT_EQ(RemoteCheckOutScanner(7, kName, 3, kPassword, 4, message, 5, &status), 1007);
  EXPECT_EQ(memcmp(message, "olleh", 5), 0);
  EXPECT_EQ(status, 8);
  EXPECT_EQ(LastRequest(kCheckOutScanner),
            ToHex(Hex("07000000 03000000 504300 00 03000000 04000000 61626300 04000000 05000000 68656c6c6f "
                      "000000 05000000 ffffffff")));

  EXPECT_EQ(RemoteCheckOutScannerWithID(1, kEmpty), 0);
  EXPECT_EQ(LastRequest(kCheckOutScannerWithID), ToHex(Hex("01000000 01000000 00000000 01000000 00")));

  WCHAR id[12];
  for (WCHAR& c : id) c = u'#';
  EXPECT_EQ(RemoteGetScannerID(id, 10), 200);
  EXPECT_EQ(std::u16string(id, 10), u"ID01234567");
  EXPECT_EQ(id[10], u'#');  // nothing beyond idSize
  EXPECT_EQ(LastRequest(kGetScannerID), "0a 00 00 00");

  EXPECT_EQ(RemoteSendValue(5), 305);
  EXPECT_EQ(RemoteClearPush(), 400);
  EXPECT_EQ(LastRequest(kClearPush), "");

  BYTE buf[20];
  memset(buf, 0xee, sizeof buf);
  EXPECT_EQ(RemoteReadFromScanner(buf, 16, 3), 500);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 16), wbtest::ExpectedReadData(16, 3));
  EXPECT_EQ(buf[16], 0xee);
  EXPECT_EQ(RemoteReadFromScanner(buf, 0, 3), 500);

  EXPECT_EQ(RemoteWriteToScanner(kFive, 5), 15);
  EXPECT_EQ(LastRequest(kWriteToScanner), ToHex(Hex("05000000 0102030405 000000 05000000")));
  EXPECT_EQ(RemoteReturnScanner(2), 702);
  EXPECT_EQ(RemoteRefreshScanner(), 800);

  BYTE big[100];
  EXPECT_EQ(RemoteReadBufferFromScanner(big, 100, 0xff), 900);
  EXPECT_EQ(LastRequest(kReadBufferFromScanner), "64 00 00 00 ff");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(big), 100), wbtest::ExpectedReadData(100, 0xff));

  EXPECT_EQ(RemoteWriteBufferToScanner(kFive, 3), 6);
  EXPECT_EQ(RemoteSetCurrentScannerFromSTILaunchInfo(), 1100);
  RemotePreFreeLibrary();
  EXPECT_EQ(LastRequest(kPreFreeLibrary), "");

  // Every call went out once, in operation order as called.
  std::vector<uint16_t> ops;
  for (const auto& r : service_.requests()) ops.push_back(r.first);
  EXPECT_EQ(ops, (std::vector<uint16_t>{0, 1, 2, 3, 4, 5, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST_F(StubsEndToEnd, LargeTransfersAreFragmentedBothWays) {
  std::string data(200000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31);
  LONG sum = 0;
  for (unsigned char c : data) sum += c;
  EXPECT_EQ(RemoteWriteToScanner(reinterpret_cast<BYTE*>(data.data()), static_cast<ULONG>(data.size())), sum);
  std::string in(300000, '\0');
  EXPECT_EQ(RemoteReadFromScanner(reinterpret_cast<BYTE*>(in.data()), 300000, 9), 500);
  EXPECT_EQ(in, wbtest::ExpectedReadData(300000, 9));
}

TEST_F(StubsEndToEnd, UnsetBindingRaisesBeforeSendingAndLeavesMemory) {
  hScannerBinding = nullptr;
  BYTE buf[4] = {1, 2, 3, 4};
  EXPECT_EQ(wbtest::StatusOf([&] { RemoteReadFromScanner(buf, 4, 0); }), RPC_S_INVALID_BINDING);
  EXPECT_EQ(wbtest::StatusOf([&] { RemotePreFreeLibrary(); }), RPC_S_INVALID_BINDING);
  EXPECT_EQ(wbtest::StatusOf([&] { RemoteClearPush(); }), RPC_S_INVALID_BINDING);
  EXPECT_EQ(memcmp(buf, "\x01\x02\x03\x04", 4), 0);
  EXPECT_TRUE(service_.requests().empty());
}

TEST_F(StubsEndToEnd, NullReferencePointerRaisesBeforeSending) {
  EXPECT_EQ(wbtest::StatusOf([&] { RemoteReadFromScanner(nullptr, 4, 0); }), RPC_X_NULL_REF_POINTER);
  EXPECT_EQ(wbtest::StatusOf([&] { RemoteCheckOutScannerWithID(0, nullptr); }), RPC_X_NULL_REF_POINTER);
  EXPECT_TRUE(service_.requests().empty());
}

}  // namespace
