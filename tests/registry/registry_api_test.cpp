// RegOpenKeyExA, RegQueryValueExA and RegCloseKey over hive files in a
// scratch folder: statuses, sizes, names, handles, the computer name, hive
// files that are missing, broken or replaced, and where hives live by default.
#include "platform/registry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reg_test_util.h"

namespace {

using namespace std::string_literals;
using regtest::ReadString;

const char kClientHive[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client]\r\n"
    "\"Protocol\"=\"ncacn_ip_tcp\"\r\n"
    "\"Empty\"=\"\"\r\n"
    "\"Count\"=dword:0000002a\r\n"
    "\"Blob\"=hex:01,02,03\r\n"
    "@=\"default text\"\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History]\r\n"
    "\"1\"=hex:aa,bb,cc,dd\r\n";

class RegistryApi : public testing::Test {
 protected:
  void SetUp() override {
    previousReader_ = WbSetHostNameReader(&FixedHostName);
    registry_.WriteMachine(kClientHive);
  }
  void TearDown() override { WbSetHostNameReader(previousReader_); }

  static int FixedHostName(char* name, size_t size) {
    snprintf(name, size, "%s", "scanhost.example.org");
    return 0;
  }

  HKEY OpenClient(REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client", 0, access, &key),
              ERROR_SUCCESS);
    return key;
  }

  regtest::ScratchRegistry registry_;
  WbHostNameReader previousReader_ = nullptr;
};

TEST_F(RegistryApi, QueryReportsTypeSizeAndData) {
  HKEY key = OpenClient();
  ASSERT_NE(key, nullptr);

  char buffer[512];
  DWORD type = 0;
  DWORD size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExA(key, "Protocol", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 13u);  // "ncacn_ip_tcp" and its NUL
  EXPECT_STREQ(buffer, "ncacn_ip_tcp");

  size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(buffer[0], '\0');

  DWORD number = 0;
  size = sizeof(number);
  ASSERT_EQ(RegQueryValueExA(key, "Count", nullptr, &type, reinterpret_cast<LPBYTE>(&number), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(number, 42u);

  size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(std::string(buffer, size), "\x01\x02\x03"s);

  // The default value, by null name and by empty name.
  for (LPCSTR name : {static_cast<LPCSTR>(nullptr), ""}) {
    size = sizeof(buffer);
    ASSERT_EQ(RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "default text");
  }
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryApi, SizesWithSmallBuffersAndWithoutData) {
  HKEY key = OpenClient();
  char buffer[64];

  // Without data: only the size (and the type).
  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 13u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

  // One byte short: ERROR_MORE_DATA, the size needed, nothing past the buffer.
  memset(buffer, 'Z', sizeof(buffer));
  size = 12;
  type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 13u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(buffer[12], 'Z');

  // Exactly the size: taken whole.
  size = 13;
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 13u);
  EXPECT_STREQ(buffer, "ncacn_ip_tcp");

  size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Count", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  RegCloseKey(key);
}

// A 512-byte buffer holds a string of 511 characters and its NUL, and not
// one character more.
TEST_F(RegistryApi, StringsAtTheEdgeOfTheBuffer) {
  registry_.WriteMachine("REGEDIT4\n[HKLM\\Edge]\n\"Fits\"=\"" + std::string(511, 'a') + "\"\n\"Over\"=\"" +
                         std::string(512, 'b') + "\"\n");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Edge", 0, KEY_READ, &key), ERROR_SUCCESS);
  char buffer[513];
  buffer[512] = 'Z';
  DWORD size = 512;
  EXPECT_EQ(RegQueryValueExA(key, "Fits", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 512u);
  EXPECT_EQ(std::string(buffer), std::string(511, 'a'));
  size = 512;
  EXPECT_EQ(RegQueryValueExA(key, "Over", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 513u);
  EXPECT_EQ(buffer[512], 'Z');
  RegCloseKey(key);
}

TEST_F(RegistryApi, MissingKeysAndValuesGiveFileNotFound) {
  HKEY key = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x1234));
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Nothing", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);

  key = OpenClient();
  DWORD type = 77;
  DWORD size = 99;
  char buffer[16];
  EXPECT_EQ(RegQueryValueExA(key, "NoSuchValue", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 77u);  // out-parameters untouched
  EXPECT_EQ(size, 99u);
  RegCloseKey(key);

  // A key without a default value.
  HKEY history = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client\\History", 0, KEY_READ,
                          &history),
            ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(history, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(history);
}

TEST_F(RegistryApi, NamesAreCaseInsensitive) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\VELMORA\\wirebay\\CLIENT\\history", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\Wirebay\\Client", "PROTOCOL"), "ncacn_ip_tcp");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\velmora\\Wirebay\\client", "protocol"), "ncacn_ip_tcp");
}

