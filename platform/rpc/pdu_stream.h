// Reading whole PDUs from a byte stream and reassembling a call's reply.
// The stream is an interface so that the same code reads from a socket and,
// in tests and fuzzing, from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/rpc/ndr_coding.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/rpc.h"

namespace wbrpc {

// A piece of memory that a scattered read fills.
struct ReadSpan {
  char* data;
  size_t size;
};

class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Fills the spans in order with what has arrived, waiting only until at
  // least one octet is there. Returns the count read, 0 on failure.
  virtual size_t ReadSome(const ReadSpan* spans, size_t count) = 0;
  // Puts octets back in front of what is still to be read.
  virtual void Unread(const char* data, size_t n) = 0;
  // Exactly n octets or false (closed, timed out, failed).
  virtual bool ReadExact(void* buf, size_t n) = 0;
  virtual bool WriteAll(const void* data, size_t n) = 0;
  // Appends exactly n octets to *dst, or false.
  virtual bool ReadAppend(std::string* dst, size_t n) {
    const size_t old = dst->size();
    dst->resize(old + n);
    return ReadExact(dst->data() + old, n);
  }
};

// A stream over a fixed buffer; writes are collected.
class MemoryStream : public ByteStream {
 public:
  MemoryStream(const void* data, size_t n) : data_(static_cast<const uint8_t*>(data)), size_(n) {}
  bool ReadExact(void* buf, size_t n) override;
  size_t ReadSome(const ReadSpan* spans, size_t count) override;
  void Unread(const char* data, size_t n) override;
  bool WriteAll(const void* data, size_t n) override;
  const std::string& written() const { return written_; }
  // At most this many octets per ReadSome, as a socket delivers in pieces.
  void set_chunk(size_t chunk) { chunk_ = chunk ? chunk : 1; }

 private:
  size_t Take(char* dst, size_t n);
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  size_t chunk_ = SIZE_MAX;
  std::string pending_;  // put back, read before data_
  std::string written_;
};

enum class ReadPduResult { kOk, kStreamFailed, kMalformed };
// Reads one PDU no longer than maxFrag into *pdu and decodes its header.
ReadPduResult ReadPdu(ByteStream* stream, size_t maxFrag, std::string* pdu, PduHeader* h);

// A call's reply: the reassembled stub data and its data representation.
struct RpcReply {
  std::string stub;
  DataRep rep;
};

struct ReplyLimits {
  uint32_t callId = 0;
  size_t maxFrag = kDefaultMaxFrag;  // longest fragment accepted
  size_t maxStub = 0;                // longest stub data the call can have
};

// Reads response fragments until the last one. Returns RPC_S_OK, or the
// status to raise: a fault's mapped status, RPC_S_CALL_FAILED when the stream
// fails, RPC_S_PROTOCOL_ERROR for PDUs that break the protocol,
// RPC_X_BAD_STUB_DATA for a reply longer than the call allows. *reusable
// turns false when the connection must not carry another call.
RPC_STATUS ReceiveReply(ByteStream* stream, const ReplyLimits& limits, RpcReply* reply, bool* reusable);

}  // namespace wbrpc
