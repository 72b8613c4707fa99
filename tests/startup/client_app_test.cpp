// CClientApp in this process: the start-up's log lines in order, the client
// key missing, the bounds of the settings, the settings that never reach the
// binding, and the teardown releasing what the start-up took.
#include "wbremote/client_app.h"

#include <dlfcn.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/framework.h"
#include "startup_fixture.h"
#include "wbremote/machine_identity.h"
#include "wbremote/rpc/rpc_client.h"
#include "wbremote/rpc/scanner_binding.h"

namespace {

using wbtest::Hive;
using Lines = std::vector<std::string>;

int PlainDecrypt(const char* enciphered, char* destination, int size) {
  size_t n = strnlen(enciphered, static_cast<size_t>(size) - 1);
  memcpy(destination, enciphered, n);
  destination[n] = '\0';
  return 1;
}

class ClientAppTest : public wbtest::StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    previousDecrypt_ = SetDecryptToCharBuffer(&PlainDecrypt);
  }
  void TearDown() override {
    SetDecryptToCharBuffer(previousDecrypt_);
    AfxGetStaticModuleState()->m_hCurrentResourceHandle = nullptr;
    StartupTest::TearDown();
  }

  static Hive FullHive() {
    Hive hive;
    hive.Key(wbtest::kClientKey).String("Protocol", "ncacn_ip_tcp");
    hive.Key(wbtest::kHistoryKey).String("1", "scanhost,secret");
    hive.Key(wbtest::kComputerNameKey).String("ComputerName", "WORKSTATION7");
    return hive;
  }

  DecryptToCharBufferFn previousDecrypt_ = nullptr;
};

TEST_F(ClientAppTest, FullStartUpWritesItsLinesInOrder) {
  WriteHive(FullHive());
  {
    CClientApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(Log(), (Lines{"Date:", "Log Initialized...", "Retreiving Registry Settings",
                            "Enter - GetMachineNameAndPassword",
                            "Exit  - GetMachineNameAndPassword", "Initialize RPC Runtime",
                            "RpcClient - Network Address: scanhost",
                            "RpcClient - Protocol: ncacn_ip_tcp", "RpcNetworkIsProtSeqValid",
                            "RpcStringBindingCompose", "RpcBindingFromStringBinding"}));
    EXPECT_STREQ(app.NetworkAddress(), "scanhost");
    EXPECT_STREQ(app.Protocol(), "ncacn_ip_tcp");
    ASSERT_NE(app.Binding(), nullptr);
    EXPECT_NE(hScannerBinding, nullptr);
    EXPECT_EQ(AfxGetResourceHandle(), app.ResourceLibrary());
    app.ExitInstance();
  }
  // Destruction released the binding.
  EXPECT_EQ(hScannerBinding, nullptr);
}

TEST_F(ClientAppTest, ClientKeyMissingLogsTheErrorAndBindsWithEmptySettings) {
  // The history key lies under the client key, so neither is there.
  Hive hive;
  hive.Key(wbtest::kComputerNameKey).String("ComputerName", "WORKSTATION7");
  WriteHive(hive);
  CClientApp app;
  EXPECT_TRUE(app.InitInstance());
  Lines log = Log();
  ASSERT_GE(log.size(), 8u);
  EXPECT_EQ(Lines(log.begin(), log.begin() + 8),
            (Lines{"Date:", "Log Initialized...", "Retreiving Registry Settings",
                   "RegOpenKeyEx Failed: 2", "Initialize RPC Runtime",
                   "RpcClient - Network Address: ", "RpcClient - Protocol: ",
                   "RpcNetworkIsProtSeqValid"}));
  for (const char* setting : {app.NetworkAddress(), app.Protocol(), app.EndPoint(), app.Options(),
                              app.StringBinding(), app.Uuid()}) {
    EXPECT_STREQ(setting, "");
  }
  app.ExitInstance();
}

