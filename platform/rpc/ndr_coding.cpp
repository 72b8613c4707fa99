// NDR primitives: alignment from the start of the stub data, bounded reads and
// data representation conversion.
#include "platform/rpc/ndr_coding.h"

#include <cstring>

namespace wbrpc {

namespace {
// Code page 037 to Latin-1.
const uint8_t kEbcdicToLatin1[256] = {
    0x00, 0x01, 0x02, 0x03, 0x9c, 0x09, 0x86, 0x7f, 0x97, 0x8d, 0x8e, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f,
    0x10, 0x11, 0x12, 0x13, 0x9d, 0x85, 0x08, 0x87, 0x18, 0x19, 0x92, 0x8f, 0x1c, 0x1d, 0x1e, 0x1f,
    0x80, 0x81, 0x82, 0x83, 0x84, 0x0a, 0x17, 0x1b, 0x88, 0x89, 0x8a, 0x8b, 0x8c, 0x05, 0x06, 0x07,
    0x90, 0x91, 0x16, 0x93, 0x94, 0x95, 0x96, 0x04, 0x98, 0x99, 0x9a, 0x9b, 0x14, 0x15, 0x9e, 0x1a,
    0x20, 0xa0, 0xe2, 0xe4, 0xe0, 0xe1, 0xe3, 0xe5, 0xe7, 0xf1, 0xa2, 0x2e, 0x3c, 0x28, 0x2b, 0x7c,
    0x26, 0xe9, 0xea, 0xeb, 0xe8, 0xed, 0xee, 0xef, 0xec, 0xdf, 0x21, 0x24, 0x2a, 0x29, 0x3b, 0xac,
    0x2d, 0x2f, 0xc2, 0xc4, 0xc0, 0xc1, 0xc3, 0xc5, 0xc7, 0xd1, 0xa6, 0x2c, 0x25, 0x5f, 0x3e, 0x3f,
    0xf8, 0xc9, 0xca, 0xcb, 0xc8, 0xcd, 0xce, 0xcf, 0xcc, 0x60, 0x3a, 0x23, 0x40, 0x27, 0x3d, 0x22,
    0xd8, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0xab, 0xbb, 0xf0, 0xfd, 0xfe, 0xb1,
    0xb0, 0x6a, 0x6b, 0x6c, 0x6d, 0x6e, 0x6f, 0x70, 0x71, 0x72, 0xaa, 0xba, 0xe6, 0xb8, 0xc6, 0xa4,
    0xb5, 0x7e, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0xa1, 0xbf, 0xd0, 0xdd, 0xde, 0xae,
    0x5e, 0xa3, 0xa5, 0xb7, 0xa9, 0xa7, 0xb6, 0xbc, 0xbd, 0xbe, 0x5b, 0x5d, 0xaf, 0xa8, 0xb4, 0xd7,
    0x7b, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xad, 0xf4, 0xf6, 0xf2, 0xf3, 0xf5,
    0x7d, 0x4a, 0x4b, 0x4c, 0x4d, 0x4e, 0x4f, 0x50, 0x51, 0x52, 0xb9, 0xfb, 0xfc, 0xf9, 0xfa, 0xff,
    0x5c, 0xf7, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0xb2, 0xd4, 0xd6, 0xd2, 0xd3, 0xd5,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xb3, 0xdb, 0xdc, 0xd9, 0xda, 0x9f,
};

struct ReverseTable {
  uint8_t map[256];
  ReverseTable() {
    for (int i = 0; i < 256; ++i) map[kEbcdicToLatin1[i]] = static_cast<uint8_t>(i);
  }
};

// Pads up to the alignment; positions count from the stub's first octet.
size_t PadFor(size_t pos, size_t alignment) { return (alignment - pos % alignment) % alignment; }
}  // namespace

uint8_t EbcdicToAscii(uint8_t c) { return kEbcdicToLatin1[c]; }
uint8_t AsciiToEbcdic(uint8_t c) {
  static const ReverseTable table;
  return table.map[c];
}

bool DataRep::Parse(const uint8_t label[4], DataRep* rep) {
  const uint8_t intRep = label[0] >> 4;
  const uint8_t charRep = label[0] & 0x0f;
  if (intRep > 1 || charRep > 1) return false;
  rep->bigEndian = intRep == 0;
  rep->ebcdic = charRep == 1;
  rep->floatRep = label[1];
  return true;
}

void DataRep::Pack(uint8_t label[4]) const {
  label[0] = static_cast<uint8_t>((bigEndian ? 0x00 : 0x10) | (ebcdic ? 0x01 : 0x00));
  label[1] = floatRep;
  label[2] = 0;
  label[3] = 0;
}

void NdrAlign(std::string* dst, size_t alignment) { dst->append(PadFor(dst->size(), alignment), '\0'); }

void NdrPutU8(std::string* dst, uint8_t v) { dst->push_back(static_cast<char>(v)); }

void PutFixed16(std::string* dst, uint16_t v) {
  const char b[2] = {static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
  dst->append(b, 2);
}

void PutFixed16BE(std::string* dst, uint16_t v) {
  const char b[2] = {static_cast<char>(v >> 8), static_cast<char>(v & 0xff)};
  dst->append(b, 2);
}

void PutFixed32(std::string* dst, uint32_t v) {
  const char b[4] = {static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff),
                     static_cast<char>((v >> 16) & 0xff), static_cast<char>(v >> 24)};
  dst->append(b, 4);
}

void NdrPutU16(std::string* dst, uint16_t v) {
  NdrAlign(dst, 2);
  PutFixed16(dst, v);
}

void NdrPutU32(std::string* dst, uint32_t v) {
  NdrAlign(dst, 4);
  PutFixed32(dst, v);
}

void NdrPutBytes(std::string* dst, const void* data, size_t n) {
  if (n) dst->append(static_cast<const char*>(data), n);
}

void NdrPutU16Array(std::string* dst, const uint16_t* data, size_t n) {
  NdrAlign(dst, 2);
  for (size_t i = 0; i < n; ++i) PutFixed16(dst, data[i]);
}

bool NdrGetAlign(NdrCursor* in, size_t alignment) {
  const size_t pad = PadFor(in->pos, alignment);
  if (in->remaining() < pad) return false;
  in->pos += pad;
  return true;
}

bool NdrGetU8(NdrCursor* in, uint8_t* v) {
  if (in->remaining() < 1) return false;
  *v = in->base[in->pos++];
  return true;
}

bool NdrGetU16(NdrCursor* in, uint16_t* v) {
  if (!NdrGetAlign(in, 2) || in->remaining() < 2) return false;
  const uint8_t* p = in->base + in->pos;
  *v = in->rep.bigEndian ? static_cast<uint16_t>(p[0] << 8 | p[1])
                         : static_cast<uint16_t>(p[1] << 8 | p[0]);
  in->pos += 2;
  return true;
}

bool NdrGetU32(NdrCursor* in, uint32_t* v) {
  if (!NdrGetAlign(in, 4) || in->remaining() < 4) return false;
  const uint8_t* p = in->base + in->pos;
  if (in->rep.bigEndian) {
    *v = uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
  } else {
    *v = uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
  in->pos += 4;
  return true;
}

bool NdrGetBytes(NdrCursor* in, size_t n, const uint8_t** data) {
  if (in->remaining() < n) return false;
  *data = in->base + in->pos;
  in->pos += n;
  return true;
}

bool NdrGetChars(NdrCursor* in, size_t n, std::string* out) {
  const uint8_t* p = nullptr;
  if (!NdrGetBytes(in, n, &p)) return false;
  out->assign(reinterpret_cast<const char*>(p), n);
  if (in->rep.ebcdic) {
    for (char& c : *out) c = static_cast<char>(EbcdicToAscii(static_cast<uint8_t>(c)));
  }
  return true;
}

bool NdrGetU16Array(NdrCursor* in, size_t n, std::u16string* out) {
  if (!NdrGetAlign(in, 2) || in->remaining() / 2 < n) return false;
  const uint8_t* p = in->base + in->pos;
  out->resize(n);
  for (size_t i = 0; i < n; ++i) {
    const uint8_t a = p[2 * i], b = p[2 * i + 1];
    (*out)[i] = static_cast<char16_t>(in->rep.bigEndian ? (a << 8 | b) : (b << 8 | a));
  }
  in->pos += 2 * n;
  return true;
}

}  // namespace wbrpc
