// String bindings of the DCE RPC runtime: composing and taking apart the text
// form [uuid@]protseq:[address][[endpoint][,options]], and checking the parts
// that the runtime can judge without the network (object UUID, protocol
// sequence, TCP endpoint).
//
// Inside a component the characters @ : [ ] and \ are written with a backslash
// in front (the endpoint escapes its comma as well, because the comma ends it);
// the parser drops each such backslash again, so that it reads back exactly the
// components that the composer was given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/rpc/rpc.h"

namespace wbrpc {

struct StringBindingParts {
  std::string objectUuid;
  std::string protseq;
  std::string networkAddress;
  std::string endpoint;
  std::string options;
};

// Writes every non-empty component with its separator: "uuid@" when there is
// a UUID, "protseq:" when there is a protocol sequence, then the address, then
// "[endpoint]", "[endpoint,options]" or "[,options]" when either of the two is
// present. All components empty give the empty string.
std::string ComposeStringBinding(const StringBindingParts& parts);

// Takes a string binding apart into its unescaped components. Checks the
// syntax only; RPC_S_INVALID_STRING_BINDING when it is malformed (no colon
// after the protocol sequence, an unclosed or misplaced bracket, text after
// the closing bracket, an '@' with no UUID before it, a backslash at the very
// end). `out` is changed only on
// success.
RPC_STATUS ParseStringBinding(std::string_view text, StringBindingParts* out);

// A UUID in its binary fields.
struct RpcUuid {
  uint32_t data1 = 0;
  uint16_t data2 = 0;
  uint16_t data3 = 0;
  uint8_t data4[8] = {};
};

// The 36-character form xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx, hexadecimal
// digits in either case. False for anything else; `out` may be null.
bool ParseUuidString(std::string_view text, RpcUuid* out);

// RPC_S_OK for the one sequence this runtime carries, ncacn_ip_tcp;
// RPC_S_PROTSEQ_NOT_SUPPORTED for the other sequences of the DCE family;
// RPC_S_INVALID_RPC_PROTSEQ for anything else, the empty text included.
// Names are compared exactly, as the original platform does.
RPC_STATUS CheckProtseq(std::string_view protseq);

// An ncacn_ip_tcp endpoint: decimal digits only, a value from 1 to 65535.
bool ParseTcpPort(std::string_view endpoint, uint16_t* port);

}  // namespace wbrpc
