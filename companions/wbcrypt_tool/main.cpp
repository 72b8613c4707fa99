// wbcrypt-tool: makes this machine's key and enciphers a stored identity for
// the registry.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "companions/wbcrypt/crypt_format.h"

namespace {

void PrintHelp(FILE* out) {
  fprintf(out,
          "Usage: wbcrypt-tool keygen\n"
          "       wbcrypt-tool encipher TEXT\n"
          "       wbcrypt-tool --help\n"
          "\n"
          "keygen         creates this machine's key file (mode 0600, readable by its\n"
          "               owner only); an existing key is never replaced.\n"
          "encipher TEXT  enciphers TEXT, the stored identity \"machine,password\" (at\n"
          "               most %zu characters), under the machine key and prints the\n"
          "               registry line to paste under the key\n"
          "               [HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History]\n"
          "               of a .reg file, in the form \"1\"=hex:..\n"
          "\n"
          "The key file is $WB_CRYPT_KEY, or %s when that is not set.\n"
          "wbcrypt.dll deciphers with the same key file, so the account that runs the\n"
          "scanning application must own it.\n",
          wbcrypt::kMaxTextLength, wbcrypt::kDefaultKeyPath);
}

int Keygen() {
  std::string path = wbcrypt::KeyPath();
  std::string error;
  if (!wbcrypt::CreateKey(path, &error)) {
    fprintf(stderr, "wbcrypt-tool: cannot create %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  printf("Created the machine key %s\n", path.c_str());
  return 0;
}

int Encipher(const char* text) {
  if (strlen(text) > wbcrypt::kMaxTextLength) {
    fprintf(stderr, "wbcrypt-tool: the text is longer than %zu characters\n",
            wbcrypt::kMaxTextLength);
    return 1;
  }
  std::string path = wbcrypt::KeyPath();
  uint8_t key[wbcrypt::kKeySize];
  if (!wbcrypt::ReadKey(path, key)) {
    fprintf(stderr,
            "wbcrypt-tool: cannot read the machine key %s (it must be %zu bytes, mode 0600; "
            "run wbcrypt-tool keygen)\n",
            path.c_str(), wbcrypt::kKeySize);
    return 1;
  }
  std::vector<uint8_t> value;
  bool ok = wbcrypt::Encipher(key, text, &value);
  wbcrypt::Wipe(key, sizeof(key));
  if (!ok) {
    fprintf(stderr, "wbcrypt-tool: enciphering failed\n");
    return 1;
  }
  printf("\"1\"=hex:");
  for (size_t i = 0; i < value.size(); ++i) printf(i ? ",%02x" : "%02x", value[i]);
  printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    PrintHelp(stdout);
    return 0;
  }
  if (argc == 2 && strcmp(argv[1], "keygen") == 0) return Keygen();
  if (argc == 3 && strcmp(argv[1], "encipher") == 0) return Encipher(argv[2]);
  PrintHelp(stderr);
  return 2;
}
