// The one function of wbcrypt.dll. Leaves the deciphered text of the stored
// identity, NUL-terminated, in destination (size bytes); the empty text when
// the value is not authentic, does not fit or no key can be read. Reads at
// most 545 bytes from `enciphered`. Returns 1 when a text was deciphered.
#pragma once

extern "C" int DecryptToCharBuffer(const char* enciphered, char* destination, int size);
