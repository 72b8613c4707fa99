// The client runtime against a scripted server that does what a
// well-behaved one never does: fragments oddly, answers in another data
// representation, faults, refuses the bind, sends wrong counts, truncates,
// closes in the middle or never answers. Each case checks the status the
// call raises and that the caller's memory is untouched on failure.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/rpc/association.h"
#include "platform/rpc/nca_status.h"
#include "raw_pdu_server.h"
#include "scanner_test_service.h"
#include "test_util.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_client.h"

using wbtest::Hex;
using wbtest::MakeResponse;
using wbtest::RawConn;
using wbtest::RawPduServer;

namespace {

using Responder = std::function<void(RawConn&, uint16_t opnum, const std::string& stub)>;

// Accepts the bind with the given limits, then answers every request.
RawPduServer::Script ServeCalls(Responder respond, uint16_t maxXmit = wbrpc::kDefaultMaxFrag,
                                uint16_t maxRecv = wbrpc::kDefaultMaxFrag) {
  return [=](RawConn& c) {
    if (!c.AcceptBind(maxXmit, maxRecv)) return;
    std::string stub;
    uint16_t opnum = 0;
    while (c.ReadRequest(&stub, nullptr, &opnum)) respond(c, opnum, stub);
  };
}

class MisbehavingServer : public ::testing::Test {
 protected:
  void Use(RawPduServer::Script script) {
    server_ = std::make_unique<RawPduServer>(std::move(script));
    ASSERT_TRUE(server_->ok());
    binding_.reset(wbtest::ScannerTestService::NewBinding("127.0.0.1", server_->endpoint()));
    hScannerBinding = binding_.get();
  }
  void TearDown() override {
    hScannerBinding = nullptr;
    binding_.reset();  // closes pooled connections, so scripts end
    server_.reset();
    wbrpc::SetWireTimeouts(wbrpc::WireTimeouts());
  }
  RPC_STATUS Read(BYTE* buf, ULONG size, LONG* result = nullptr) {
    return wbtest::StatusOf([&] {
      const LONG r = RemoteReadFromScanner(buf, size, 0);
      if (result) *result = r;
    });
  }

