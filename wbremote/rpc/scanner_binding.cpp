// Storage of the process-wide binding handle (see scanner_binding.h).
#include "wbremote/rpc/scanner_binding.h"

RPC_BINDING_HANDLE hScannerBinding = nullptr;