TEST_F(ClientAppTest, WithoutTheCtrlKeyThereIsNoLog) {
  WbSetKeyStateReader([](int) -> SHORT { return 0; });
  WriteHive(FullHive());
  CClientApp app;
  EXPECT_TRUE(app.InitInstance());
  EXPECT_STREQ(app.NetworkAddress(), "scanhost");
  EXPECT_FALSE(LogExists());
  app.ExitInstance();
}

struct SettingCase {
  const char* name;
  std::string data;  // .reg data given to each of the five values
  std::string expected;
};

class ClientSettings : public ClientAppTest, public ::testing::WithParamInterface<SettingCase> {};

TEST_P(ClientSettings, EachValueIsAtMost511CharactersOrEmpty) {
  const SettingCase& c = GetParam();
  Hive hive;
  hive.Key(wbtest::kClientKey);
  for (const char* name : {"Protocol", "EndPoint", "Options", "StringBinding", "Uuid"}) {
    hive.Value(name, c.data);
  }
  WriteHive(hive);
  WbSetKeyStateReader([](int) -> SHORT { return 0; });
  CClientApp app;
  EXPECT_TRUE(app.InitInstance());
  for (const char* setting :
       {app.Protocol(), app.EndPoint(), app.Options(), app.StringBinding(), app.Uuid()}) {
    EXPECT_EQ(std::string(setting), c.expected);
  }
  app.ExitInstance();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ClientSettings,
    ::testing::Values(
        SettingCase{"String511", "\"" + std::string(511, 's') + "\"", std::string(511, 's')},
        SettingCase{"String512", "\"" + std::string(512, 's') + "\"", ""},
        SettingCase{"String2000", "\"" + std::string(2000, 's') + "\"", ""},
        SettingCase{"Binary511NoNul", wbtest::HexValue(std::vector<uint8_t>(511, 's')),
                    std::string(511, 's')},
        SettingCase{"Binary512NoNul", wbtest::HexValue(std::vector<uint8_t>(512, 's')), ""},
        SettingCase{"BinaryWithNul", wbtest::HexValue({'a', 'b', 0, 'c'}), "ab"},
        SettingCase{"DwordBytesUpToNul", "dword:00000041", "A"}),
    [](const ::testing::TestParamInfo<SettingCase>& info) { return std::string(info.param.name); });

TEST_F(ClientAppTest, SettingsOtherThanProtocolNeverReachTheBinding) {
  Hive hive = FullHive();
  hive.Key(wbtest::kClientKey)
      .String("EndPoint", "4747")
      .String("Options", "Security=Impersonation Dynamic False")
      .String("StringBinding", "ncacn_ip_tcp:elsewhere[9]")
      .String("Uuid", "12345678-1234-1234-1234-123456789abc");
  WriteHive(hive);
  CClientApp app;
  EXPECT_TRUE(app.InitInstance());
  EXPECT_STREQ(app.EndPoint(), "4747");
  EXPECT_STREQ(app.Uuid(), "12345678-1234-1234-1234-123456789abc");
  ASSERT_NE(app.Binding(), nullptr);
  EXPECT_STREQ(app.Binding()->StringBinding(), "ncacn_ip_tcp:scanhost");
  for (const std::string& line : Log()) {
    EXPECT_EQ(line.find("EndPoint"), std::string::npos) << line;
    EXPECT_EQ(line.find("Uuid"), std::string::npos) << line;
  }
  app.ExitInstance();
}

TEST_F(ClientAppTest, ExitInstanceReleasesTheResourceLibrary) {
  WriteHive(FullHive());
  const std::string wbres = wbtest::BinDir() + "/wbres.dll";
  {
    CClientApp app;
    EXPECT_TRUE(app.InitInstance());
    void* probe = dlopen(wbres.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(probe, nullptr);
    dlclose(probe);  // the probe's own reference
    app.ExitInstance();
    EXPECT_EQ(dlopen(wbres.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
  }
}

}  // namespace
