// The process-wide binding handle of ScannerService: unset at load, set by
// RpcClient when the library starts, released at unload. Every client stub
// reads it at the moment of its call.
#pragma once

#include "platform/rpc/rpc.h"

extern RPC_BINDING_HANDLE hScannerBinding;
