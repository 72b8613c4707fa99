// The stored identity's cipher: round trips, and that a changed, cut, foreign
// or oversized value deciphers to the empty text without writing past the
// destination. Then the machine key's file, and wbcrypt.dll with
// wbcrypt-tool as a user would meet them.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "companions/wbcrypt/crypt_format.h"
#include "support/scratch.h"

namespace {

using wbcrypt::kKeySize;

struct Key {
  uint8_t bytes[kKeySize];
  explicit Key(uint8_t seed) {
    for (size_t i = 0; i < kKeySize; ++i) bytes[i] = static_cast<uint8_t>(seed * 31 + i * 7);
  }
};

// Deciphers from a 2048-byte registry-sized buffer holding `value`, into a
// 512-byte destination followed by a guard band.
struct Outcome {
  bool ok;
  std::string text;
  bool guardIntact;
};

Outcome DecipherInRegistryBuffer(const Key& key, const std::vector<uint8_t>& value, int size = 512) {
  std::vector<uint8_t> registry(2048, 0);
  if (!value.empty()) memcpy(registry.data(), value.data(), std::min(value.size(), registry.size()));
  std::vector<char> destination(512 + 64, '#');
  Outcome o;
  o.ok = wbcrypt::Decipher(key.bytes, registry.data(), registry.size(), destination.data(), size);
  o.text = size > 0 ? std::string(destination.data()) : std::string();
  o.guardIntact = true;
  for (size_t i = static_cast<size_t>(size > 0 ? size : 0); i < destination.size(); ++i) {
    if (destination[i] != '#') o.guardIntact = false;
  }
  return o;
}

std::vector<uint8_t> Enciphered(const Key& key, const std::string& text) {
  std::vector<uint8_t> value;
  EXPECT_TRUE(wbcrypt::Encipher(key.bytes, text, &value));
  return value;
}

class RoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(RoundTrip, DeciphersToTheSameText) {
  Key key(1);
  std::vector<uint8_t> value = Enciphered(key, GetParam());
  EXPECT_LE(value.size(), wbcrypt::kMaxEncipheredSize);
  Outcome o = DecipherInRegistryBuffer(key, value);
  EXPECT_TRUE(o.ok);
  EXPECT_EQ(o.text, GetParam());
  EXPECT_TRUE(o.guardIntact);
}

INSTANTIATE_TEST_SUITE_P(Texts, RoundTrip,
                         ::testing::Values(std::string(), std::string("scanhost,secret"),
                                           std::string(",,x,,"), std::string(511, 'm')));

TEST(Cipher, SameTextEnciphersDifferentlyEachTime) {
  Key key(1);
  EXPECT_NE(Enciphered(key, "scanhost,secret"), Enciphered(key, "scanhost,secret"));
}

TEST(Cipher, RefusesTextsItCannotCarry) {
  Key key(1);
  std::vector<uint8_t> value;
  EXPECT_FALSE(wbcrypt::Encipher(key.bytes, std::string(512, 'm'), &value));
  EXPECT_FALSE(wbcrypt::Encipher(key.bytes, std::string("a\0b", 3), &value));
}

TEST(Cipher, EveryChangedByteGivesTheEmptyText) {
  Key key(2);
  const std::vector<uint8_t> value = Enciphered(key, "scanhost,secret");
  for (size_t i = 0; i < value.size(); ++i) {
    for (uint8_t flip : {0x01, 0x80}) {
      std::vector<uint8_t> changed = value;
      changed[i] ^= flip;
      Outcome o = DecipherInRegistryBuffer(key, changed);
      EXPECT_FALSE(o.ok) << "byte " << i;
      EXPECT_EQ(o.text, "") << "byte " << i;
      EXPECT_TRUE(o.guardIntact);
    }
  }
}

TEST(Cipher, EveryTruncationGivesTheEmptyText) {
  Key key(3);
  const std::vector<uint8_t> value = Enciphered(key, "scanhost,secret");
  for (size_t keep = 0; keep < value.size(); ++keep) {
    std::vector<uint8_t> cut(value.begin(), value.begin() + static_cast<long>(keep));
    Outcome o = DecipherInRegistryBuffer(key, cut);
    EXPECT_FALSE(o.ok) << "kept " << keep;
    EXPECT_EQ(o.text, "") << "kept " << keep;
  }
  // Cut short of what the caller says is there: nothing is read past it.
  std::vector<char> destination(512, '#');
  EXPECT_FALSE(wbcrypt::Decipher(key.bytes, value.data(), value.size() - 1, destination.data(), 512));
  EXPECT_EQ(destination[0], '\0');
}

struct ForeignCase {
  const char* name;
  std::vector<uint8_t> value;
};

TEST(Cipher, ForeignValuesGiveTheEmptyText) {
  Key key(4);
  std::vector<uint8_t> otherKeys = Enciphered(Key(5), "scanhost,secret");
  std::vector<uint8_t> overlong = Enciphered(key, "scanhost,secret");
  overlong[wbcrypt::kHeaderSize - 2] = 0xFF;  // claims 65535 bytes
  overlong[wbcrypt::kHeaderSize - 1] = 0xFF;
  std::string plain = "scanhost,secret";
  const ForeignCase cases[] = {
      {"other key", otherKeys},
      {"plain text", std::vector<uint8_t>(plain.begin(), plain.end())},
      {"zeros", std::vector<uint8_t>(64, 0)},
      {"length beyond the format", overlong},
  };
  for (const ForeignCase& c : cases) {
    Outcome o = DecipherInRegistryBuffer(key, c.value);
    EXPECT_FALSE(o.ok) << c.name;
    EXPECT_EQ(o.text, "") << c.name;
    EXPECT_TRUE(o.guardIntact) << c.name;
  }
}

TEST(Cipher, ATextThatDoesNotFitTheDestinationIsNotCut) {
  Key key(6);
  std::vector<uint8_t> value = Enciphered(key, "scanhost,secret");  // 15 characters
  Outcome tight = DecipherInRegistryBuffer(key, value, 16);
  EXPECT_TRUE(tight.ok);
  EXPECT_EQ(tight.text, "scanhost,secret");
  EXPECT_TRUE(tight.guardIntact);
  Outcome small = DecipherInRegistryBuffer(key, value, 15);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.text, "");
  EXPECT_TRUE(small.guardIntact);
  Outcome none = DecipherInRegistryBuffer(key, value, 0);
  EXPECT_FALSE(none.ok);
  EXPECT_TRUE(none.guardIntact);
}

