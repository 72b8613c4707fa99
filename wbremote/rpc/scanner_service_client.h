// Client side of ScannerService (scanner_service.idl): one stub per
// procedure, in operation-number order. Each reads hScannerBinding at the
// moment of the call, sends its [in] values, waits for the reply and writes
// [out] values into the caller's memory only after the whole reply has been
// decoded. Failures come out as RpcException carrying the runtime's status
// (RPC_S_INVALID_BINDING for an unset handle, before anything is sent).
#pragma once

#include <cstddef>

#include "platform/rpc/rpc.h"
#include "platform/win_types.h"

LONG RemoteCheckOutScanner(LONG value, unsigned char* computerName, ULONG computerNameSize,
                           unsigned char* password, ULONG passwordSize, unsigned char* message,
                           ULONG messageSize, LONG* status);
LONG RemoteCheckOutScannerWithID(LONG value, unsigned char* scannerId);
LONG RemoteGetScannerID(WCHAR* id, ULONG idSize);
LONG RemoteSendValue(LONG value);
LONG RemoteClearPush(void);
LONG RemoteReadFromScanner(BYTE* buffer, ULONG size, LONG value);
LONG RemoteWriteToScanner(BYTE* buffer, ULONG size);
LONG RemoteReturnScanner(LONG value);
LONG RemoteRefreshScanner(void);
LONG RemoteReadBufferFromScanner(BYTE* buffer, ULONG size, BYTE value);
LONG RemoteWriteBufferToScanner(BYTE* buffer, ULONG size);
LONG RemoteSetCurrentScannerFromSTILaunchInfo(void);
void RemotePreFreeLibrary(void);

// The interface's allocation pair: the C library's malloc and free. The
// stubs themselves never allocate on the caller's behalf, since every [out]
// value goes into memory the caller supplies.
void* MIDL_user_allocate(size_t size);
void MIDL_user_free(void* p);
