// Interoperability with an independent DCE RPC implementation: a
// ScannerService and an endpoint mapper written with python3-impacket
// (impacket_scanner_server.py) answer every procedure, and the stubs must get
// exactly the values that server computes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "platform/rpc/wire.h"
#include "scanner_test_service.h"
#include "test_util.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_client.h"

namespace {

std::string SourceDir() {
  const char* env = getenv("WB_SOURCE_DIR");
  return env ? env : WB_DEFAULT_SOURCE_DIR;
}

// The python server as a child process: its input is held open while it
// should run; closing it (or our death) ends it.
class ImpacketServer {
 public:
  bool Start(std::string* error) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    const std::string script = SourceDir() + "/tests/rpc_wire/impacket_scanner_server.py";
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      execl("/usr/bin/python3", "python3", script.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    // Bounded wait for "EPMAP <port> SCANNER <port>".
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, 500) <= 0) continue;
      char buf[128];
      const ssize_t n = read(stdout_, buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<size_t>(n));
    }
    if (line.rfind("EPMAP ", 0) != 0) {
      *error = "the impacket server did not start (is python3-impacket installed?): " + line;
      return false;
    }
    epmapPort_ = static_cast<uint16_t>(std::stoi(line.substr(6)));
    const size_t at = line.find("SCANNER ");
    if (at == std::string::npos) return false;
    scannerPort_ = line.substr(at + 8, line.find_first_of("\r\n", at) - at - 8);
    return true;
  }
  ~ImpacketServer() {
    if (stdin_ >= 0) close(stdin_);
    if (stdout_ >= 0) close(stdout_);
    if (pid_ <= 0) return;
    for (int i = 0; i < 100; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    kill(pid_, SIGKILL);  // the child we started, by its id
    waitpid(pid_, nullptr, 0);
  }
  uint16_t epmapPort() const { return epmapPort_; }
  const std::string& scannerPort() const { return scannerPort_; }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
  uint16_t epmapPort_ = 0;
  std::string scannerPort_;
};

class ImpacketInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start(&error)) << error;
    epmap_ = std::make_unique<wbtest::EpmapPortScope>(server_.epmapPort());
    binding_.reset(wbtest::ScannerTestService::NewBinding("127.0.0.1"));
    hScannerBinding = binding_.get();
  }
  void TearDown() override {
    hScannerBinding = nullptr;
    binding_.reset();
  }
  ImpacketServer server_;
  std::unique_ptr<wbtest::EpmapPortScope> epmap_;
  std::unique_ptr<RpcBinding> binding_;
};

TEST_F(ImpacketInterop, EveryProcedureGetsTheServersValues) {
  unsigned char name[] = "HOST", password[] = "pw";
  unsigned char message[32];
  memset(message, 'm', sizeof message);
  LONG status = 4;
  EXPECT_EQ(RemoteCheckOutScanner(7, name, 5, password, 3, message, 32, &status), 1007);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(message), 32), std::string("granted:HOST/pw\0................", 32));
  EXPECT_EQ(status, 5);

  unsigned char scannerId[] = "scanner-A", empty[] = "";
  EXPECT_EQ(RemoteCheckOutScannerWithID(2, scannerId), 29);
  EXPECT_EQ(RemoteCheckOutScannerWithID(0, empty), 0);

  WCHAR id[10];
  EXPECT_EQ(RemoteGetScannerID(id, 10), 2);
  EXPECT_EQ(std::u16string(id, 10), u"WB-10xxxxx");

  EXPECT_EQ(RemoteSendValue(21), 42);
  EXPECT_EQ(RemoteClearPush(), 44);

  // Larger than impacket's fragment size: its reply arrives in fragments.
  std::string big(10000, '\0');
  EXPECT_EQ(RemoteReadFromScanner(reinterpret_cast<BYTE*>(big.data()), 10000, 5), 10000);
  bool same = true;
  for (size_t i = 0; i < big.size(); ++i) same = same && static_cast<uint8_t>(big[i]) == ((i * 3 + 5) & 0xff);
  EXPECT_TRUE(same);
  BYTE none[1] = {0x77};
  EXPECT_EQ(RemoteReadFromScanner(none, 0, 5), 0);
  EXPECT_EQ(none[0], 0x77);

  BYTE data[300];
  LONG sum = 0;
  for (int i = 0; i < 300; ++i) sum += data[i] = static_cast<BYTE>(i);
  EXPECT_EQ(RemoteWriteToScanner(data, 300), sum);
  EXPECT_EQ(RemoteReturnScanner(10), 3);
  EXPECT_EQ(RemoteRefreshScanner(), 88);

  BYTE buf[100];
  EXPECT_EQ(RemoteReadBufferFromScanner(buf, 100, 0x5a), 99);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(buf[i], (i ^ 0x5a) & 0xff) << i;

  EXPECT_EQ(RemoteWriteBufferToScanner(data, 5), 5005);
  EXPECT_EQ(RemoteSetCurrentScannerFromSTILaunchInfo(), 111);
  RemotePreFreeLibrary();
}

TEST_F(ImpacketInterop, UnknownInterfaceIsNotRegistered) {
  const wbrpc::SyntaxId other = wbrpc::MakeSyntaxId("11111111-2222-3333-4444-555555555555", 1, 0);
  wbrpc::RpcReply reply;
  EXPECT_EQ(wbtest::StatusOf([&] { wbrpc::WireCall(binding_.get(), other, 0, "", 16, &reply); }),
            EPT_S_NOT_REGISTERED);
}

}  // namespace
