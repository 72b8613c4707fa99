// GetMachineNameAndPassword and the decipherer it calls.
#include "wbremote/machine_identity.h"

#include <atomic>
#include <cstring>

#include "platform/framework.h"
#include "platform/registry.h"
#include "wbremote/log/diag_log.h"
#include "wbremote/text_copy.h"

namespace {

constexpr const char* kHistoryKey = "SOFTWARE\\Velmora\\Wirebay\\Client\\History";
constexpr const char* kComputerNameKey =
    "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
constexpr UINT kUnnamedComputer = 32779;
constexpr DWORD kValueBufferSize = 2048;

constinit std::atomic<DecryptToCharBufferFn> gDecrypt{nullptr};

// One field after another, skipping empty runs between commas. The position
// lives in the caller's cursor, so concurrent calls never share it.
struct FieldCursor {
  const char* next;
};

bool NextField(FieldCursor* cursor, const char** field, size_t* length) {
  const char* p = cursor->next;
  while (*p == ',') ++p;
  if (*p == '\0') {
    cursor->next = p;
    return false;
  }
  const char* start = p;
  while (*p != '\0' && *p != ',') ++p;
  *field = start;
  *length = static_cast<size_t>(p - start);
  cursor->next = p;
  return true;
}

}  // namespace

DecryptToCharBufferFn SetDecryptToCharBuffer(DecryptToCharBufferFn decrypt) {
  return gDecrypt.exchange(decrypt);
}

int GetMachineNameAndPassword(char* machineName, char* computerName, char* password) {
  AFX_MAINTAIN_STATE moduleState(AfxGetStaticModuleState());
  CDiagLog::Write("Enter - GetMachineNameAndPassword");

  machineName[0] = '\0';
  password[0] = '\0';
  // The computer name is only looked up once an identity was found; until
  // then it is the empty string, so a caller always sends a terminated text.
  computerName[0] = '\0';

  HKEY history = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHistoryKey, 0, KEY_READ, &history) != ERROR_SUCCESS) {
    return 0;
  }
  // Zeroed, so that the decipherer sees zeros, not old stack bytes, past a
  // short value.
  char value[kValueBufferSize] = {};
  DWORD size = sizeof(value);
  if (RegQueryValueExA(history, "1", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
      ERROR_SUCCESS) {
    RegCloseKey(history);
    return 0;
  }

  char text[kIdentityFieldSize] = {};
  if (DecryptToCharBufferFn decrypt = gDecrypt.load()) {
    decrypt(value, text, kIdentityFieldSize);
  }
  // Whatever the outside function left, the split reads a terminated text.
  text[kIdentityFieldSize - 1] = '\0';
  memset(value, 0, sizeof(value));

  FieldCursor cursor{text};
  const char* field = nullptr;
  size_t length = 0;
  if (!NextField(&cursor, &field, &length)) {
    RegCloseKey(history);
    return 0;
  }
  CopyText(machineName, kIdentityFieldSize, field, length);
  if (NextField(&cursor, &field, &length)) CopyText(password, kIdentityFieldSize, field, length);
  WipeText(text, sizeof(text));
  RegCloseKey(history);

  LoadStringA(AfxGetResourceHandle(), kUnnamedComputer, computerName, kIdentityFieldSize);

  HKEY names = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComputerNameKey, 0, KEY_READ, &names) == ERROR_SUCCESS) {
    char name[kValueBufferSize] = {};
    DWORD nameSize = sizeof(name);
    if (RegQueryValueExA(names, "ComputerName", nullptr, nullptr, reinterpret_cast<BYTE*>(name),
                         &nameSize) == ERROR_SUCCESS) {
      // Up to 2048 bytes arrive; the computer name keeps at most 511 of them.
      CopyText(computerName, kIdentityFieldSize, name, strnlen(name, nameSize));
    }
    RegCloseKey(names);
    CDiagLog::Write("Exit  - GetMachineNameAndPassword");
  }
  return 1;
}
