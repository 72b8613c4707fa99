// Maps the status of a fault PDU to the status the runtime raises: the NCA
// codes of the DCE RPC standard to the original platform's codes, any other
// value (the platform's own codes, which its servers put into faults) as it
// came.
#pragma once

#include <cstdint>

#include "platform/rpc/rpc.h"

namespace wbrpc {

enum : uint32_t {
  kNcaCommFailure = 0x1c010001,
  kNcaOpRangeError = 0x1c010002,
  kNcaUnknownInterface = 0x1c010003,
  kNcaProtoError = 0x1c01000b,
  kNcaServerTooBusy = 0x1c010014,
  kNcaFaultUnspec = 0x1c000012,
  kNcaInvalidPresContextId = 0x1c00001c,
};

RPC_STATUS MapFaultStatus(uint32_t status);

}  // namespace wbrpc
