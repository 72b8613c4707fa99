// GetMachineNameAndPassword: how the deciphered identity splits, what the
// computer name becomes, the bounds of every value it reads, its log lines,
// and calls from several threads at once. A stand-in decipherer takes the
// stored bytes as the text, so the cases read plainly.
#include "wbremote/machine_identity.h"

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/framework.h"
#include "platform/registry.h"
#include "startup_fixture.h"

namespace {

using wbtest::Hive;

int PlainDecrypt(const char* enciphered, char* destination, int size) {
  size_t n = strnlen(enciphered, static_cast<size_t>(size) - 1);
  memcpy(destination, enciphered, n);
  destination[n] = '\0';
  return 1;
}

constexpr const char* kEnter = "Enter - GetMachineNameAndPassword";
constexpr const char* kExit = "Exit  - GetMachineNameAndPassword";
constexpr const char* kUnnamed = "UNNAMED-WORKSTATION";  // string 32779 of wbres.dll

class MachineIdentity : public wbtest::StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    previousDecrypt_ = SetDecryptToCharBuffer(&PlainDecrypt);
    resources_ = LoadLibraryA("wbres.dll");
    ASSERT_NE(resources_, nullptr);
    AfxGetStaticModuleState()->m_hCurrentResourceHandle = resources_;
    log_.Init("wbremote.log", 7, nullptr);
  }
  void TearDown() override {
    AfxGetStaticModuleState()->m_hCurrentResourceHandle = nullptr;
    FreeLibrary(resources_);
    SetDecryptToCharBuffer(previousDecrypt_);
    StartupTest::TearDown();
  }

  struct Result {
    int result;
    std::string machine, computer, password;
  };
  Result Call() {
    char machine[512], computer[512], password[512];
    memset(machine, 'x', sizeof(machine));
    memset(computer, 'x', sizeof(computer));
    memset(password, 'x', sizeof(password));
    int result = GetMachineNameAndPassword(machine, computer, password);
    // Each output is a terminated string inside its 512 bytes.
    EXPECT_NE(memchr(machine, '\0', sizeof(machine)), nullptr);
    EXPECT_NE(memchr(computer, '\0', sizeof(computer)), nullptr);
    EXPECT_NE(memchr(password, '\0', sizeof(password)), nullptr);
    return {result, machine, computer, password};
  }

  static Hive WithIdentity(const std::string& identity) {
    Hive hive;
    hive.Key(wbtest::kHistoryKey).String("1", identity);
    hive.Key(wbtest::kComputerNameKey).String("ComputerName", "WORKSTATION7");
    return hive;
  }

  CDiagLog log_;
  HMODULE resources_ = nullptr;
  DecryptToCharBufferFn previousDecrypt_ = nullptr;
};

struct SplitCase {
  const char* name;
  const char* deciphered;
  int result;
  const char* machine;
  const char* password;
};

