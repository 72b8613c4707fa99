// The enciphered form of the stored identity, shared by wbcrypt.dll (which
// deciphers) and wbcrypt-tool (which enciphers).
//
// Layout, all of it authenticated with AES-256-GCM under the machine key:
//   "WBC1"            4 bytes  magic and format version
//   nonce            12 bytes  random per value
//   length            2 bytes  big-endian length of the text, at most 511
//   ciphertext   length bytes
//   tag              16 bytes
// The value carries its own length because the reader is given none; the
// reader never looks at more than kMaxEncipheredSize bytes, well inside the
// 2048 bytes the registry value may hold. The magic, nonce and length are the
// associated data, so a changed length fails authentication like a changed
// text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wbcrypt {

constexpr size_t kKeySize = 32;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr size_t kHeaderSize = 4 + kNonceSize + 2;
constexpr size_t kMaxTextLength = 511;
constexpr size_t kMaxEncipheredSize = kHeaderSize + kMaxTextLength + kTagSize;

// Enciphers `text` (at most kMaxTextLength bytes, no NUL inside); false when
// the text does not qualify or the cipher fails.
bool Encipher(const uint8_t (&key)[kKeySize], const std::string& text, std::vector<uint8_t>* out);

// Deciphers a value that starts at `data`, reading no more than
// kMaxEncipheredSize bytes and no more than `available` bytes. Writes the text
// and its NUL into destination[0..size) only when the value is authentic and
// the text fits with its NUL; otherwise writes the empty text (when size > 0).
// Returns true for an authentic value that fitted.
bool Decipher(const uint8_t (&key)[kKeySize], const uint8_t* data, size_t available,
              char* destination, int size);

// The machine key's file: $WB_CRYPT_KEY, or kDefaultKeyPath when unset/empty.
constexpr const char* kDefaultKeyPath = "/etc/wirebay/wbcrypt.key";
std::string KeyPath();

// Reads the key: a regular file of exactly kKeySize bytes that neither group
// nor others may read or write. False otherwise.
bool ReadKey(const std::string& path, uint8_t (&key)[kKeySize]);

// Creates a new random key file with mode 0600; refuses to replace an existing
// file. On failure, `error` says why.
bool CreateKey(const std::string& path, std::string* error);

// Overwrites key material in a way the compiler keeps.
void Wipe(void* data, size_t size);

}  // namespace wbcrypt
