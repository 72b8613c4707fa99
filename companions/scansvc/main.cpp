// scansvc: the reference scanner-sharing service as a daemon. Parses the
// options, starts the service and waits for signals on this thread: SIGUSR1
// presses the scanner's button, SIGTERM and SIGINT stop the service.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "companions/scansvc/daemon_options.h"
#include "companions/scansvc/scan_server.h"

namespace {

// Writes the file under a temporary name and renames it, so that a script
// polling for it never reads half of it.
bool WritePortFile(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  FILE* f = fopen(tmp.c_str(), "w");
  if (!f) return false;
  const bool written = fwrite(text.data(), 1, text.size(), f) == text.size();
  if (fclose(f) != 0 || !written) {
    unlink(tmp.c_str());
    return false;
  }
  return rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  scansvc::DaemonOptions options;
  std::string error;
  const std::vector<std::string> args(argv + 1, argv + argc);
  switch (scansvc::ParseDaemonOptions(args, &options, &error)) {
    case scansvc::ParseResult::kHelp:
      fputs(scansvc::DaemonUsage(), stdout);
      return 0;
    case scansvc::ParseResult::kError:
      fprintf(stderr, "scansvc: %s\nTry 'scansvc --help'.\n", error.c_str());
      return 2;
    case scansvc::ParseResult::kRun:
      break;
  }

  // Every thread started from here on inherits the mask, so the signals
  // reach only the sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  FILE* log = stderr;
  if (!options.logFile.empty()) {
    log = fopen(options.logFile.c_str(), "a");
    if (!log) {
      fprintf(stderr, "scansvc: cannot open the log file '%s'\n", options.logFile.c_str());
      return 1;
    }
  }
  std::mutex logMutex;
  const auto sink = [log, &logMutex](const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex);
    fprintf(log, "%s\n", line.c_str());
    fflush(log);
  };
  const auto note = [&sink](const std::string& text) { sink(scansvc::LogTimestamp() + " " + text); };

  int status = 0;
  {
    scansvc::ScanServer server(options.server, sink);
    if (!server.Start(&error)) {
      fprintf(stderr, "scansvc: %s\n", error.c_str());
      if (log != stderr) fclose(log);
      return 1;
    }
    note("scansvc serving ScannerService on " + options.server.address + " port " + std::to_string(server.port()) +
         ", endpoint mapper on port " + std::to_string(server.epmapPort()) + ", scanner " +
         options.server.service.scannerId + (options.server.service.password.empty() ? ", no password" : ", password set"));
    if (!options.portFile.empty() &&
        !WritePortFile(options.portFile, scansvc::PortFileText(server.port(), server.epmapPort(), getpid()))) {
      fprintf(stderr, "scansvc: cannot write the port file '%s'\n", options.portFile.c_str());
      status = 1;
    }
    while (status == 0) {
      int sig = 0;
      if (sigwait(&signals, &sig) != 0) continue;
      if (sig == SIGUSR1) {
        server.impl().PressButton();
        continue;
      }
      note(std::string("scansvc stopping on ") + (sig == SIGTERM ? "SIGTERM" : "SIGINT"));
      break;
    }
    server.Stop();
  }
  if (!options.portFile.empty()) unlink(options.portFile.c_str());
  note("scansvc stopped");
  if (log != stderr) fclose(log);
  return status;
}
