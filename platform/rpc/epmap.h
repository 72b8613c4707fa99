// The endpoint mapper's ept_map operation (interface
// e1af8308-5d1f-11c9-91a4-08002b14a0fa version 3.0, operation 3), both
// sides: the request and reply stub data, ncacn_ip_tcp protocol towers, and
// the client's look-up of an interface's TCP port.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rpc/ndr_coding.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/rpc.h"

namespace wbrpc {

const SyntaxId& EndpointMapperInterface();
constexpr uint16_t kEptMapOpnum = 3;
constexpr uint32_t kEptNotRegistered = 0x16c9a0d6;
constexpr uint32_t kEptMaxTowers = 4;
constexpr const char* kEndpointMapperPort = "135";

// A five-floor tower: interface, NDR, connection-oriented RPC, TCP port,
// IPv4 address; port and address big-endian.
std::string BuildTcpTower(const SyntaxId& iface, uint16_t port, uint32_t ipv4);
struct TcpTowerInfo {
  SyntaxId iface;
  uint16_t port = 0;
  uint32_t ipv4 = 0;
};
// False unless the tower is a well-formed connection-oriented TCP tower.
bool ParseTcpTower(const std::string& tower, TcpTowerInfo* info);

// Client side.
std::string EncodeEptMapRequest(const uint8_t object[16], const std::string& tower);
bool DecodeEptMapReply(NdrCursor* in, std::vector<std::string>* towers, uint32_t* status);

// Server side.
struct EptMapRequest {
  uint8_t object[16] = {};
  std::string tower;
  uint32_t maxTowers = 0;
};
bool DecodeEptMapRequest(NdrCursor* in, EptMapRequest* req);
std::string EncodeEptMapReply(const std::vector<std::string>& towers, uint32_t status);

// Asks the endpoint mapper of host (port 135, or WB_EPMAP_PORT when set) for
// the TCP port of iface. RPC_S_OK and *port, or RPC_S_SERVER_UNAVAILABLE when
// the mapper cannot be reached, EPT_S_NOT_REGISTERED when it does not know
// the interface, or the status of a failed call.
RPC_STATUS EptMapTcpPort(const std::string& host, const SyntaxId& iface, const uint8_t object[16],
                         std::string* port);
std::string EndpointMapperPort();

}  // namespace wbrpc