TEST_F(RegistryApi, SubkeysOfOpenKeysAndReopeningTheSameKey) {
  HKEY velmora = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora", 0, KEY_READ, &velmora), ERROR_SUCCESS);
  HKEY client = nullptr;
  ASSERT_EQ(RegOpenKeyExA(velmora, "Wirebay\\Client", 0, KEY_READ, &client), ERROR_SUCCESS);
  EXPECT_EQ(ReadString(client, nullptr, "Protocol"), "ncacn_ip_tcp");
  EXPECT_EQ(ReadString(client, "", "Protocol"), "ncacn_ip_tcp");
  EXPECT_EQ(ReadString(client, "History\\", "1"), "\xaa\xbb\xcc\xdd"s);  // one trailing backslash

  HKEY same = nullptr;
  ASSERT_EQ(RegOpenKeyExA(client, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
  EXPECT_NE(same, client);  // a handle of its own
  EXPECT_EQ(RegCloseKey(client), ERROR_SUCCESS);
  EXPECT_EQ(ReadString(same, nullptr, "Protocol"), "ncacn_ip_tcp");

  HKEY bad = nullptr;
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\SOFTWARE", 0, KEY_READ, &bad), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(velmora, "Wirebay\\\\Client", 0, KEY_READ, &bad), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(velmora, "Wirebay\\Client\\Missing", 0, KEY_READ, &bad), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(bad, nullptr);
  RegCloseKey(same);
  RegCloseKey(velmora);

  // Values at the root itself, through the root handle.
  registry_.WriteMachine("REGEDIT4\n[HKEY_LOCAL_MACHINE]\n\"AtRoot\"=\"r\"\n");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, nullptr, "AtRoot"), "r");
  char buffer[8];
  DWORD size = sizeof(buffer);
  EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "AtRoot", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer),
                             &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "r");
}

TEST_F(RegistryApi, HandlesAndParameters) {
  HKEY key = OpenClient();
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  HKEY sub = nullptr;
  EXPECT_EQ(RegOpenKeyExA(key, "History", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyExA(nullptr, "x", 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_PERFORMANCE_DATA, nullptr, 0, KEY_READ, &sub), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);

  key = OpenClient();
  DWORD reserved = 0;
  char buffer[32];
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), nullptr),
            ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(RegistryApi, OnlyReadAccessIsGranted) {
  HKEY key = nullptr;
  for (REGSAM access : {REGSAM{KEY_WRITE}, REGSAM{KEY_ALL_ACCESS}, REGSAM{KEY_SET_VALUE},
                        REGSAM{KEY_READ | KEY_CREATE_SUB_KEY}}) {
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client", 0, access, &key),
              ERROR_ACCESS_DENIED)
        << access;
    EXPECT_EQ(key, nullptr);
  }
  DWORD size = 0;
  key = OpenClient(KEY_QUERY_VALUE);
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(key);
  // A handle opened without the right to query values cannot read them.
  key = OpenClient(KEY_ENUMERATE_SUB_KEYS);
  EXPECT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryApi, CurrentUserHasItsOwnHive) {
  registry_.WriteUser(regtest::Utf16Le(
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Velmora\\VL Claritype Pro\\IE]\r\n"
      "\"Coach\"=\"C:\\\\Scan\\\\bin\\\\app.exe\"\r\n",
      true));
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "Software\\Velmora\\VL Claritype Pro\\IE", "Coach"),
            "C:\\Scan\\bin\\app.exe");
  LONG status = 0;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "Software\\Velmora\\VL Claritype Pro\\IE", "Coach", &status));
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
}

