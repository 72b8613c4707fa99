// The exports against a scripted service on loopback: their log lines, their
// results, what reaches the service, and failures turned into 0.
#include "wbremote/scanner_exports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "exports/scripted_service.h"
#include "platform/framework.h"
#include "platform/module.h"
#include "platform/rpc/rpc.h"
#include "startup/startup_fixture.h"
#include "tests/support/log_fixture.h"
#include "wbremote/machine_identity.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/user_report.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// The stored identity is kept in the clear in these hives: the test's
// decipherer copies it as it stands.
int PlainDecrypt(const char* enciphered, char* destination, int size) {
  std::snprintf(destination, static_cast<size_t>(size), "%s", enciphered);
  return 1;
}

std::string HexOfText(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return wbtest::HexValue(bytes);
}

class ExportsTest : public wbtest::LogFixture {
 protected:
  void SetUp() override {
    LogFixture::SetUp();
    setenv("WB_REGISTRY_DIR", folder_.path().c_str(), 1);
    WriteIdentity("127.0.0.1,pw3");
    previousDecrypt_ = SetDecryptToCharBuffer(&PlainDecrypt);
    resources_ = LoadLibraryA((std::string(getenv("WB_BIN_DIR")) + "/wbres.dll").c_str());
    ASSERT_NE(nullptr, resources_);
    AfxSetResourceHandle(resources_);

    wbtest::gCtrlHeld = true;
    log_.Init("wbremote.log", 7, nullptr);
    CDiagLog::Clear();
    ASSERT_EQ(RPC_S_OK, RpcBindingFromStringBindingA(
                            reinterpret_cast<RPC_CSTR>(const_cast<char*>("ncacn_ip_tcp:127.0.0.1")), &hScannerBinding));
    ClearLastUserReport();
  }
  void TearDown() override {
    RpcBindingFree(&hScannerBinding);
    AfxSetResourceHandle(nullptr);
    FreeLibrary(resources_);
    SetDecryptToCharBuffer(previousDecrypt_);
    unsetenv("WB_REGISTRY_DIR");
    LogFixture::TearDown();
  }
  void WriteIdentity(const std::string& identity) {
    wbtest::Hive hive;
    hive.Key(wbtest::kClientKey).String("Protocol", "ncacn_ip_tcp");
    if (!identity.empty()) hive.Key(wbtest::kHistoryKey).Value("1", HexOfText(identity));
    hive.Key(wbtest::kComputerNameKey).String("ComputerName", "WORKSTATION7");
    wbtest::WriteFile(folder_.path() + "/HKEY_LOCAL_MACHINE.reg", hive.Text());
  }
  std::vector<std::string> Lines() { return wbtest::LogTexts(folder_.path() + "/wbremote.log"); }

  CDiagLog log_;
  HMODULE resources_ = nullptr;
  DecryptToCharBufferFn previousDecrypt_ = nullptr;
};

TEST_F(ExportsTest, LocalAnswersNeedNoService) {
  EXPECT_EQ(-15, ClaimScanner());
  EXPECT_EQ(-10, CheckForPush());
  WinSpiiMode();
  EXPECT_THAT(Lines(), ElementsAre("Enter - ClaimScanner", "Exit  - ClaimScanner: -15", "Enter - CheckForPush",
                                   "Exit  - CheckForPush: -10"));
}

// Every remote export with its expected lines, called once.
struct RemoteExport {
  const char* name;
  const char* exitFormat;  // %d where the result goes
  LONG (*call)();
};

BYTE gBuffer[64];
WCHAR gId[16];