  std::unique_ptr<RawPduServer> server_;
  std::unique_ptr<RpcBinding> binding_;
};

TEST_F(MisbehavingServer, FragmentsBothWaysUnderTheServersLimits) {
  // The server receives at most 256 octets a fragment and sends at most 128.
  std::vector<wbtest::RawPdu> requestFragments;
  std::mutex m;
  Use([&](RawConn& c) {
    if (!c.AcceptBind(128, 256)) return;
    std::string stub;
    std::vector<wbtest::RawPdu> frags;
    if (!c.ReadRequest(&stub, &frags)) return;
    {
      std::lock_guard<std::mutex> lock(m);
      requestFragments = frags;
    }
    c.Send(MakeResponse(c.lastCallId, Hex("00000000")));  // write result 0
    if (!c.ReadRequest(&stub)) return;
    // 300 octets of data and the result in fragments of 100 stub octets.
    std::string reply = Hex("2c010000") + std::string(300, 'x') + Hex("05000000");
    for (size_t off = 0; off < reply.size(); off += 100) {
      const uint8_t flags = (off == 0 ? 1 : 0) | (off + 100 >= reply.size() ? 2 : 0);
      c.Send(MakeResponse(c.lastCallId, reply.substr(off, 100), flags));
    }
  });
  std::string data(1000, 'd');
  EXPECT_EQ(RemoteWriteToScanner(reinterpret_cast<BYTE*>(data.data()), 1000), 0);
  {
    std::lock_guard<std::mutex> lock(m);
    ASSERT_GT(requestFragments.size(), 4u);
    size_t total = 0;
    for (size_t i = 0; i < requestFragments.size(); ++i) {
      const auto& f = requestFragments[i];
      EXPECT_LE(f.header.fragLength, 256);
      EXPECT_EQ((f.header.flags & wbrpc::kPfcFirstFrag) != 0, i == 0);
      EXPECT_EQ((f.header.flags & wbrpc::kPfcLastFrag) != 0, i + 1 == requestFragments.size());
      const size_t stub = f.header.fragLength - wbrpc::kRequestHeaderSize;
      if (i + 1 < requestFragments.size()) {
        EXPECT_EQ(stub % 8, 0u);
      }
      total += stub;
    }
    EXPECT_EQ(total, 1008u);  // count, 1000 octets, size
  }
  std::string in(300, '\0');
  LONG result = 0;
  EXPECT_EQ(Read(reinterpret_cast<BYTE*>(in.data()), 300, &result), 0);
  EXPECT_EQ(in, std::string(300, 'x'));
  EXPECT_EQ(result, 5);
}

TEST_F(MisbehavingServer, FragmentLongerThanTheServerSaidItSendsIsAProtocolError) {
  Use(ServeCalls([](RawConn& c, uint16_t, const std::string&) {
    c.Send(MakeResponse(c.lastCallId, Hex("c8000000") + std::string(200, 'x') + Hex("05000000")));
  }, 128, 5840));
  std::string in(200, '\0');
  EXPECT_EQ(Read(reinterpret_cast<BYTE*>(in.data()), 200), RPC_S_PROTOCOL_ERROR);
  EXPECT_EQ(in, std::string(200, '\0'));
}

TEST_F(MisbehavingServer, BigEndianAndEbcdicRepliesAreConverted) {
  Use(ServeCalls([](RawConn& c, uint16_t opnum, const std::string&) {
    if (opnum == scanner_wire::kCheckOutScanner) {
      // "world" in EBCDIC, split over two fragments, big-endian throughout.
      c.Send(MakeResponse(c.lastCallId, Hex("00000005 a696"), 1, true, true));
      c.Send(MakeResponse(c.lastCallId, Hex("999384 000000 00000003 fffffffe"), 2, true, true));
    } else if (opnum == scanner_wire::kGetScannerID) {
      c.Send(MakeResponse(c.lastCallId, Hex("00000003 0041 0042 0043 0000 00000009"), 3, true));
    } else {
      c.Send(MakeResponse(c.lastCallId, Hex("00000004 01020304 12345678"), 3, true));
    }
  }));
  unsigned char name[] = "PC", pw[] = "x";
  unsigned char message[5] = {};
  LONG status = 0;
  EXPECT_EQ(RemoteCheckOutScanner(1, name, 3, pw, 2, message, 5, &status), -2);
  EXPECT_EQ(memcmp(message, "world", 5), 0);
  EXPECT_EQ(status, 3);
  WCHAR id[3];
  EXPECT_EQ(RemoteGetScannerID(id, 3), 9);
  EXPECT_EQ(std::u16string(id, 3), u"ABC");
  BYTE buf[4];
  LONG result = 0;
  EXPECT_EQ(Read(buf, 4, &result), 0);
  EXPECT_EQ(result, 0x12345678);
  EXPECT_EQ(memcmp(buf, "\x01\x02\x03\x04", 4), 0);
}

TEST_F(MisbehavingServer, FaultStatusesAreMappedAndTheConnectionStaysUsable) {
  struct Case {
    uint32_t sent;
    RPC_STATUS expected;
  };
  const Case cases[] = {
      {wbrpc::kNcaOpRangeError, RPC_S_PROCNUM_OUT_OF_RANGE},
      {wbrpc::kNcaUnknownInterface, RPC_S_UNKNOWN_IF},
      {wbrpc::kNcaProtoError, RPC_S_PROTOCOL_ERROR},
      {wbrpc::kNcaServerTooBusy, RPC_S_SERVER_TOO_BUSY},
      {0x1c000001, RPC_S_ZERO_DIVIDE},
      {0x1c00000d, RPC_S_CALL_CANCELLED},
      {wbrpc::kNcaFaultUnspec, RPC_S_CALL_FAILED},
      {0x1c0000ff, RPC_S_CALL_FAILED},  // an NCA code without a meaning of its own
      {RPC_X_BAD_STUB_DATA, RPC_X_BAD_STUB_DATA},  // platform codes pass through
      {5, 5},
      {0, RPC_S_CALL_FAILED},
  };
  std::atomic<size_t> next{0};
  Use(ServeCalls([&](RawConn& c, uint16_t, const std::string&) {
    c.Send(wbrpc::EncodeFault(c.lastCallId, 3, cases[next++].sent));
  }));
  BYTE buf[4] = {9, 9, 9, 9};
  for (const Case& k : cases) EXPECT_EQ(Read(buf, 4), k.expected) << std::hex << k.sent;
  EXPECT_EQ(memcmp(buf, "\x09\x09\x09\x09", 4), 0);
  EXPECT_EQ(server_->accepted(), 1);  // a fault is a complete answer
}

TEST_F(MisbehavingServer, RefusedBinds) {
  struct Case {
    std::string answer;  // built with call id 1, the bind's
    RPC_STATUS expected;
  };
  wbrpc::BindAckPdu unknownIf;
  unknownIf.maxXmitFrag = unknownIf.maxRecvFrag = 5840;
  unknownIf.result = wbrpc::kResultProviderRejection;
  unknownIf.reason = wbrpc::kReasonAbstractSyntaxNotSupported;
  wbrpc::BindAckPdu noNdr = unknownIf;
  noNdr.reason = wbrpc::kReasonTransferSyntaxesNotSupported;
  wbrpc::BindAckPdu tinyLimits;
  tinyLimits.maxXmitFrag = tinyLimits.maxRecvFrag = 20;
  const Case cases[] = {
      {wbrpc::EncodeBindNak(1, wbrpc::kNakReasonNotSpecified), RPC_S_CALL_FAILED_DNE},
      {wbrpc::EncodeBindNak(1, wbrpc::kNakLocalLimitExceeded), RPC_S_SERVER_TOO_BUSY},
      {wbrpc::EncodeBindNak(1, wbrpc::kNakProtocolVersionNotSupported), RPC_S_PROTOCOL_ERROR},
      {wbrpc::EncodeBindAck(1, unknownIf), RPC_S_UNKNOWN_IF},
      {wbrpc::EncodeBindAck(1, noNdr), RPC_S_UNSUPPORTED_TRANS_SYN},
      {wbrpc::EncodeBindAck(1, tinyLimits), RPC_S_PROTOCOL_ERROR},
      {wbrpc::EncodeBindAck(2, unknownIf), RPC_S_PROTOCOL_ERROR},  // wrong call id
      {Hex("05000c03 10000000 1000 0000 01000000"), RPC_S_PROTOCOL_ERROR},  // bind_ack without a body
  };
  for (const Case& k : cases) {
    Use([&](RawConn& c) {
      wbtest::RawPdu bind;
      if (c.Read(&bind)) c.Send(k.answer);
      c.Read(&bind);  // until the client hangs up
    });
    BYTE buf[4] = {};
    EXPECT_EQ(Read(buf, 4), k.expected) << wbtest::ToHex(k.answer);
    TearDown();
  }
}

TEST_F(MisbehavingServer, BadRepliesFailWith1783AndLeaveCallerMemory) {
  const std::string replies[] = {
      Hex("05000000 0102030405 000000 07000000"),  // count 5 for a size of 4
      Hex("03000000 010203 00 07000000"),          // count 3
      Hex("04000000 0102"),                        // truncated stub data
      Hex("04000000 01020304"),                    // no result
  };
  std::atomic<size_t> next{0};
  Use(ServeCalls([&](RawConn& c, uint16_t, const std::string&) {
    c.Send(MakeResponse(c.lastCallId, replies[next++]));
  }));
  for (size_t i = 0; i < std::size(replies); ++i) {
    BYTE buf[4] = {0xee, 0xee, 0xee, 0xee};
    EXPECT_EQ(Read(buf, 4), RPC_X_BAD_STUB_DATA) << i;
    EXPECT_EQ(memcmp(buf, "\xee\xee\xee\xee", 4), 0) << i;
  }
}

TEST_F(MisbehavingServer, ReplyLongerThanTheCallCanHaveStopsEarly) {
  // An endless stream of fragments without the last-fragment flag.
  Use(ServeCalls([](RawConn& c, uint16_t, const std::string&) {
    const std::string frag = MakeResponse(c.lastCallId, std::string(4000, 'z'), 0, false, false, 0xffffffff);
    for (int i = 0; i < 100 && c.Send(frag); ++i) {
    }
  }));
  BYTE buf[16] = {};
  EXPECT_EQ(Read(buf, 16), RPC_X_BAD_STUB_DATA);
}

TEST_F(MisbehavingServer, AllocHintIsOnlyAHint) {
  std::atomic<int> n{0};
  Use(ServeCalls([&](RawConn& c, uint16_t, const std::string&) {
    const uint32_t hints[] = {0, 0xffffffff, 1};
    c.Send(MakeResponse(c.lastCallId, Hex("04000000 01020304 07000000"), 3, false, false, hints[n++ % 3]));
  }));
  for (int i = 0; i < 3; ++i) {
    BYTE buf[4] = {};
    LONG result = 0;
    EXPECT_EQ(Read(buf, 4, &result), 0);
    EXPECT_EQ(result, 7);
  }
}

TEST_F(MisbehavingServer, ProtocolViolationsDuringACall) {
  const std::function<void(RawConn&)> answers[] = {
      [](RawConn& c) { c.Send(MakeResponse(c.lastCallId + 1, Hex("00000000 07000000"))); },  // call id
      [](RawConn& c) { c.Send(wbrpc::EncodeBindNak(c.lastCallId, 0)); },                   // wrong type
      [](RawConn& c) { c.Send(Hex("04000203 10000000 1800 0000") + std::string(12, '\0')); },  // version 4
      [](RawConn& c) { c.Send(Hex("05000203 20000000 0800 0000 02000000")); },  // length below header
      [](RawConn& c) {  // data representation changes between fragments
        c.Send(MakeResponse(c.lastCallId, Hex("00000000"), 1, false));
        c.Send(MakeResponse(c.lastCallId, Hex("00000007"), 2, true));
      },
  };
  for (const auto& answer : answers) {
    Use(ServeCalls([&](RawConn& c, uint16_t, const std::string&) { answer(c); }));
    BYTE buf[1] = {0x55};
    EXPECT_EQ(Read(buf, 0), RPC_S_PROTOCOL_ERROR);
    EXPECT_EQ(buf[0], 0x55);
    TearDown();
  }
}

TEST_F(MisbehavingServer, ConnectionLostOrSilent) {
  wbrpc::WireTimeouts shortWait;
  shortWait.reply = std::chrono::milliseconds(300);
  struct Case {
    const char* name;
    RawPduServer::Script script;
    RPC_STATUS expected;
  };
  const Case cases[] = {
      {"closed during the bind", [](RawConn& c) { wbtest::RawPdu p; c.Read(&p); c.Close(); },
       RPC_S_CALL_FAILED_DNE},
      {"closed after the request", ServeCalls([](RawConn& c, uint16_t, const std::string&) { c.Close(); }),
       RPC_S_CALL_FAILED},
      {"truncated PDU", ServeCalls([](RawConn& c, uint16_t, const std::string&) {
         c.Send(MakeResponse(c.lastCallId, Hex("04000000 01020304 07000000")).substr(0, 30));
         c.Close();
       }), RPC_S_CALL_FAILED},
      {"closed between fragments", ServeCalls([](RawConn& c, uint16_t, const std::string&) {
         c.Send(MakeResponse(c.lastCallId, Hex("04000000"), 1));
         c.Close();
       }), RPC_S_CALL_FAILED},
      {"never answers", ServeCalls([](RawConn& c, uint16_t, const std::string&) {
         wbtest::RawPdu p;
         c.Read(&p);  // until the client gives up and hangs up
       }), RPC_S_CALL_FAILED},
      {"never answers the bind", [](RawConn& c) { wbtest::RawPdu p; c.Read(&p); c.Read(&p); },
       RPC_S_CALL_FAILED_DNE},
  };
  for (const Case& k : cases) {
    wbrpc::SetWireTimeouts(shortWait);
    Use(k.script);
    BYTE buf[4] = {1, 1, 1, 1};
    EXPECT_EQ(Read(buf, 4), k.expected) << k.name;
    EXPECT_EQ(memcmp(buf, "\x01\x01\x01\x01", 4), 0) << k.name;
    TearDown();
  }
}

TEST_F(MisbehavingServer, NobodyListening) {
  // A port that was just free: connecting is refused.
  std::string endpoint;
  {
    RawPduServer gone([](RawConn&) {});
    endpoint = gone.endpoint();
  }
  binding_.reset(wbtest::ScannerTestService::NewBinding("127.0.0.1", endpoint));
  hScannerBinding = binding_.get();
  EXPECT_EQ(wbtest::StatusOf([] { RemoteClearPush(); }), RPC_S_SERVER_UNAVAILABLE);
  binding_.reset(wbtest::ScannerTestService::NewBinding("no-such-host.invalid", "1000"));
  hScannerBinding = binding_.get();
  EXPECT_EQ(wbtest::StatusOf([] { RemoteClearPush(); }), RPC_S_SERVER_UNAVAILABLE);
}

TEST_F(MisbehavingServer, CallsShareOneConnectionWithIncreasingCallIds) {
  std::vector<uint32_t> ids;
  std::mutex m;
  Use(ServeCalls([&](RawConn& c, uint16_t, const std::string&) {
    {
      std::lock_guard<std::mutex> lock(m);
      ids.push_back(c.lastCallId);
    }
    c.Send(MakeResponse(c.lastCallId, Hex("2a000000")));
  }));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(RemoteRefreshScanner(), 42);
  std::lock_guard<std::mutex> lock(m);
  EXPECT_EQ(ids, (std::vector<uint32_t>{2, 3, 4}));  // the bind was call 1
  EXPECT_EQ(server_->accepted(), 1);
}

TEST_F(MisbehavingServer, ShutdownAndIdleCloseLeadToAFreshConnection) {
  std::atomic<int> calls{0};
  Use(ServeCalls([&](RawConn& c, uint16_t, const std::string&) {
    const int n = ++calls;
    if (n == 1) {
      // Asks the client not to send more calls here, then answers.
      std::string shutdownPdu;
      wbrpc::AppendPduHeader(&shutdownPdu, wbrpc::kPduShutdown, 3, 0);
      wbrpc::FinishPdu(&shutdownPdu);
      c.Send(shutdownPdu);
    }
    c.Send(MakeResponse(c.lastCallId, Hex("2a000000")));
    if (n == 2) c.Close();  // closes while the connection lies idle
  }));
  EXPECT_EQ(RemoteRefreshScanner(), 42);
  EXPECT_EQ(RemoteRefreshScanner(), 42);
  // Give the close time to arrive; the pool must notice it, not fail the call.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(RemoteRefreshScanner(), 42);
  EXPECT_EQ(server_->accepted(), 3);
}

}  // namespace