constexpr char kComputerNameKey[] = "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

TEST_F(RegistryApi, ComputerNameComesFromTheHostName) {
  // Not in the hive: the host name up to its first dot, as REG_SZ.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kComputerNameKey, 0, KEY_READ, &key), ERROR_SUCCESS);
  char buffer[2048];
  DWORD size = sizeof(buffer);
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExA(key, "ComputerName", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 9u);
  EXPECT_STREQ(buffer, "scanhost");
  RegCloseKey(key);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "system\\currentcontrolset\\control\\computername\\computername",
                       "computername"),
            "scanhost");

  // Also without any hive file.
  std::filesystem::remove(registry_.Machine());
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName"), "scanhost");
  LONG status = 0;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client", "Protocol", &status));
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);

  // The key in the hive without the value: the host name is added to it.
  registry_.WriteMachine(std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\") + kComputerNameKey +
                         "]\n\"Other\"=\"o\"\n");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName"), "scanhost");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "Other"), "o");

  // The value in the hive wins.
  registry_.WriteMachine(std::string("REGEDIT4\n[HKEY_LOCAL_MACHINE\\") + kComputerNameKey +
                         "]\n\"ComputerName\"=\"FROMHIVE\"\n");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName"), "FROMHIVE");

  // Only the machine's hive has it.
  EXPECT_FALSE(ReadString(HKEY_CURRENT_USER, kComputerNameKey, "ComputerName", &status));
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
}

int FailingHostName(char*, size_t) { return -1; }
int EmptyHostName(char* name, size_t) {
  name[0] = '\0';
  return 0;
}
int UnterminatedHostName(char* name, size_t size) {
  memset(name, 'h', size);  // as gethostname may leave a cut name
  return 0;
}

TEST_F(RegistryApi, ComputerNameKeyIsAbsentWithoutAHostName) {
  for (WbHostNameReader reader : {&FailingHostName, &EmptyHostName}) {
    WbSetHostNameReader(reader);
    LONG status = 0;
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", &status));
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  }
  WbSetHostNameReader(&UnterminatedHostName);
  std::optional<std::string> name = ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName");
  ASSERT_TRUE(name);
  EXPECT_EQ(name->find_first_not_of('h'), std::string::npos);
  EXPECT_LT(name->size(), 256u);
}

TEST_F(RegistryApi, ComputerNameFromThePlatformHostName) {
  WbSetHostNameReader(nullptr);
  char host[256] = {};
  ASSERT_EQ(gethostname(host, sizeof(host) - 1), 0);
  std::string expected(host);
  expected = expected.substr(0, expected.find('.'));
  if (expected.empty()) GTEST_SKIP() << "this machine has no host name";
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName"), expected);
}

// Every open reads the hive as the file is now: a rewrite in place within
// the same clock tick, and a replacement by rename.
TEST_F(RegistryApi, ChangesToTheHiveAreSeenByTheNextOpen) {
  const char* key = "SOFTWARE\\Velmora\\Wirebay\\Client";
  for (int round = 0; round < 20; ++round) {
    std::string value = "value-" + std::to_string(round % 10);  // same length every round
    registry_.WriteMachine("REGEDIT4\n[HKLM\\SOFTWARE\\Velmora\\Wirebay\\Client]\n\"Protocol\"=\"" + value + "\"\n");
    ASSERT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol"), value) << round;
  }
  registry_.ReplaceMachine("REGEDIT4\n[HKLM\\SOFTWARE\\Velmora\\Wirebay\\Client]\n\"Protocol\"=\"renamed\"\n", "a");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol"), "renamed");
}

// With every file old enough to be trusted from the cache, a cached hive is
// still read again as soon as the file differs: another size, another file,
// no file, or another host name behind the computer name.
int64_t ClockAnHourAhead() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<int64_t>(now.tv_sec) + 3600) * 1'000'000'000 + now.tv_nsec;
}
int OtherHostName(char* name, size_t size) {
  snprintf(name, size, "%s", "otherhost");
  return 0;
}

