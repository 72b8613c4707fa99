// AES-256-GCM through OpenSSL's EVP interface, and the machine key's file.
#include "companions/wbcrypt/crypt_format.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wbcrypt {
namespace {

constexpr uint8_t kMagic[4] = {'W', 'B', 'C', '1'};

struct CipherContext {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  ~CipherContext() { EVP_CIPHER_CTX_free(ctx); }
};

void EmptyText(char* destination, int size) {
  if (destination && size > 0) destination[0] = '\0';
}

}  // namespace

void Wipe(void* data, size_t size) { OPENSSL_cleanse(data, size); }

bool Encipher(const uint8_t (&key)[kKeySize], const std::string& text, std::vector<uint8_t>* out) {
  if (text.size() > kMaxTextLength || text.find('\0') != std::string::npos) return false;
  std::vector<uint8_t> value(kHeaderSize + text.size() + kTagSize);
  memcpy(value.data(), kMagic, sizeof(kMagic));
  uint8_t* nonce = value.data() + sizeof(kMagic);
  if (RAND_bytes(nonce, kNonceSize) != 1) return false;
  value[kHeaderSize - 2] = static_cast<uint8_t>(text.size() >> 8);
  value[kHeaderSize - 1] = static_cast<uint8_t>(text.size() & 0xFF);

  CipherContext c;
  int n = 0;
  uint8_t* cipherText = value.data() + kHeaderSize;
  if (!c.ctx || EVP_EncryptInit_ex(c.ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) != 1 ||
      EVP_EncryptInit_ex(c.ctx, nullptr, nullptr, key, nonce) != 1 ||
      EVP_EncryptUpdate(c.ctx, nullptr, &n, value.data(), kHeaderSize) != 1) {
    return false;
  }
  if (!text.empty() &&
      EVP_EncryptUpdate(c.ctx, cipherText, &n, reinterpret_cast<const uint8_t*>(text.data()),
                        static_cast<int>(text.size())) != 1) {
    return false;
  }
  if (EVP_EncryptFinal_ex(c.ctx, cipherText + text.size(), &n) != 1 ||
      EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_GET_TAG, kTagSize, cipherText + text.size()) != 1) {
    return false;
  }
  out->swap(value);
  return true;
}

bool Decipher(const uint8_t (&key)[kKeySize], const uint8_t* data, size_t available,
              char* destination, int size) {
  EmptyText(destination, size);
  if (!data || !destination || size <= 0) return false;
  if (available < kHeaderSize + kTagSize || memcmp(data, kMagic, sizeof(kMagic)) != 0) return false;
  size_t length = (static_cast<size_t>(data[kHeaderSize - 2]) << 8) | data[kHeaderSize - 1];
  if (length > kMaxTextLength || available < kHeaderSize + length + kTagSize) return false;
  if (length + 1 > static_cast<size_t>(size)) return false;

  // Deciphered into a buffer of our own first: the caller's sees only an
  // authentic text.
  uint8_t plain[kMaxTextLength + 16];
  uint8_t tag[kTagSize];
  memcpy(tag, data + kHeaderSize + length, kTagSize);
  const uint8_t* nonce = data + sizeof(kMagic);
  CipherContext c;
  int n = 0;
  bool ok = c.ctx && EVP_DecryptInit_ex(c.ctx, EVP_aes_256_gcm(), nullptr, nullptr, nullptr) == 1 &&
            EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_IVLEN, kNonceSize, nullptr) == 1 &&
            EVP_DecryptInit_ex(c.ctx, nullptr, nullptr, key, nonce) == 1 &&
            EVP_DecryptUpdate(c.ctx, nullptr, &n, data, kHeaderSize) == 1;
  if (ok && length > 0) {
    ok = EVP_DecryptUpdate(c.ctx, plain, &n, data + kHeaderSize, static_cast<int>(length)) == 1 &&
         static_cast<size_t>(n) <= length;
  }
  ok = ok && EVP_CIPHER_CTX_ctrl(c.ctx, EVP_CTRL_GCM_SET_TAG, kTagSize, tag) == 1 &&
       EVP_DecryptFinal_ex(c.ctx, plain + length, &n) == 1;
  // A NUL inside would cut the text silently; such a value was not made here.
  if (ok && memchr(plain, '\0', length) != nullptr) ok = false;
  if (ok) {
    memcpy(destination, plain, length);
    destination[length] = '\0';
  }
  Wipe(plain, sizeof(plain));
  return ok;
}

std::string KeyPath() {
  const char* path = getenv("WB_CRYPT_KEY");
  return path && path[0] ? std::string(path) : std::string(kDefaultKeyPath);
}

bool ReadKey(const std::string& path, uint8_t (&key)[kKeySize]) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) == 0 &&
            st.st_size == static_cast<off_t>(kKeySize);
  size_t done = 0;
  while (ok && done < kKeySize) {
    ssize_t n = read(fd, key + done, kKeySize - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  close(fd);
  if (!ok) Wipe(key, kKeySize);
  return ok;
}

bool CreateKey(const std::string& path, std::string* error) {
  uint8_t key[kKeySize];
  if (RAND_bytes(key, sizeof(key)) != 1) {
    *error = "no random bytes available";
    return false;
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    *error = errno == EEXIST ? "the key file exists already; remove it first to replace the key"
                             : strerror(errno);
    Wipe(key, sizeof(key));
    return false;
  }
  bool ok = fchmod(fd, 0600) == 0;
  size_t done = 0;
  while (ok && done < sizeof(key)) {
    ssize_t n = write(fd, key + done, sizeof(key) - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (!ok) *error = strerror(errno);
  close(fd);
  if (!ok) unlink(path.c_str());
  Wipe(key, sizeof(key));
  return ok;
}

}  // namespace wbcrypt