const RemoteExport kRemoteExports[] = {
    {"CheckOutScannerWithID", "Exit  - CheckOutScannerWithID: %d", [] { return CheckOutScannerWithID(3, "ID-9"); }},
    {"ClearPush", "Exit  - ClearPush: %d", [] { return ClearPush(); }},
    {"GetScannerID", "Exit  - GetScannerID: %d", [] { return GetScannerID(gId, 16); }},
    {"PreFreeLibrary", "Exit  - PreFreeLibrary", [] { PreFreeLibrary(); return LONG{0}; }},
    {"ReadBufferFromScanner", "Exit  - ReadBufferFromScanner: %d", [] { return ReadBufferFromScanner(gBuffer, 64, 0x1FF); }},
    {"ReadFromScanner", "Exit  - ReadFromScanner: %d", [] { return ReadFromScanner(gBuffer, 64, -4); }},
    {"RefreshScanner", "Exit  - RefreshScanner: %d", [] { return RefreshScanner(); }},
    {"ReturnScanner", "Exit  - ReturnScanner: %d", [] { return ReturnScanner(11); }},
    {"SetScannerFromSTILaunchInfo", "Exit  - SetScannerFromSTILaunchInfo", [] { return SetCurrentScannerFromSTILaunchInfo(); }},
    {"WriteBufferToScanner", "Exit  - WriteBufferToScanner: %d", [] { return WriteBufferToScanner(gBuffer, 5); }},
    {"WriteToScanner", "Exit  - WriteToScanner: %d", [] { return WriteToScanner(gBuffer, 3); }},
    {"CheckOutScanner", "Exit  - CheckOutScanner: %d", [] { return CheckOutScanner(1); }},
};

std::string ExitLine(const RemoteExport& e, LONG result) {
  char line[128];
  std::snprintf(line, sizeof line, e.exitFormat, static_cast<int>(result));
  return line;
}

std::vector<std::string> ExpectedLines(const RemoteExport& e, LONG result) {
  std::vector<std::string> lines = {std::string("Enter - ") + e.name};
  if (std::strcmp(e.name, "CheckOutScanner") == 0) {
    lines.push_back("Enter - GetMachineNameAndPassword");
    lines.push_back("Exit  - GetMachineNameAndPassword");
  }
  lines.push_back(ExitLine(e, result));
  return lines;
}

bool ResultIsFixed(const RemoteExport& e) {
  return std::strcmp(e.name, "PreFreeLibrary") == 0 || std::strcmp(e.name, "SetScannerFromSTILaunchInfo") == 0;
}

TEST_F(ExportsTest, RemoteExportsPassTheServiceResultAndLogIt) {
  wbtest::ScriptedService service;
  for (LONG result : {LONG{7}, LONG{0}, LONG{-3}}) {
    wbtest::ScriptedReplies r;
    r.result = result;
    service.SetReplies(r);
    for (const auto& e : kRemoteExports) {
      SCOPED_TRACE(std::string(e.name) + " " + std::to_string(result));
      CDiagLog::Clear();
      const LONG expected = ResultIsFixed(e) ? 0 : result;
      EXPECT_EQ(expected, e.call());
      EXPECT_THAT(Lines(), ElementsAreArray(ExpectedLines(e, expected)));
    }
  }
  EXPECT_EQ(3 * 12, service.CallCount());
}

TEST_F(ExportsTest, ArgumentsReachTheServiceAsGiven) {
  wbtest::ScriptedService service;
  wbtest::ScriptedReplies r;
  r.data = "abc";
  service.SetReplies(r);
  BYTE out[8] = {};
  std::memcpy(gBuffer, "HELLO", 5);
  EXPECT_EQ(7, ReadBufferFromScanner(out, 8, 0x1FF));
  EXPECT_EQ(0, std::memcmp(out, "abcabcab", 8));
  EXPECT_EQ(7, ReadFromScanner(out, 4, -4));
  EXPECT_EQ(7, WriteToScanner(gBuffer, 5));
  EXPECT_EQ(7, CheckOutScannerWithID(3, ""));
  WCHAR id[12];
  std::fill(std::begin(id), std::end(id), u'#');
  EXPECT_EQ(7, GetScannerID(id, 10));
  EXPECT_EQ(std::u16string(u"SCANNER-1\0", 10), std::u16string(id, 10));
  EXPECT_EQ(u'#', id[10]);  // nothing past idSize

  const auto calls = service.Calls();
  ASSERT_EQ(5u, calls.size());
  EXPECT_EQ(9, calls[0].opnum);
  EXPECT_EQ(8u, calls[0].size);
  EXPECT_EQ(0xFF, calls[0].byteValue);  // only the low 8 bits travel
  EXPECT_EQ(5, calls[1].opnum);
  EXPECT_EQ(-4, calls[1].value);
  EXPECT_EQ("HELLO", calls[2].text);
  EXPECT_EQ(1, calls[3].opnum);
  EXPECT_EQ("", calls[3].text);
  EXPECT_EQ(2, calls[4].opnum);
  EXPECT_EQ(10u, calls[4].size);
}