TEST_F(RegistryApi, CachedHiveIsReadAgainWhenTheFileChanges) {
  WbRegistryClock previousClock = WbSetRegistryClock(&ClockAnHourAhead);
  const char* key = "SOFTWARE\\Velmora\\Wirebay\\Client";
  std::string value;
  for (int round = 0; round < 10; ++round) {
    value += "x";  // a new size every round
    registry_.WriteMachine("REGEDIT4\n[HKLM\\SOFTWARE\\Velmora\\Wirebay\\Client]\n\"Protocol\"=\"" + value + "\"\n");
    ASSERT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol"), value) << round;
    ASSERT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol"), value) << round;
  }
  registry_.ReplaceMachine(std::string(kClientHive), "r");
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol"), "ncacn_ip_tcp");

  std::filesystem::remove(registry_.Machine());
  LONG status = 0;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol", &status));
  EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
  registry_.WriteMachine(kClientHive);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol"), "ncacn_ip_tcp");

  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName"), "scanhost");
  WbSetHostNameReader(&OtherHostName);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName"), "otherhost");
  WbSetRegistryClock(previousClock);
}

// An open handle reads the hive as it was when the handle was opened.
TEST_F(RegistryApi, HandleKeepsItsSnapshot) {
  HKEY key = OpenClient();
  registry_.ReplaceMachine("REGEDIT4\n[HKLM\\SOFTWARE\\Velmora\\Wirebay\\Client]\n\"Protocol\"=\"new\"\n", "c");
  EXPECT_EQ(ReadString(key, nullptr, "Protocol"), "new");  // a new open sees the new file
  char buffer[32];
  DWORD size = sizeof(buffer);
  ASSERT_EQ(RegQueryValueExA(key, "Protocol", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(buffer, "ncacn_ip_tcp");
  RegCloseKey(key);
}

TEST_F(RegistryApi, BrokenHivesFailCleanly) {
  const char* key = "SOFTWARE\\Velmora\\Wirebay\\Client";
  struct Case {
    const char* name;
    std::string bytes;
  };
  const Case cases[] = {
      {"binary", "\x7f" "ELF\x02\x01\x01\0\0\0\xff\xfe\x00\x01"s},
      {"text without header", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client]\n\"Protocol\"=\"x\"\n"},
      {"empty", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    registry_.WriteMachine(c.bytes);
    LONG status = 0;
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, key, "Protocol", &status));
    EXPECT_EQ(status, ERROR_REGISTRY_CORRUPT);
    EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", &status));
    EXPECT_EQ(status, ERROR_REGISTRY_CORRUPT);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(HKEY_LOCAL_MACHINE, "x", nullptr, nullptr, nullptr, &size), ERROR_REGISTRY_CORRUPT);
  }
  // A broken hive of one root leaves the other alone.
  registry_.WriteUser("REGEDIT4\n[HKEY_CURRENT_USER\\A]\n\"v\"=\"user\"\n");
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, "A", "v"), "user");
}

TEST_F(RegistryApi, OversizedHiveIsRefusedWithoutReadingIt) {
  {
    std::string text = "REGEDIT4\n[HKLM\\Big]\n\"v\"=\"x\"\n";
    text.resize(WB_REGISTRY_MAX_HIVE_BYTES + 1, ';');
    registry_.WriteMachine(text);
  }
  LONG status = 0;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "Big", "v", &status));
  EXPECT_EQ(status, ERROR_REGISTRY_CORRUPT);
  // A sparse file of 64 GiB costs the refusal no more.
  ASSERT_EQ(truncate(registry_.Machine().c_str(), off_t{64} << 30), 0);
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "Big", "v", &status));
  EXPECT_EQ(status, ERROR_REGISTRY_CORRUPT);
}

