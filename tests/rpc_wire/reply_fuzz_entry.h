// One input of the reply-path fuzzer, shared by the libFuzzer target
// (fuzz/rpc_reply_fuzzer.cpp) and the regression test that replays the
// corpus in tests/corpus/rpc_reply under the normal build.
//
// Input: a selector octet (0-12: that ScannerService procedure's reply;
// 13: an ept_map reply; 14: a bind answer), two octets of array size,
// one octet choosing the receive limit and how the bytes arrive (in pieces
// of what size), then the bytes the server sends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/rpc/epmap.h"
#include "platform/rpc/pdu_stream.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace wbtest {

inline int FuzzRpcReply(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const unsigned selector = data[0] % 15;
  const ULONG n = static_cast<ULONG>(data[1] | data[2] << 8);
  wbrpc::MemoryStream stream(data + 4, size - 4);
  stream.set_chunk(1 + static_cast<size_t>(data[3] >> 4) * 331);
  if (selector == 14) {
    std::string pdu;
    wbrpc::PduHeader h;
    if (wbrpc::ReadPdu(&stream, 5840, &pdu, &h) != wbrpc::ReadPduResult::kOk) return 0;
    const auto* p = reinterpret_cast<const uint8_t*>(pdu.data());
    wbrpc::BindAckPdu ack;
    uint16_t reason = 0;
    if (h.type == wbrpc::kPduBindAck) wbrpc::DecodeBindAck(p, h, &ack);
    if (h.type == wbrpc::kPduBindNak) wbrpc::DecodeBindNak(p, h, &reason);
    return 0;
  }
  wbrpc::ReplyLimits limits;
  limits.callId = 2;
  limits.maxFrag = 32 + static_cast<size_t>(data[3]) * 23;
  limits.maxStub = selector == 13 ? 64 * 1024 : scanner_wire::MaxReplyStub(static_cast<uint16_t>(selector), n);
  wbrpc::RpcReply reply;
  bool reusable = true;
  if (wbrpc::ReceiveReply(&stream, limits, &reply, &reusable) != RPC_S_OK) return 0;

  using namespace scanner_wire;
  volatile unsigned sink = 0;
  switch (selector) {
    case kCheckOutScanner: {
      CheckOutReply out;
      if (DecodeCheckOutReply(reply, n, &out)) sink = sink + out.message.size() + static_cast<unsigned>(out.result);
      break;
    }
    case kGetScannerID: {
      std::u16string id;
      LONG result = 0;
      if (DecodeScannerIdReply(reply, n, &id, &result)) sink = sink + id.size();
      break;
    }
    case kReadFromScanner:
    case kReadBufferFromScanner: {
      const uint8_t* bytes = nullptr;
      LONG result = 0;
      if (DecodeBytesReply(reply, n, &bytes, &result)) {
        for (ULONG i = 0; i < n; ++i) sink = sink + bytes[i];  // every octet must be readable
      }
      break;
    }
    case kPreFreeLibrary:
      sink = sink + DecodeEmptyReply(reply);
      break;
    case 13: {
      wbrpc::NdrCursor in(reply.stub.data(), reply.stub.size(), reply.rep);
      std::vector<std::string> towers;
      uint32_t status = 0;
      if (wbrpc::DecodeEptMapReply(&in, &towers, &status)) {
        for (const std::string& t : towers) {
          wbrpc::TcpTowerInfo info;
          sink = sink + wbrpc::ParseTcpTower(t, &info);
        }
      }
      break;
    }
    default: {
      LONG result = 0;
      if (DecodeResultReply(reply, &result)) sink = sink + static_cast<unsigned>(result);
      break;
    }
  }
  (void)sink;
  return 0;
}

}  // namespace wbtest
