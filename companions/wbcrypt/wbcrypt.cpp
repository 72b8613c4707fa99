// wbcrypt.dll: deciphers the stored identity under this machine's key
// (companions/wbcrypt/crypt_format.h). Its only export is
// DecryptToCharBuffer.
#include "companions/wbcrypt/crypt_format.h"
#include "companions/wbcrypt/decrypt_to_char_buffer.h"

extern "C" __attribute__((visibility("default"))) int DecryptToCharBuffer(const char* enciphered,
                                                                         char* destination,
                                                                         int size) {
  if (destination && size > 0) destination[0] = '\0';
  if (!enciphered || !destination || size <= 0) return 0;
  uint8_t key[wbcrypt::kKeySize];
  if (!wbcrypt::ReadKey(wbcrypt::KeyPath(), key)) return 0;
  // The caller passes no length; the value's own length field bounds the read.
  bool ok = wbcrypt::Decipher(key, reinterpret_cast<const uint8_t*>(enciphered),
                              wbcrypt::kMaxEncipheredSize, destination, size);
  wbcrypt::Wipe(key, sizeof(key));
  return ok ? 1 : 0;
}