TEST_F(RegistryApi, LargeHiveWithinTheLimitIsRead) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Large]\r\n";
  int count = 0;
  while (text.size() < 6u * 1024 * 1024) {
    text += "\"v" + std::to_string(count++) + "\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,\\\r\n"
            "  10,11,12,13,14,15,16,17,18,19,1a,1b,1c,1d,1e,1f\r\n";
  }
  text += "\"Last\"=\"end\"\r\n";
  registry_.WriteMachine(text);
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, "Large", "Last"), "end");
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Large", 0, KEY_READ, &key), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, ("v" + std::to_string(count - 1)).c_str(), nullptr, nullptr, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(size, 32u);
  RegCloseKey(key);
}

// What stands in the hive's place is not always a file: nothing hangs.
TEST_F(RegistryApi, HiveThatIsNotARegularFile) {
  std::filesystem::remove(registry_.Machine());
  ASSERT_EQ(mkfifo(registry_.Machine().c_str(), 0600), 0);  // opening it for reading would block
  LONG status = 0;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE", "x", &status));
  EXPECT_EQ(status, ERROR_REGISTRY_CORRUPT);

  std::filesystem::remove(registry_.Machine());
  std::filesystem::create_directory(registry_.Machine());
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE", "x", &status));
  EXPECT_EQ(status, ERROR_REGISTRY_CORRUPT);
}

TEST_F(RegistryApi, UnreadableHiveGivesAccessDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  ASSERT_EQ(chmod(registry_.Machine().c_str(), 0), 0);
  LONG status = 0;
  EXPECT_FALSE(ReadString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client", "Protocol", &status));
  EXPECT_EQ(status, ERROR_ACCESS_DENIED);
}

TEST(RegistryPaths, DefaultsWhenTheFolderIsNotSet) {
  regtest::ScopedEnv noDir("WB_REGISTRY_DIR", nullptr);
  char path[MAX_PATH];
  EXPECT_GT(WbGetRegistryHivePath(HKEY_LOCAL_MACHINE, path, sizeof(path)), 0u);
  EXPECT_STREQ(path, "/etc/wirebay/registry/HKEY_LOCAL_MACHINE.reg");
  EXPECT_GT(WbGetRegistryHivePath(HKEY_CLASSES_ROOT, path, sizeof(path)), 0u);
  EXPECT_STREQ(path, "/etc/wirebay/registry/HKEY_CLASSES_ROOT.reg");
  {
    regtest::ScopedEnv config("XDG_CONFIG_HOME", "/cfg");
    WbGetRegistryHivePath(HKEY_CURRENT_USER, path, sizeof(path));
    EXPECT_STREQ(path, "/cfg/wirebay/registry/HKEY_CURRENT_USER.reg");
  }
  {
    regtest::ScopedEnv config("XDG_CONFIG_HOME", "relative/ignored");
    regtest::ScopedEnv home("HOME", "/home/someone");
    WbGetRegistryHivePath(HKEY_CURRENT_USER, path, sizeof(path));
    EXPECT_STREQ(path, "/home/someone/.config/wirebay/registry/HKEY_CURRENT_USER.reg");
  }
  {
    regtest::ScopedEnv empty("WB_REGISTRY_DIR", "");
    WbGetRegistryHivePath(HKEY_LOCAL_MACHINE, path, sizeof(path));
    EXPECT_STREQ(path, "/etc/wirebay/registry/HKEY_LOCAL_MACHINE.reg");
  }
  {
    regtest::ScopedEnv dir("WB_REGISTRY_DIR", "/srv/reg");
    WbGetRegistryHivePath(HKEY_CURRENT_USER, path, sizeof(path));
    EXPECT_STREQ(path, "/srv/reg/HKEY_CURRENT_USER.reg");
    // Cut to the buffer, with the full length returned.
    char small[8];
    EXPECT_EQ(WbGetRegistryHivePath(HKEY_LOCAL_MACHINE, small, sizeof(small)), strlen("/srv/reg/HKEY_LOCAL_MACHINE.reg"));
    EXPECT_STREQ(small, "/srv/re");
  }
  EXPECT_EQ(WbGetRegistryHivePath(HKEY_PERFORMANCE_DATA, path, sizeof(path)), 0u);
}

}  // namespace
