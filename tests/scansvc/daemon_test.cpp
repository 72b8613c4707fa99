// The scansvc program itself: its options, and one run with ephemeral ports
// that a client calls, that a SIGUSR1 pushes and a SIGTERM stops.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "companions/scansvc/daemon_options.h"
#include "scansvc_fixture.h"

extern char** environ;

namespace scansvc_test {
namespace {

TEST(DaemonOptions, ValuesAndTheirRefusals) {
  {
    scansvc::DaemonOptions o;
    std::string error;
    ASSERT_EQ(scansvc::ParseDaemonOptions({"--address", "::1", "--port=4000", "--epmap-port", "0", "--password",
                                           "pw", "--scanner-id=ID-2", "--dpi", "150", "--lease-seconds", "0",
                                           "--log", "x.log", "--port-file", "p"},
                                          &o, &error),
              scansvc::ParseResult::kRun)
        << error;
    EXPECT_EQ(o.server.address, "::1");
    EXPECT_EQ(o.server.port, 4000);
    EXPECT_EQ(o.server.epmapPort, 0);
    EXPECT_EQ(o.server.service.password, "pw");
    EXPECT_EQ(o.server.service.scannerId, "ID-2");
    EXPECT_EQ(o.server.service.defaultDpi, 150);
    EXPECT_EQ(o.server.service.lease.count(), 0);
    EXPECT_EQ(o.logFile, "x.log");
    EXPECT_EQ(o.portFile, "p");
  }
  scansvc::DaemonOptions defaults;
  EXPECT_EQ(defaults.server.address, "127.0.0.1");
  EXPECT_EQ(defaults.server.epmapPort, 135);
  EXPECT_EQ(defaults.server.service.scannerId, "WB-FLATBED-01");
  EXPECT_TRUE(defaults.server.service.password.empty());

  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},           {"--port"},          {"--port", "65536"},     {"--port", "-1"},
      {"--port", "12a"},     {"--epmap-port="},   {"--address", "localhost"}, {"--address", "1.2.3"},
      {"--dpi", "49"},       {"--dpi", "301"},    {"--scanner-id", ""},    {"--password", "tab\there"},
      {"--lease-seconds", "x"}, {"--log", ""},    {"--port", "5000", "--epmap-port", "5000"},
      {"--help=yes"},        {"positional"},
  };
  for (const auto& args : bad) {
    scansvc::DaemonOptions o;
    std::string error;
    EXPECT_EQ(scansvc::ParseDaemonOptions(args, &o, &error), scansvc::ParseResult::kError) << args[0];
    EXPECT_FALSE(error.empty());
  }
  scansvc::DaemonOptions o;
  std::string error;
  EXPECT_EQ(scansvc::ParseDaemonOptions({"--port", "1", "--help"}, &o, &error), scansvc::ParseResult::kHelp);
  EXPECT_EQ(scansvc::PortFileText(4000, 4001, 77), "SCANSVC_PORT=4000\nEPMAP_PORT=4001\nSCANSVC_PID=77\n");
}

std::string Program() {
  const char* dir = getenv("WB_BIN_DIR");
  return std::string(dir ? dir : "bin") + "/scansvc";
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string program = Program();
  argv.push_back(program.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  // The program's messages would only clutter the test's output.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// The exit status, or -1 if the program has not ended within 30 s (then it
// is killed).
int WaitExit(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 1500; ++i) {
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

std::map<std::string, std::string> ReadKeyValues(const std::string& path) {
  std::map<std::string, std::string> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

TEST(DaemonProgram, RefusesBadOptionsWithStatus2AndHelpsWith0) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--port", "70000"}, std::vector<std::string>{"--frobnicate"}}) {
    const pid_t pid = Spawn(args);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(WaitExit(pid), 2) << args[0];
  }
  const pid_t pid = Spawn({"--help"});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitExit(pid), 0);
}

TEST(DaemonProgram, RunsOnEphemeralPortsAnswersPushesAndStopsOnSigterm) {
  char dir[] = "/tmp/scansvc_test_XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string portFile = std::string(dir) + "/ports";
  const std::string logFile = std::string(dir) + "/calls.log";
  const pid_t pid = Spawn({"--port", "0", "--epmap-port", "0", "--port-file", portFile, "--log", logFile,
                           "--scanner-id", "DAEMON-1", "--password", "pw"});
  ASSERT_GT(pid, 0);
  std::map<std::string, std::string> ports;
  const bool announced = Eventually([&] {
    ports = ReadKeyValues(portFile);
    return ports.count("SCANSVC_PORT") && ports.count("EPMAP_PORT") && ports.count("SCANSVC_PID");
  });
  if (!announced) {
    kill(pid, SIGKILL);
    WaitExit(pid);
    FAIL() << "no port file";
  }
  EXPECT_EQ(ports["SCANSVC_PID"], std::to_string(pid));
  EXPECT_NE(ports["SCANSVC_PORT"], "0");
  setenv("WB_EPMAP_PORT", ports["EPMAP_PORT"].c_str(), 1);
  {
    Client client;
    client.Use();
    std::u16string id(8, u'#');
    EXPECT_EQ(RemoteGetScannerID(reinterpret_cast<WCHAR*>(id.data()), 8), 8);
    EXPECT_EQ(id, u"DAEMON-1");
    EXPECT_EQ(CheckOut("HOSTX", "nope").status, 2);
    EXPECT_EQ(CheckOut("HOSTX", "pw").status, 0);
    EXPECT_EQ(Command("SCAN"), 4);
    EXPECT_EQ(RemoteClearPush(), 0);
    kill(pid, SIGUSR1);
    EXPECT_TRUE(Eventually([] { return RemoteClearPush() == 1; }));
  }
  unsetenv("WB_EPMAP_PORT");
  kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid), 0);
  EXPECT_NE(access(portFile.c_str(), F_OK), 0) << "the port file goes with the service";
  std::ifstream in(logFile);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("RemoteGetScannerID(idSize 8) -> result 8"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("status 2, message \"Wrong password.\", result 0"), std::string::npos);
  EXPECT_NE(text.str().find("button pressed"), std::string::npos);
  EXPECT_NE(text.str().find("scansvc stopped"), std::string::npos);
  unlink(logFile.c_str());
  rmdir(dir);
}

}  // namespace
}  // namespace scansvc_test
