// The stored identity: the name of the machine that shares the scanner and
// the password, kept enciphered under the client key's "History" subkey,
// together with this computer's name. Read afresh at every call, by the
// start-up and by every check-out, possibly on several threads at once.
#pragma once

// The outside decipherer of wbcrypt.dll: leaves a NUL-terminated text in
// destination (size bytes); its result is not used.
extern "C" int DecryptToCharBuffer(const char* enciphered, char* destination, int size);

typedef int (*DecryptToCharBufferFn)(const char* enciphered, char* destination, int size);

// The decipherer GetMachineNameAndPassword calls. The library installs
// wbcrypt.dll's function at load (dll_client_app.cpp), before its start-up;
// tests install their own. Without one, every stored identity deciphers to
// the empty text. Returns the previous one.
DecryptToCharBufferFn SetDecryptToCharBuffer(DecryptToCharBufferFn decrypt);

constexpr int kIdentityFieldSize = 512;

// Fills three buffers of kIdentityFieldSize bytes with NUL-terminated
// strings: the first two fields of the deciphered identity (machine name,
// password) and this computer's name. 1 when the identity was read and had a
// field, 0 otherwise; with 0 the computer name is the empty string.
int GetMachineNameAndPassword(char* machineName, char* computerName, char* password);
