// The fifteen exports. Each remote export writes its entry line, runs its one
// remote call inside a guard that catches every exception, and writes its
// exit line; a caught failure leaves the result 0.
#include "wbremote/scanner_exports.h"

#include <cxxabi.h>

#include <cstring>

#include "platform/rpc/rpc.h"
#include "wbremote/log/diag_log.h"
#include "wbremote/machine_identity.h"
#include "wbremote/rpc/scanner_service_client.h"
#include "wbremote/user_report.h"

namespace {

constexpr int kIdentitySize = 512;
constexpr ULONG kMessageSize = 512;

// Runs one remote call under the guard; 0 when it raised anything.
template <typename Call>
LONG Guarded(Call call) {
  LONG result = 0;
  RpcTryExcept {
    result = call();
  }
  RpcExcept(1) {
    ReportFailure(RpcExceptionCode());
  }
  RpcEndExcept
  return result;
}

}  // namespace

LONG CheckForPush(void) {
  CDiagLog::Write("Enter - CheckForPush");
  const LONG result = -10;
  CDiagLog::Write("Exit  - CheckForPush: %d", result);
  return result;
}

LONG CheckOutScanner(LONG value) {
  CDiagLog::Write("Enter - CheckOutScanner");
  char machineName[kIdentitySize] = {};
  char computerName[kIdentitySize] = {};
  char password[kIdentitySize] = {};
  try {
    GetMachineNameAndPassword(machineName, computerName, password);
  } catch (abi::__forced_unwind&) {
    throw;  // a cancelled thread must unwind on
  } catch (...) {
    // The registry ran out of memory, say: nothing may cross into the host,
    // and the check-out goes out with empty texts for the service to refuse.
    computerName[0] = '\0';
    password[0] = '\0';
  }

  LONG result = 0;
  RpcTryExcept {
    // Cleared so that no stale stack bytes travel to the service; the
    // service overwrites both.
    unsigned char message[kMessageSize] = {};
    LONG status = 0;
    result = RemoteCheckOutScanner(
        value, reinterpret_cast<unsigned char*>(computerName), static_cast<ULONG>(std::strlen(computerName) + 1),
        reinterpret_cast<unsigned char*>(password), static_cast<ULONG>(std::strlen(password) + 1), message,
        kMessageSize, &status);
    if (status != 0) {
      message[kMessageSize - 1] = '\0';  // the service's text need not end
      ReportRefusal(status, reinterpret_cast<const char*>(message));
      result = 0;
    }
  }
  RpcExcept(1) {
    ReportFailure(RpcExceptionCode());
    result = 0;
  }
  RpcEndExcept
  CDiagLog::Write("Exit  - CheckOutScanner: %d", result);
  return result;
}

LONG CheckOutScannerWithID(LONG value, const char* scannerId) {
  CDiagLog::Write("Enter - CheckOutScannerWithID");
  const LONG result = Guarded([&] {
    return RemoteCheckOutScannerWithID(value, reinterpret_cast<unsigned char*>(const_cast<char*>(scannerId)));
  });
  CDiagLog::Write("Exit  - CheckOutScannerWithID: %d", result);
  return result;
}

LONG ClaimScanner(void) {
  CDiagLog::Write("Enter - ClaimScanner");
  const LONG result = -15;
  CDiagLog::Write("Exit  - ClaimScanner: %d", result);
  return result;
}

LONG ClearPush(void) {
  CDiagLog::Write("Enter - ClearPush");
  const LONG result = Guarded([] { return RemoteClearPush(); });
  CDiagLog::Write("Exit  - ClearPush: %d", result);
  return result;
}

LONG GetScannerID(WCHAR* id, LONG idSize) {
  CDiagLog::Write("Enter - GetScannerID");
  const LONG result = Guarded([&] { return RemoteGetScannerID(id, static_cast<ULONG>(idSize)); });
  CDiagLog::Write("Exit  - GetScannerID: %d", result);
  return result;
}

void PreFreeLibrary(void) {
  CDiagLog::Write("Enter - PreFreeLibrary");
  Guarded([] {
    RemotePreFreeLibrary();
    return 0;
  });
  CDiagLog::Write("Exit  - PreFreeLibrary");
}

LONG ReadBufferFromScanner(BYTE* buffer, LONG size, LONG value) {
  CDiagLog::Write("Enter - ReadBufferFromScanner");
  const LONG result = Guarded([&] {
    return RemoteReadBufferFromScanner(buffer, static_cast<ULONG>(size), static_cast<BYTE>(value & 0xFF));
  });
  CDiagLog::Write("Exit  - ReadBufferFromScanner: %d", result);
  return result;
}

LONG ReadFromScanner(BYTE* buffer, LONG size, LONG value) {
  CDiagLog::Write("Enter - ReadFromScanner");
  const LONG result = Guarded([&] { return RemoteReadFromScanner(buffer, static_cast<ULONG>(size), value); });
  CDiagLog::Write("Exit  - ReadFromScanner: %d", result);
  return result;
}

LONG RefreshScanner(void) {
  CDiagLog::Write("Enter - RefreshScanner");
  const LONG result = Guarded([] { return RemoteRefreshScanner(); });
  CDiagLog::Write("Exit  - RefreshScanner: %d", result);
  return result;
}

LONG ReturnScanner(LONG value) {
  CDiagLog::Write("Enter - ReturnScanner");
  const LONG result = Guarded([&] { return RemoteReturnScanner(value); });
  CDiagLog::Write("Exit  - ReturnScanner: %d", result);
  return result;
}

LONG SetCurrentScannerFromSTILaunchInfo(void) {
  CDiagLog::Write("Enter - SetScannerFromSTILaunchInfo");
  // The service's answer is not used: the result is always 0.
  Guarded([] {
    RemoteSetCurrentScannerFromSTILaunchInfo();
    return 0;
  });
  CDiagLog::Write("Exit  - SetScannerFromSTILaunchInfo");
  return 0;
}

void WinSpiiMode(void) {}

LONG WriteBufferToScanner(BYTE* buffer, LONG size) {
  CDiagLog::Write("Enter - WriteBufferToScanner");
  const LONG result = Guarded([&] { return RemoteWriteBufferToScanner(buffer, static_cast<ULONG>(size)); });
  CDiagLog::Write("Exit  - WriteBufferToScanner: %d", result);
  return result;
}

LONG WriteToScanner(BYTE* buffer, LONG size) {
  CDiagLog::Write("Enter - WriteToScanner");
  const LONG result = Guarded([&] { return RemoteWriteToScanner(buffer, static_cast<ULONG>(size)); });
  CDiagLog::Write("Exit  - WriteToScanner: %d", result);
  return result;
}