// --- The key file --------------------------------------------------------------

TEST(KeyFile, CreatedForItsOwnerAloneAndNeverReplaced) {
  wbtest::ScratchDir scratch;
  const std::string path = scratch.path() + "/machine.key";
  std::string error;
  ASSERT_TRUE(wbcrypt::CreateKey(path, &error)) << error;
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, static_cast<off_t>(kKeySize));
  const std::string before = wbtest::ReadFile(path);
  EXPECT_FALSE(wbcrypt::CreateKey(path, &error));
  EXPECT_EQ(wbtest::ReadFile(path), before);
  uint8_t key[kKeySize];
  EXPECT_TRUE(wbcrypt::ReadKey(path, key));
}

TEST(KeyFile, RefusesKeysOthersCanReadOrOfTheWrongSize) {
  wbtest::ScratchDir scratch;
  const std::string path = scratch.path() + "/machine.key";
  std::string error;
  ASSERT_TRUE(wbcrypt::CreateKey(path, &error));
  uint8_t key[kKeySize];
  chmod(path.c_str(), 0644);
  EXPECT_FALSE(wbcrypt::ReadKey(path, key));
  chmod(path.c_str(), 0600);
  EXPECT_TRUE(wbcrypt::ReadKey(path, key));

  const std::string link = scratch.path() + "/link.key";
  ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
  EXPECT_FALSE(wbcrypt::ReadKey(link, key));

  const std::string shortKey = scratch.path() + "/short.key";
  wbtest::WriteFile(shortKey, std::string(kKeySize - 1, 'k'));
  chmod(shortKey.c_str(), 0600);
  EXPECT_FALSE(wbcrypt::ReadKey(shortKey, key));
  EXPECT_FALSE(wbcrypt::ReadKey(scratch.path() + "/missing.key", key));
}

// --- wbcrypt.dll and wbcrypt-tool ----------------------------------------------

