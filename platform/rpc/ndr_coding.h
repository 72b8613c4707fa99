// NDR 2.0 marshalling primitives of the RPC runtime, in the Put/Get style:
// Put* appends to a std::string that holds the stub data from its first
// octet, so the string's length is the position alignment is counted from;
// Get* reads from a bounded cursor and returns false, consuming nothing that
// matters, when the input is too short.
//
// We always send little-endian integers and ASCII characters. A peer may
// answer in another data representation (big-endian integers, EBCDIC
// characters); the cursor carries the representation of the PDU it reads and
// converts as it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wbrpc {

// The four-octet data representation label of a PDU, decoded.
struct DataRep {
  bool bigEndian = false;  // integer representation
  bool ebcdic = false;     // character representation
  uint8_t floatRep = 0;    // 0 IEEE; carried along, never needed here

  static DataRep Native() { return DataRep{}; }
  // Parses the packed label; false for an integer or character format that
  // does not exist.
  static bool Parse(const uint8_t label[4], DataRep* rep);
  void Pack(uint8_t label[4]) const;
};

// --- encoding (always little-endian, ASCII) ---
void NdrAlign(std::string* dst, size_t alignment);
void NdrPutU8(std::string* dst, uint8_t v);
void NdrPutU16(std::string* dst, uint16_t v);  // aligns to 2
void NdrPutU32(std::string* dst, uint32_t v);  // aligns to 4
void NdrPutBytes(std::string* dst, const void* data, size_t n);
void NdrPutU16Array(std::string* dst, const uint16_t* data, size_t n);

// Fixed little-endian writes without alignment, for PDU headers and towers.
void PutFixed16(std::string* dst, uint16_t v);
void PutFixed32(std::string* dst, uint32_t v);
void PutFixed16BE(std::string* dst, uint16_t v);

// --- decoding ---
struct NdrCursor {
  const uint8_t* base = nullptr;  // first octet of the stub data
  size_t size = 0;
  size_t pos = 0;
  DataRep rep;

  NdrCursor() = default;
  NdrCursor(const void* data, size_t n, DataRep r)
      : base(static_cast<const uint8_t*>(data)), size(n), pos(0), rep(r) {}
  size_t remaining() const { return size - pos; }
};

bool NdrGetAlign(NdrCursor* in, size_t alignment);
bool NdrGetU8(NdrCursor* in, uint8_t* v);
bool NdrGetU16(NdrCursor* in, uint16_t* v);  // aligns to 2
bool NdrGetU32(NdrCursor* in, uint32_t* v);  // aligns to 4
// Points at n raw octets (bytes are never converted).
bool NdrGetBytes(NdrCursor* in, size_t n, const uint8_t** data);
// n characters, converted to ASCII when the peer sends EBCDIC.
bool NdrGetChars(NdrCursor* in, size_t n, std::string* out);
// n 16-bit code units in the peer's byte order, converted to ours.
bool NdrGetU16Array(NdrCursor* in, size_t n, std::u16string* out);

// Character set conversion (IBM code page 037, the usual EBCDIC of DCE peers,
// mapped one to one onto Latin-1).
uint8_t EbcdicToAscii(uint8_t c);
uint8_t AsciiToEbcdic(uint8_t c);

}  // namespace wbrpc
