// ept_map encoding and the client's endpoint look-up.
#include "platform/rpc/epmap.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/rpc/association.h"

namespace wbrpc {

namespace {
enum : uint8_t {
  kFloorUuid = 0x0d,
  kFloorRpcCo = 0x0b,
  kFloorTcp = 0x07,
  kFloorIp = 0x09,
};

void PutFloor(std::string* t, const std::string& lhs, const std::string& rhs) {
  PutFixed16(t, static_cast<uint16_t>(lhs.size()));
  t->append(lhs);
  PutFixed16(t, static_cast<uint16_t>(rhs.size()));
  t->append(rhs);
}

std::string UuidFloorLhs(const SyntaxId& s) {
  std::string lhs(1, static_cast<char>(kFloorUuid));
  lhs.append(reinterpret_cast<const char*>(s.uuid), 16);
  PutFixed16(&lhs, s.major);
  return lhs;
}

std::string Minor(uint16_t v) {
  std::string s;
  PutFixed16(&s, v);
  return s;
}

// Tower octets are little-endian whatever the PDU's data representation.
bool ReadLe16(const std::string& t, size_t* pos, uint16_t* v) {
  if (t.size() - *pos < 2) return false;
  *v = static_cast<uint16_t>(static_cast<uint8_t>(t[*pos]) | static_cast<uint8_t>(t[*pos + 1]) << 8);
  *pos += 2;
  return true;
}

bool ReadTwr(NdrCursor* in, std::string* tower) {
  // twr_t is a conformant structure: the conformance comes first.
  uint32_t maxCount = 0, length = 0;
  const uint8_t* octets = nullptr;
  if (!NdrGetU32(in, &maxCount) || !NdrGetU32(in, &length) || length != maxCount ||
      !NdrGetBytes(in, length, &octets)) {
    return false;
  }
  tower->assign(reinterpret_cast<const char*>(octets), length);
  return true;
}

void PutTwr(std::string* out, const std::string& tower) {
  NdrPutU32(out, static_cast<uint32_t>(tower.size()));
  NdrPutU32(out, static_cast<uint32_t>(tower.size()));
  NdrPutBytes(out, tower.data(), tower.size());
}
}  // namespace

const SyntaxId& EndpointMapperInterface() {
  static const SyntaxId epm = MakeSyntaxId("e1af8308-5d1f-11c9-91a4-08002b14a0fa", 3, 0);
  return epm;
}

std::string BuildTcpTower(const SyntaxId& iface, uint16_t port, uint32_t ipv4) {
  std::string t;
  PutFixed16(&t, 5);
  PutFloor(&t, UuidFloorLhs(iface), Minor(iface.minor));
  PutFloor(&t, UuidFloorLhs(NdrTransferSyntax()), Minor(NdrTransferSyntax().minor));
  PutFloor(&t, std::string(1, static_cast<char>(kFloorRpcCo)), Minor(0));
  std::string portRhs;
  PutFixed16BE(&portRhs, port);
  PutFloor(&t, std::string(1, static_cast<char>(kFloorTcp)), portRhs);
  std::string ipRhs;
  PutFixed16BE(&ipRhs, static_cast<uint16_t>(ipv4 >> 16));
  PutFixed16BE(&ipRhs, static_cast<uint16_t>(ipv4 & 0xffff));
  PutFloor(&t, std::string(1, static_cast<char>(kFloorIp)), ipRhs);
  return t;
}

bool ParseTcpTower(const std::string& tower, TcpTowerInfo* info) {
  size_t pos = 0;
  uint16_t floors = 0;
  if (!ReadLe16(tower, &pos, &floors) || floors < 4) return false;
  bool haveIface = false, haveCo = false, havePort = false;
  for (uint16_t i = 0; i < floors; ++i) {
    uint16_t lhsLen = 0, rhsLen = 0;
    if (!ReadLe16(tower, &pos, &lhsLen) || lhsLen == 0 || tower.size() - pos < lhsLen) return false;
    const std::string lhs = tower.substr(pos, lhsLen);
    pos += lhsLen;
    if (!ReadLe16(tower, &pos, &rhsLen) || tower.size() - pos < rhsLen) return false;
    const std::string rhs = tower.substr(pos, rhsLen);
    pos += rhsLen;
    const auto id = static_cast<uint8_t>(lhs[0]);
    if (i == 0) {
      if (id != kFloorUuid || lhs.size() != 19 || rhs.size() != 2) return false;
      memcpy(info->iface.uuid, lhs.data() + 1, 16);
      size_t p = 17, q = 0;
      if (!ReadLe16(lhs, &p, &info->iface.major) || !ReadLe16(rhs, &q, &info->iface.minor)) return false;
      haveIface = true;
    } else if (id == kFloorRpcCo) {
      haveCo = true;
    } else if (id == kFloorTcp) {
      if (rhs.size() != 2) return false;
      info->port = static_cast<uint16_t>(static_cast<uint8_t>(rhs[0]) << 8 | static_cast<uint8_t>(rhs[1]));
      havePort = true;
    } else if (id == kFloorIp) {
      if (rhs.size() != 4) return false;
      info->ipv4 = 0;
      for (char c : rhs) info->ipv4 = info->ipv4 << 8 | static_cast<uint8_t>(c);
    }
  }
  return haveIface && haveCo && havePort;
}

std::string EncodeEptMapRequest(const uint8_t object[16], const std::string& tower) {
  std::string out;
  NdrPutU32(&out, 1);  // object: full pointer, referent 1
  NdrPutBytes(&out, object, 16);
  NdrPutU32(&out, 2);  // map_tower: full pointer, referent 2
  PutTwr(&out, tower);
  NdrAlign(&out, 4);
  out.append(20, '\0');  // entry_handle: a null context handle
  NdrPutU32(&out, kEptMaxTowers);
  return out;
}

bool DecodeEptMapReply(NdrCursor* in, std::vector<std::string>* towers, uint32_t* status) {
  const uint8_t* handle = nullptr;
  uint32_t numTowers = 0, maxCount = 0, offset = 0, actual = 0;
  if (!NdrGetAlign(in, 4) || !NdrGetBytes(in, 20, &handle) || !NdrGetU32(in, &numTowers) ||
      !NdrGetU32(in, &maxCount) || !NdrGetU32(in, &offset) || !NdrGetU32(in, &actual)) {
    return false;
  }
  if (offset != 0 || actual > maxCount || actual != numTowers || in->remaining() / 4 < actual) return false;
  std::vector<uint32_t> referents(actual);
  for (uint32_t& r : referents) {
    if (!NdrGetU32(in, &r)) return false;
  }
  towers->clear();
  for (uint32_t r : referents) {
    if (r == 0) continue;  // a null tower pointer
    std::string t;
    if (!ReadTwr(in, &t)) return false;
    towers->push_back(std::move(t));
  }
  return NdrGetU32(in, status);
}

bool DecodeEptMapRequest(NdrCursor* in, EptMapRequest* req) {
  uint32_t objRef = 0, towerRef = 0;
  const uint8_t* p = nullptr;
  if (!NdrGetU32(in, &objRef)) return false;
  memset(req->object, 0, 16);
  if (objRef != 0) {
    if (!NdrGetBytes(in, 16, &p)) return false;
    memcpy(req->object, p, 16);
  }
  if (!NdrGetU32(in, &towerRef)) return false;
  req->tower.clear();
  if (towerRef != 0 && !ReadTwr(in, &req->tower)) return false;
  return NdrGetAlign(in, 4) && NdrGetBytes(in, 20, &p) && NdrGetU32(in, &req->maxTowers);
}

std::string EncodeEptMapReply(const std::vector<std::string>& towers, uint32_t status) {
  std::string out;
  out.append(20, '\0');
  NdrPutU32(&out, static_cast<uint32_t>(towers.size()));
  NdrPutU32(&out, static_cast<uint32_t>(towers.size() > kEptMaxTowers ? towers.size() : kEptMaxTowers));
  NdrPutU32(&out, 0);
  NdrPutU32(&out, static_cast<uint32_t>(towers.size()));
  for (size_t i = 0; i < towers.size(); ++i) NdrPutU32(&out, static_cast<uint32_t>(3 + i));
  for (const std::string& t : towers) {
    PutTwr(&out, t);
    NdrAlign(&out, 4);
  }
  NdrPutU32(&out, status);
  return out;
}

std::string EndpointMapperPort() {
  const char* env = getenv("WB_EPMAP_PORT");
  if (env && *env) return env;
  return kEndpointMapperPort;
}

RPC_STATUS EptMapTcpPort(const std::string& host, const SyntaxId& iface, const uint8_t object[16],
                         std::string* port) {
  std::unique_ptr<Association> a;
  RPC_STATUS status = Association::Open(host, EndpointMapperPort(), EndpointMapperInterface(), &a);
  if (status == RPC_S_UNKNOWN_IF) return EPT_S_NOT_REGISTERED;
  if (status != RPC_S_OK) return RPC_S_SERVER_UNAVAILABLE;  // nothing usable answers there
  const std::string request = EncodeEptMapRequest(object, BuildTcpTower(iface, 0, 0));
  RpcReply reply;
  // Four towers of a few dozen octets each fit easily.
  status = a->Call(kEptMapOpnum, nullptr, request, 64 * 1024, &reply);
  if (status != RPC_S_OK) return status;
  NdrCursor in(reply.stub.data(), reply.stub.size(), reply.rep);
  std::vector<std::string> towers;
  uint32_t mapStatus = 0;
  if (!DecodeEptMapReply(&in, &towers, &mapStatus)) return RPC_X_BAD_STUB_DATA;
  if (mapStatus != 0) return EPT_S_NOT_REGISTERED;
  for (const std::string& t : towers) {
    TcpTowerInfo info;
    if (ParseTcpTower(t, &info) && info.iface == iface && info.port != 0) {
      *port = std::to_string(info.port);
      return RPC_S_OK;
    }
  }
  return EPT_S_NOT_REGISTERED;
}

}  // namespace wbrpc
