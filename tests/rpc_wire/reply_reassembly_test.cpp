// Reassembly of fragmented replies from a stream that delivers its octets
// in pieces of every size, as a socket may: trains of equal fragments (read
// straight into the reply) interrupted by whatever a server may send.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/rpc/nca_status.h"
#include "platform/rpc/pdu_stream.h"
#include "raw_pdu_server.h"

namespace {

constexpr uint32_t kCall = 2;
constexpr size_t kPer = 600;  // stub octets per fragment

std::string Stub(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(i * 13 + i / 256);
  return s;
}

// The stub split into response fragments of kPer octets.
std::vector<std::string> Train(const std::string& stub, bool bigEndian = false) {
  std::vector<std::string> out;
  for (size_t off = 0; off < stub.size(); off += kPer) {
    const uint8_t flags = (off == 0 ? 1 : 0) | (off + kPer >= stub.size() ? 2 : 0);
    out.push_back(wbtest::MakeResponse(kCall, stub.substr(off, kPer), flags, bigEndian));
  }
  return out;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string s;
  for (const auto& p : parts) s += p;
  return s;
}

struct Outcome {
  RPC_STATUS status;
  std::string stub;
  bool reusable;
  std::string after;  // the PDU that follows the reply, read afterwards
};

Outcome Receive(const std::string& bytes, size_t chunk, size_t maxStub = 1 << 20) {
  wbrpc::MemoryStream stream(bytes.data(), bytes.size());
  stream.set_chunk(chunk);
  wbrpc::ReplyLimits limits;
  limits.callId = kCall;
  limits.maxFrag = 2048;
  limits.maxStub = maxStub;
  wbrpc::RpcReply reply;
  Outcome o{};
  o.reusable = true;
  o.status = wbrpc::ReceiveReply(&stream, limits, &reply, &o.reusable);
  o.stub = reply.stub;
  wbrpc::PduHeader h;
  wbrpc::ReadPdu(&stream, 65535, &o.after, &h);
  return o;
}

const size_t kChunks[] = {1, 7, 24, 599, 600, 624, 4096, SIZE_MAX};

TEST(ReplyReassembly, TrainsArriveWholeWhateverThePieces) {
  const std::string trailer = wbtest::MakeResponse(kCall + 1, "next");
  for (size_t total : {kPer * 5, kPer * 5 - 17, kPer + 1, kPer * 200 + 8}) {
    const std::string stub = Stub(total);
    for (size_t chunk : kChunks) {
      const Outcome o = Receive(Join(Train(stub)) + trailer, chunk);
      ASSERT_EQ(o.status, RPC_S_OK) << total << " " << chunk;
      EXPECT_EQ(o.stub, stub) << total << " " << chunk;
      EXPECT_TRUE(o.reusable);
      EXPECT_EQ(o.after, trailer) << "octets after the reply were lost or reordered";
    }
  }
}

TEST(ReplyReassembly, InterruptedTrains) {
  const std::string stub = Stub(kPer * 8);
  std::vector<std::string> train = Train(stub);
  std::string shutdownPdu;
  wbrpc::AppendPduHeader(&shutdownPdu, wbrpc::kPduShutdown, 3, 0);
  wbrpc::FinishPdu(&shutdownPdu);
  struct Case {
    const char* name;
    std::string bytes;
    RPC_STATUS status;
    bool reusable;
  };
  auto with = [&](size_t at, const std::string& replacement, bool keepRest = true) {
    std::string s;
    for (size_t i = 0; i < train.size(); ++i) {
      if (i == at) {
        s += replacement;
        if (!keepRest) break;
      } else {
        s += train[i];
      }
    }
    return s;
  };
  std::string longer = wbtest::MakeResponse(kCall, std::string(2100, 'x'), 0);
  const Case cases[] = {
      {"fault after three", with(3, wbrpc::EncodeFault(kCall, 3, wbrpc::kNcaOpRangeError), false),
       RPC_S_PROCNUM_OUT_OF_RANGE, false},
      {"big-endian in the middle", with(3, Train(stub, true)[3]), RPC_S_PROTOCOL_ERROR, false},
      {"other call id", with(4, wbtest::MakeResponse(kCall + 5, stub.substr(4 * kPer, kPer), 0)),
       RPC_S_PROTOCOL_ERROR, false},
      {"first-fragment flag again", with(2, wbtest::MakeResponse(kCall, stub.substr(2 * kPer, kPer), 1)), RPC_S_OK,
       true},
      {"fragment over the limit", with(2, longer), RPC_S_PROTOCOL_ERROR, false},
      {"truncated", Join(train).substr(0, 3 * (kPer + 24) + 100), RPC_S_CALL_FAILED, false},
      {"truncated in a header", Join(train).substr(0, 3 * (kPer + 24) + 10), RPC_S_CALL_FAILED, false},
  };
  for (const Case& k : cases) {
    for (size_t chunk : kChunks) {
      const Outcome o = Receive(k.bytes, chunk);
      EXPECT_EQ(o.status, k.status) << k.name << " " << chunk;
      EXPECT_EQ(o.reusable, k.reusable) << k.name << " " << chunk;
      if (k.status == RPC_S_OK) {
        EXPECT_EQ(o.stub, stub) << k.name << " " << chunk;
      }
    }
  }
  // A shutdown between fragments: the reply still completes, the connection
  // is not used again.
  std::string withShutdown;
  for (size_t i = 0; i < train.size(); ++i) withShutdown += (i == 4 ? shutdownPdu : "") + train[i];
  for (size_t chunk : kChunks) {
    const Outcome o = Receive(withShutdown, chunk);
    EXPECT_EQ(o.status, RPC_S_OK) << chunk;
    EXPECT_EQ(o.stub, stub) << chunk;
    EXPECT_FALSE(o.reusable) << chunk;
  }
}

TEST(ReplyReassembly, NoMoreThanTheCallAllows) {
  const std::string stub = Stub(kPer * 10);
  for (size_t chunk : kChunks) {
    const Outcome o = Receive(Join(Train(stub)), chunk, kPer * 10 - 1);
    EXPECT_EQ(o.status, RPC_X_BAD_STUB_DATA) << chunk;
    EXPECT_FALSE(o.reusable);
  }
}

}  // namespace