std::vector<uint8_t> ParseRegLine(const std::string& line) {
  std::vector<uint8_t> bytes;
  const std::string prefix = "\"1\"=hex:";
  if (line.compare(0, prefix.size(), prefix) != 0) return bytes;
  for (size_t i = prefix.size(); i + 1 < line.size(); i += 3) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(line.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

TEST(Companions, ToolEnciphersWhatTheLibraryDeciphers) {
  wbtest::ScratchDir scratch;
  const std::string keyPath = scratch.path() + "/machine.key";
  const std::string tool = "WB_CRYPT_KEY='" + keyPath + "' '" + wbtest::BinDir() + "/wbcrypt-tool'";
  EXPECT_EQ(wbtest::Run(scratch.path(), tool + " keygen"), "Created the machine key " + keyPath);
  const std::string line = wbtest::Run(scratch.path(), tool + " encipher 'scanhost,secret'");
  std::vector<uint8_t> value = ParseRegLine(line);
  ASSERT_FALSE(value.empty()) << line;
  EXPECT_NE(line.find("hex:57,42,43,31,"), std::string::npos);  // "WBC1"

  void* dl = dlopen((wbtest::BinDir() + "/wbcrypt.dll").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(dl, nullptr) << dlerror();
  auto decrypt = reinterpret_cast<int (*)(const char*, char*, int)>(dlsym(dl, "DecryptToCharBuffer"));
  ASSERT_NE(decrypt, nullptr);
  std::vector<char> registry(2048, 0);
  memcpy(registry.data(), value.data(), value.size());
  char text[512];
  {
    wbtest::ScopedEnv env("WB_CRYPT_KEY", keyPath);
    EXPECT_EQ(decrypt(registry.data(), text, sizeof(text)), 1);
    EXPECT_STREQ(text, "scanhost,secret");
  }
  {
    // Another machine's key: the empty text.
    const std::string otherKey = scratch.path() + "/other.key";
    std::string error;
    ASSERT_TRUE(wbcrypt::CreateKey(otherKey, &error));
    wbtest::ScopedEnv env("WB_CRYPT_KEY", otherKey);
    memset(text, 'x', sizeof(text));
    EXPECT_EQ(decrypt(registry.data(), text, sizeof(text)), 0);
    EXPECT_STREQ(text, "");
  }
  {
    wbtest::ScopedEnv env("WB_CRYPT_KEY", scratch.path() + "/missing.key");
    EXPECT_EQ(decrypt(registry.data(), text, sizeof(text)), 0);
    EXPECT_STREQ(text, "");
  }
  dlclose(dl);

  // Only the one function is exported.
  const std::string symbols =
      wbtest::Run(scratch.path(), "nm -D --defined-only '" + wbtest::BinDir() + "/wbcrypt.dll' | awk '{print $3}'");
  EXPECT_EQ(symbols, "DecryptToCharBuffer");
}

TEST(Companions, ToolExplainsItselfAndRefusesWhatItCannotDo) {
  wbtest::ScratchDir scratch;
  const std::string tool = "WB_CRYPT_KEY='" + scratch.path() + "/k' '" + wbtest::BinDir() + "/wbcrypt-tool'";
  const std::string help = wbtest::Run(scratch.path(), tool + " --help");
  for (const char* word : {"keygen", "encipher TEXT", "WB_CRYPT_KEY", "\"1\"=hex:", "History"}) {
    EXPECT_NE(help.find(word), std::string::npos) << word;
  }
  // No key yet: encipher fails without printing a line.
  EXPECT_EQ(wbtest::Run(scratch.path(), tool + " encipher x 2>/dev/null; echo rc=$?"), "rc=1");
  EXPECT_EQ(wbtest::Run(scratch.path(), tool + " keygen >/dev/null; echo rc=$?"), "rc=0");
  EXPECT_EQ(wbtest::Run(scratch.path(), tool + " keygen 2>/dev/null; echo rc=$?"), "rc=1");
  EXPECT_EQ(wbtest::Run(scratch.path(), tool + " encipher " + std::string(512, 'm') +
                                            " 2>/dev/null; echo rc=$?"),
            "rc=1");
  EXPECT_EQ(wbtest::Run(scratch.path(), tool + " bogus 2>/dev/null; echo rc=$?"), "rc=2");
}

}  // namespace
