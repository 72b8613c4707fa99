// The client library's outer boundary: fifteen plain C functions that the
// scanning application calls. Twelve make one remote call each through
// hScannerBinding; three answer at once. Nothing is thrown across this
// boundary: a failed call reaches the application as the result 0.
//
// Every buffer belongs to the caller and is only read or written during the
// call; the library checks no argument.
#pragma once

#include "platform/win_types.h"

#define WB_EXPORT extern "C" __attribute__((visibility("default")))

WB_EXPORT LONG CheckForPush(void);
WB_EXPORT LONG CheckOutScanner(LONG value);
WB_EXPORT LONG CheckOutScannerWithID(LONG value, const char* scannerId);
WB_EXPORT LONG ClaimScanner(void);
WB_EXPORT LONG ClearPush(void);
WB_EXPORT LONG GetScannerID(WCHAR* id, LONG idSize);
WB_EXPORT void PreFreeLibrary(void);
WB_EXPORT LONG ReadBufferFromScanner(BYTE* buffer, LONG size, LONG value);
WB_EXPORT LONG ReadFromScanner(BYTE* buffer, LONG size, LONG value);
WB_EXPORT LONG RefreshScanner(void);
WB_EXPORT LONG ReturnScanner(LONG value);
WB_EXPORT LONG SetCurrentScannerFromSTILaunchInfo(void);
WB_EXPORT void WinSpiiMode(void);
WB_EXPORT LONG WriteBufferToScanner(BYTE* buffer, LONG size);
WB_EXPORT LONG WriteToScanner(BYTE* buffer, LONG size);

// The same functions as a host sees them after looking them up by name.
typedef LONG (*CheckForPushFn)(void);
typedef LONG (*CheckOutScannerFn)(LONG);
typedef LONG (*CheckOutScannerWithIDFn)(LONG, const char*);
typedef LONG (*ClaimScannerFn)(void);
typedef LONG (*ClearPushFn)(void);
typedef LONG (*GetScannerIDFn)(WCHAR*, LONG);
typedef void (*PreFreeLibraryFn)(void);
typedef LONG (*ReadBufferFromScannerFn)(BYTE*, LONG, LONG);
typedef LONG (*ReadFromScannerFn)(BYTE*, LONG, LONG);
typedef LONG (*RefreshScannerFn)(void);
typedef LONG (*ReturnScannerFn)(LONG);
typedef LONG (*SetCurrentScannerFromSTILaunchInfoFn)(void);
typedef void (*WinSpiiModeFn)(void);
typedef LONG (*WriteBufferToScannerFn)(BYTE*, LONG);
typedef LONG (*WriteToScannerFn)(BYTE*, LONG);
