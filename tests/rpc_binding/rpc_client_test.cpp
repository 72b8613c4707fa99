// RpcClient: the lines it leaves in the diagnostic log, the string binding it
// composes and the process-wide handle it sets and releases. Each test runs in
// a fresh current folder, with a Ctrl key "held" through the key seam, so the
// log lands in that folder's wbremote.log.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/key_state.h"
#include "platform/rpc/binding.h"
#include "wbremote/log/diag_log.h"
#include "wbremote/rpc/rpc_client.h"
#include "wbremote/rpc/scanner_binding.h"

namespace {

namespace fs = std::filesystem;

const char kUuid[] = "6b29fc40-ca47-1067-b31d-00dd010662da";

SHORT CtrlHeld(int key) { return key == VK_CONTROL ? static_cast<SHORT>(0x8000) : 0; }
SHORT NothingHeld(int) { return 0; }

class RpcClientLog : public ::testing::Test {
 protected:
  void SetUp() override {
    oldDir_ = fs::current_path();
    char pattern[] = "/tmp/wb_rpc_client_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
    diaglog::ResetForTest();
    oldReader_ = WbSetKeyStateReader(CtrlHeld);
    ASSERT_EQ(hScannerBinding, nullptr);
  }

  void TearDown() override {
    client_.reset();
    appLog_.reset();
    WbSetKeyStateReader(oldReader_);
    diaglog::ResetForTest();
    fs::current_path(oldDir_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Switches the log on through a first handle, as the library's start-up does
  // before it creates the RpcClient.
  void StartLog() {
    appLog_ = std::make_unique<CDiagLog>();
    appLog_->Init("wbremote.log", 7, nullptr);
  }

  void MakeClient(const char* address, const char* protocol, const char* endPoint = nullptr,
                  const char* options = nullptr, const char* stringBinding = nullptr,
                  const char* uuid = nullptr) {
    client_ = std::make_unique<RpcClient>(address, protocol, endPoint, options, stringBinding, uuid);
  }

  // The texts of the log's lines after the date line, time stamps checked and
  // taken off. Lines end with CR LF; a bare LF stays inside its line.
  std::vector<std::string> LogLines() {
    std::ifstream in(dir_ / "wbremote.log", std::ios::binary);
    EXPECT_TRUE(in.good()) << "no log file";
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string content = buffer.str();
    std::vector<std::string> lines;
    const std::regex stamp("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9] - ");
    size_t pos = 0;
    while (pos < content.size()) {
      const size_t end = content.find("\r\n", pos);
      EXPECT_NE(end, std::string::npos) << "unterminated line";
      if (end == std::string::npos) break;
      std::string line = content.substr(pos, end - pos);
      pos = end + 2;
      EXPECT_TRUE(std::regex_search(line, stamp)) << line;
      lines.push_back(line.size() >= 11 ? line.substr(11) : line);
    }
    EXPECT_FALSE(lines.empty());
    if (!lines.empty()) {
      EXPECT_TRUE(lines[0].rfind("Date: ", 0) == 0) << lines[0];
      lines.erase(lines.begin());
    }
    return lines;
  }

  fs::path oldDir_;
  fs::path dir_;
  WbKeyStateReader oldReader_ = nullptr;
  std::unique_ptr<CDiagLog> appLog_;
  std::unique_ptr<RpcClient> client_;
};

using TextLines = std::vector<std::string>;

TEST_F(RpcClientLog, AddressAndSequenceOnlyGiveTwoSettingsThreeStepsAndAHandle) {
  StartLog();
  MakeClient("scanhost", "ncacn_ip_tcp");
  EXPECT_EQ(LogLines(), (TextLines{"RpcClient - Network Address: scanhost",
                            "RpcClient - Protocol: ncacn_ip_tcp", "RpcNetworkIsProtSeqValid",
                            "RpcStringBindingCompose", "RpcBindingFromStringBinding"}));
  ASSERT_NE(client_->StringBinding(), nullptr);
  EXPECT_STREQ(client_->StringBinding(), "ncacn_ip_tcp:scanhost");
  ASSERT_NE(hScannerBinding, nullptr);
  EXPECT_EQ(hScannerBinding->objectUuid, "");
  EXPECT_EQ(hScannerBinding->protseq, "ncacn_ip_tcp");
  EXPECT_EQ(hScannerBinding->networkAddress, "scanhost");
  EXPECT_EQ(hScannerBinding->endpoint, "");
  EXPECT_EQ(hScannerBinding->options, "");

  client_.reset();
  EXPECT_EQ(hScannerBinding, nullptr);
  // The destructor writes nothing.
  EXPECT_EQ(LogLines().size(), 5u);
}

TEST_F(RpcClientLog, EmptyAddressLeavesTheAddressOut) {
  StartLog();
  MakeClient("", "ncacn_ip_tcp");
  EXPECT_EQ(LogLines(), (TextLines{"RpcClient - Network Address: ", "RpcClient - Protocol: ncacn_ip_tcp",
                            "RpcNetworkIsProtSeqValid", "RpcStringBindingCompose",
                            "RpcBindingFromStringBinding"}));
  EXPECT_STREQ(client_->StringBinding(), "ncacn_ip_tcp:");
  ASSERT_NE(hScannerBinding, nullptr);
  EXPECT_EQ(hScannerBinding->networkAddress, "");
}

TEST_F(RpcClientLog, OptionalSettingsAreLoggedInOrderButOnlyUuidAndOptionsEnterTheBinding) {
  StartLog();
  MakeClient("scanhost", "ncacn_ip_tcp", "1234", "opt=1", "ncacn_ip_tcp:elsewhere[99]", kUuid);
  EXPECT_EQ(LogLines(), (TextLines{"RpcClient - Network Address: scanhost",
                            "RpcClient - Protocol: ncacn_ip_tcp", "RpcClient - EndPoint: 1234",
                            "RpcClient - Options: opt=1",
                            "RpcClient - StringBinding: ncacn_ip_tcp:elsewhere[99]",
                            std::string("RpcClient - Uuid: ") + kUuid, "RpcNetworkIsProtSeqValid",
                            "RpcStringBindingCompose", "RpcBindingFromStringBinding"}));
  EXPECT_STREQ(client_->EndPoint(), "1234");
  EXPECT_EQ(client_->StringBinding(), std::string(kUuid) + "@ncacn_ip_tcp:scanhost[,opt=1]");
  ASSERT_NE(hScannerBinding, nullptr);
  EXPECT_EQ(hScannerBinding->objectUuid, kUuid);
  EXPECT_EQ(hScannerBinding->networkAddress, "scanhost");
  EXPECT_EQ(hScannerBinding->endpoint, "");
  EXPECT_EQ(hScannerBinding->options, "opt=1");
}

TEST_F(RpcClientLog, RefusedSequenceIsLoggedAndCompositionAndBindingStillRun) {
  struct Case {
    const char* protocol;
    const char* refusal;
    const char* composed;
    const char* bindFailure;
  } cases[] = {
      {"ncacn_np", "Protocol: ncacn_np is not supported", "ncacn_np:scanhost",
       "RpcBindingFromStringBinding returned 0x6a7\n"},
      {"ncacn_bogus", "Protocol: ncacn_bogus is not a valid protocol", "ncacn_bogus:scanhost",
       "RpcBindingFromStringBinding returned 0x6a8\n"},
      // What a start-up without its registry key passes: no sequence at all.
      {"", "Protocol:  is not a valid protocol", "scanhost",
       "RpcBindingFromStringBinding returned 0x6a4\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.protocol);
    diaglog::ResetForTest();
    fs::remove(dir_ / "wbremote.log");  // each case reads a file of its own
    StartLog();
    MakeClient("scanhost", c.protocol);
    EXPECT_EQ(LogLines(), (TextLines{"RpcClient - Network Address: scanhost",
                              std::string("RpcClient - Protocol: ") + c.protocol,
                              "RpcNetworkIsProtSeqValid", c.refusal, "RpcStringBindingCompose",
                              "RpcBindingFromStringBinding", c.bindFailure}));
    EXPECT_STREQ(client_->StringBinding(), c.composed);
    EXPECT_EQ(hScannerBinding, nullptr);
    client_.reset();
    appLog_.reset();
  }
}

TEST_F(RpcClientLog, FailedCompositionShowsAnEmptyStringAndBindingStillRuns) {
  StartLog();
  MakeClient("scanhost", "ncacn_ip_tcp", nullptr, nullptr, nullptr, "not-a-uuid");
  EXPECT_EQ(LogLines(), (TextLines{"RpcClient - Network Address: scanhost",
                            "RpcClient - Protocol: ncacn_ip_tcp", "RpcClient - Uuid: not-a-uuid",
                            "RpcNetworkIsProtSeqValid", "RpcStringBindingCompose",
                            "RpcStringBindingCompose returned 0x6a9\nm_sStringBinding = \n",
                            "RpcBindingFromStringBinding",
                            "RpcBindingFromStringBinding returned 0x6a4\n"}));
  EXPECT_EQ(client_->StringBinding(), nullptr);
  EXPECT_EQ(hScannerBinding, nullptr);
  client_.reset();  // releasing nothing is fine
  EXPECT_EQ(hScannerBinding, nullptr);
}

TEST_F(RpcClientLog, SettingsLongerThan511CharactersAreCutTo511) {
  StartLog();
  const std::string longAddress(600, 'a');
  const std::string longOptions(600, 'o');
  MakeClient(longAddress.c_str(), "ncacn_ip_tcp", nullptr, longOptions.c_str());
  const TextLines lines = LogLines();
  ASSERT_GE(lines.size(), 2u);
  // The log cuts its own lines at 511 characters, prefix included.
  EXPECT_EQ(lines[0], "RpcClient - Network Address: " + std::string(511 - 29, 'a'));
  EXPECT_EQ(client_->NetworkAddress(), std::string(511, 'a'));
  EXPECT_EQ(client_->Options(), std::string(511, 'o'));
  EXPECT_EQ(client_->StringBinding(),
            "ncacn_ip_tcp:" + std::string(511, 'a') + "[," + std::string(511, 'o') + "]");
  ASSERT_NE(hScannerBinding, nullptr);
  EXPECT_EQ(hScannerBinding->networkAddress, std::string(511, 'a'));
  EXPECT_EQ(hScannerBinding->options, std::string(511, 'o'));
  client_.reset();

  // Every field keeps to its size, whichever setting is long.
  const std::string longText(600, 'x');
  MakeClient(longText.c_str(), longText.c_str(), longText.c_str(), longText.c_str(),
             longText.c_str(), longText.c_str());
  for (const char* field : {client_->NetworkAddress(), client_->Protocol(), client_->EndPoint(),
                            client_->Options(), client_->Uuid()}) {
    EXPECT_EQ(field, std::string(511, 'x'));
  }
  EXPECT_EQ(hScannerBinding, nullptr);
}

TEST_F(RpcClientLog, WithTheLogOffNoFileIsWrittenAndTheHandleIsStillMade) {
  WbSetKeyStateReader(NothingHeld);
  StartLog();
  MakeClient("scanhost", "ncacn_ip_tcp");
  EXPECT_FALSE(fs::exists(dir_ / "wbremote.log"));
  ASSERT_NE(hScannerBinding, nullptr);
  EXPECT_EQ(hScannerBinding->networkAddress, "scanhost");
}

TEST_F(RpcClientLog, ItsOwnLogSetupNeitherEmptiesTheFileNorAddsADateLine) {
  StartLog();
  CDiagLog::Write("before");
  MakeClient("scanhost", "ncacn_ip_tcp");
  const TextLines lines = LogLines();  // checks the one date line at the top
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "before");
  EXPECT_EQ(lines.size(), 6u);
  for (const std::string& line : lines) EXPECT_EQ(line.rfind("Date: ", 0), std::string::npos);
}

}  // namespace
