// The process-wide binding handle of the scanner-sharing service: unset at
// load, set by RpcClient::Bind, released by RpcClient's destructor. Every
// client stub reads it at the moment of its call, on any thread; it is written
// only while the library loads and unloads, before the first and after the
// last call, so the reads need no lock.
#pragma once

#include "platform/rpc/rpc.h"

extern RPC_BINDING_HANDLE hScannerBinding;
