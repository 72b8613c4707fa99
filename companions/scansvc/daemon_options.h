// The daemon's command line: parsing, checking and the --help text.
#pragma once

#include <string>
#include <vector>

#include "companions/scansvc/scan_server.h"

namespace scansvc {

struct DaemonOptions {
  ServerOptions server;
  std::string logFile;   // empty: the call log goes to stderr
  std::string portFile;  // empty: none written
};

enum class ParseResult { kRun, kHelp, kError };

// args without the program name. On kError, *error says what is wrong.
ParseResult ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options, std::string* error);

const char* DaemonUsage();

// The port file's text: "SCANSVC_PORT=<n>\nEPMAP_PORT=<n>\nSCANSVC_PID=<n>\n".
std::string PortFileText(uint16_t servicePort, uint16_t epmapPort, long pid);

}  // namespace scansvc