TEST_F(ExportsTest, CheckOutSendsNameAndPasswordWithTheirTerminators) {
  wbtest::ScriptedService service;
  const struct {
    std::string identity;
    std::string password;  // as sent, NUL included
    std::string computer;
  } cases[] = {
      {"127.0.0.1,pw3", std::string("pw3\0", 4), std::string("WORKSTATION7\0", 13)},
      {"127.0.0.1", std::string("\0", 1), std::string("WORKSTATION7\0", 13)},
      // No stored identity: the name is never read, and an empty one goes.
      {"", std::string("\0", 1), std::string("\0", 1)},
  };
  for (const auto& c : cases) {
    WriteIdentity(c.identity);
    EXPECT_EQ(7, CheckOutScanner(5));
    const auto call = service.Calls().back();
    EXPECT_EQ(0, call.opnum);
    EXPECT_EQ(5, call.value);
    EXPECT_EQ(c.password, call.password);
    EXPECT_EQ(c.computer, call.text);
    EXPECT_EQ(512u, call.message.size());
  }
}

TEST_F(ExportsTest, RefusedCheckOutIsZeroWithFourLinesAndAComposedReport) {
  wbtest::ScriptedService service;
  const struct {
    LONG status;
    const char* expectedTitle;
  } cases[] = {{1, "held"}, {2, "password"}, {77, "other"}};
  for (const auto& c : cases) {
    wbtest::ScriptedReplies r;
    r.result = 42;
    r.checkOutStatus = c.status;
    r.checkOutMessage = "The scanner is checked out by SCANHOST.";
    service.SetReplies(r);
    CDiagLog::Clear();
    ClearLastUserReport();
    EXPECT_EQ(0, CheckOutScanner(0));
    EXPECT_THAT(Lines(), ElementsAre("Enter - CheckOutScanner", "Enter - GetMachineNameAndPassword",
                                     "Exit  - GetMachineNameAndPassword", "Exit  - CheckOutScanner: 0"));
    const UserReport& report = LastUserReport();
    char title[512];
    ASSERT_GT(LoadStringA(resources_, 32781, title, sizeof title), 0);
    EXPECT_STREQ(title, report.title);
    EXPECT_STRNE("", report.text);
    if (c.status == 1) {
      EXPECT_THAT(report.text, ::testing::HasSubstr("SCANHOST"));
    }
  }
}

TEST_F(ExportsTest, WithoutServiceEveryRemoteExportIsZero) {
  // Nothing listens: the endpoint mapper's port is closed.
  {
    wbtest::ScriptedService gone;
  }
  for (const auto& e : kRemoteExports) {
    SCOPED_TRACE(e.name);
    CDiagLog::Clear();
    EXPECT_EQ(0, e.call());
    EXPECT_THAT(Lines(), ElementsAreArray(ExpectedLines(e, 0)));
  }
  // The failure was composed for the user from the runtime's status.
  EXPECT_THAT(LastUserReport().text, ::testing::HasSubstr("1722"));

  // An unset binding fails the same way, before anything is sent.
  RpcBindingFree(&hScannerBinding);
  EXPECT_EQ(0, ClearPush());
  EXPECT_THAT(LastUserReport().text, ::testing::HasSubstr("1702"));
}

TEST_F(ExportsTest, ServiceRestartedBetweenCalls) {
  wbtest::ScriptedService service;
  EXPECT_EQ(7, RefreshScanner());
  service.StopService();
  EXPECT_EQ(0, RefreshScanner());
  service.Start();  // a new port, announced by the same endpoint mapper
  LONG result = 0;
  for (int i = 0; i < 5 && result == 0; ++i) result = RefreshScanner();
  EXPECT_EQ(7, result);
}

TEST_F(ExportsTest, ManyThreadsShareTheOneBinding) {
  wbtest::ScriptedService service;
  constexpr int kThreads = 8, kCalls = 50;
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      BYTE buffer[256];
      for (int i = 0; i < kCalls; ++i) {
        const LONG r = (t % 2) ? ReadFromScanner(buffer, sizeof buffer, i) : WriteToScanner(buffer, 16);
        if (r == 7) ++good;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(kThreads * kCalls, good.load());
  EXPECT_EQ(kThreads * kCalls, service.CallCount());
}

}  // namespace