class IdentitySplit : public MachineIdentity, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(IdentitySplit, FieldsBetweenCommasAndEmptyRunsSkipped) {
  const SplitCase& c = GetParam();
  WriteHive(WithIdentity(c.deciphered));
  Result r = Call();
  EXPECT_EQ(r.result, c.result);
  EXPECT_EQ(r.machine, c.machine);
  EXPECT_EQ(r.password, c.password);
  if (c.result == 1) {
    EXPECT_EQ(r.computer, "WORKSTATION7");
    EXPECT_EQ(Log(), (std::vector<std::string>{"Date:", kEnter, kExit}));
  } else {
    EXPECT_EQ(r.computer, "");
    EXPECT_EQ(Log(), (std::vector<std::string>{"Date:", kEnter}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, IdentitySplit,
    ::testing::Values(SplitCase{"TwoFields", "scanhost,secret", 1, "scanhost", "secret"},
                      SplitCase{"NoComma", "scanhost", 1, "scanhost", ""},
                      SplitCase{"LeadingComma", ",scanhost", 1, "scanhost", ""},
                      SplitCase{"ThreeFields", "scanhost,secret,extra", 1, "scanhost", "secret"},
                      SplitCase{"CommasInARow", ",,scanhost,,,secret,,", 1, "scanhost", "secret"},
                      SplitCase{"Empty", "", 0, "", ""},
                      SplitCase{"CommasOnly", ",,,", 0, "", ""}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST_F(MachineIdentity, NoStoredIdentityGivesZeroAndEmptyStrings) {
  struct Case {
    const char* name;
    Hive hive;
  };
  Hive noValue;
  noValue.Key(wbtest::kHistoryKey).String("2", "scanhost,secret");
  Hive tooLong = WithIdentity(std::string(2048, 'm'));  // 2049 bytes with the NUL
  const Case cases[] = {{"no history key", Hive().Key(wbtest::kClientKey)},
                        {"no value 1", noValue},
                        {"value over 2048 bytes", tooLong}};
  for (const Case& c : cases) {
    WriteHive(c.hive);
    Result r = Call();
    EXPECT_EQ(r.result, 0) << c.name;
    EXPECT_EQ(r.machine, "") << c.name;
    EXPECT_EQ(r.password, "") << c.name;
    EXPECT_EQ(r.computer, "") << c.name;
  }
}

TEST_F(MachineIdentity, DecipheredTextIsBoundedBy511Characters) {
  // 2047 characters fit the 2048-byte read; the decipherer's 512-byte
  // destination holds 511 of them.
  WriteHive(WithIdentity(std::string(2047, 'm')));
  Result r = Call();
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.machine, std::string(511, 'm'));
}

TEST_F(MachineIdentity, WithoutADeciphererTheIdentityIsEmpty) {
  SetDecryptToCharBuffer(nullptr);
  WriteHive(WithIdentity("scanhost,secret"));
  EXPECT_EQ(Call().result, 0);
}

struct ComputerNameCase {
  const char* name;
  std::string value;  // .reg data of "ComputerName"
  std::string expected;
};

TEST_F(MachineIdentity, ComputerNameIsCutTo511Characters) {
  const ComputerNameCase cases[] = {
      {"511 characters", "\"" + std::string(511, 'c') + "\"", std::string(511, 'c')},
      {"512 characters", "\"" + std::string(512, 'c') + "\"", std::string(511, 'c')},
      {"2047 characters", "\"" + std::string(2047, 'c') + "\"", std::string(511, 'c')},
      {"over 2048 bytes", "\"" + std::string(2048, 'c') + "\"", kUnnamed},
      {"2048 bytes without a NUL", wbtest::HexValue(std::vector<uint8_t>(2048, 'c')),
       std::string(511, 'c')},
  };
  for (const ComputerNameCase& c : cases) {
    Hive hive;
    hive.Key(wbtest::kHistoryKey).String("1", "scanhost,secret");
    hive.Key(wbtest::kComputerNameKey).Value("ComputerName", c.value);
    WriteHive(hive);
    Result r = Call();
    EXPECT_EQ(r.result, 1) << c.name;
    EXPECT_EQ(r.computer, c.expected) << c.name;
  }
}

// Without a host name the registry has no computer name of its own to offer.
int NoHostName(char*, size_t) { return -1; }

TEST_F(MachineIdentity, WithoutAComputerNameString32779Stands) {
  WbHostNameReader previous = WbSetHostNameReader(&NoHostName);
  {
    // History key present, computer-name key missing: no exit line.
    Hive hive;
    hive.Key(wbtest::kHistoryKey).String("1", "scanhost,secret");
    WriteHive(hive);
    Result r = Call();
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.machine, "scanhost");
    EXPECT_EQ(r.computer, kUnnamed);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Date:", kEnter}));
  }
  {
    // The key is there without the value: it opened, so the exit line is.
    Hive hive;
    hive.Key(wbtest::kHistoryKey).String("1", "scanhost,secret");
    hive.Key(wbtest::kComputerNameKey).String("Other", "x");
    WriteHive(hive);
    Result r = Call();
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.computer, kUnnamed);
    EXPECT_EQ(Log(), (std::vector<std::string>{"Date:", kEnter, kEnter, kExit}));
  }
  WbSetHostNameReader(previous);
}

TEST_F(MachineIdentity, RestoresTheCallersModuleState) {
  WriteHive(WithIdentity("scanhost,secret"));
  AFX_MODULE_STATE callers;
  AFX_MAINTAIN_STATE scope(&callers);
  Result r = Call();
  EXPECT_EQ(r.computer, "WORKSTATION7");
  EXPECT_EQ(AfxGetModuleState(), &callers);
}

TEST_F(MachineIdentity, ConcurrentCallsEachSplitTheirOwnText) {
  WriteHive(WithIdentity(",alpha,,beta,gamma"));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 50; ++i) {
        char machine[512], computer[512], password[512];
        int result = GetMachineNameAndPassword(machine, computer, password);
        if (result != 1 || strcmp(machine, "alpha") != 0 || strcmp(password, "beta") != 0 ||
            strcmp(computer, "WORKSTATION7") != 0) {
          ++wrong;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
