// Options are "--name value" or "--name=value"; every value is checked here
// so that the daemon never starts half-configured.
#include "companions/scansvc/daemon_options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace scansvc {

const char* DaemonUsage() {
  return "Usage: scansvc [options]\n"
         "\n"
         "Reference scanner-sharing service: serves ScannerService over ncacn_ip_tcp and runs\n"
         "the endpoint mapper that clients ask for the service's port.\n"
         "\n"
         "Options:\n"
         "  --address ADDR         numeric address to listen on (default 127.0.0.1; ::1 for IPv6,\n"
         "                         0.0.0.0 for every interface)\n"
         "  --port N               service port (default 0: any free port, announced by the\n"
         "                         endpoint mapper)\n"
         "  --epmap-port N         endpoint mapper port (default 135; 0: any free port). Clients\n"
         "                         of this project use WB_EPMAP_PORT to find a port other than 135\n"
         "  --password TEXT        check-out password (default empty: any password is accepted)\n"
         "  --scanner-id TEXT      the scanner's identifier (default WB-FLATBED-01)\n"
         "  --dpi N                resolution of a scan until a client sets one (50..300, default 100)\n"
         "  --lease-seconds N      end a check-out unused for N seconds (default 300; 0: never)\n"
         "  --log FILE             append the call log to FILE (default: stderr)\n"
         "  --port-file FILE       write the chosen ports to FILE once listening, as lines\n"
         "                         SCANSVC_PORT=<n>, EPMAP_PORT=<n>, SCANSVC_PID=<n>; removed at exit\n"
         "  --help                 show this text\n"
         "\n"
         "Signals: SIGUSR1 presses the scanner's button (sets the push state);\n"
         "SIGTERM or SIGINT stops the service (exit status 0).\n"
         "Exit status: 0 after a clean stop, 1 when the ports cannot be opened, 2 for bad options.\n";
}

namespace {
bool ParseNumber(const std::string& text, long min, long max, long* out) {
  if (text.empty() || text.size() > 10 || !std::all_of(text.begin(), text.end(), [](char c) {
        return c >= '0' && c <= '9';
      })) {
    return false;
  }
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < min || v > max) return false;
  *out = v;
  return true;
}

bool NumericAddress(const std::string& text) {
  unsigned char buf[16];
  return inet_pton(AF_INET, text.c_str(), buf) == 1 || inet_pton(AF_INET6, text.c_str(), buf) == 1;
}

bool PrintableText(const std::string& s, size_t maxLength) {
  return s.size() <= maxLength && std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}
}  // namespace

ParseResult ParseDaemonOptions(const std::vector<std::string>& args, DaemonOptions* options, std::string* error) {
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i], value;
    bool hasValue = false;
    const size_t eq = name.find('=');
    if (name.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      hasValue = true;
    }
    if (name == "--help" || name == "-h") {
      if (hasValue) {
        *error = "--help takes no value";
        return ParseResult::kError;
      }
      return ParseResult::kHelp;
    }
    static const char* const kWithValue[] = {"--address",   "--port",          "--epmap-port", "--password",
                                             "--scanner-id", "--dpi",           "--lease-seconds", "--log",
                                             "--port-file"};
    if (std::find_if(std::begin(kWithValue), std::end(kWithValue), [&](const char* n) { return name == n; }) ==
        std::end(kWithValue)) {
      *error = "unknown option '" + args[i] + "'";
      return ParseResult::kError;
    }
    if (!hasValue) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return ParseResult::kError;
      }
      value = args[++i];
    }
    long n = 0;
    if (name == "--address") {
      if (!NumericAddress(value)) {
        *error = "--address needs a numeric IPv4 or IPv6 address, not '" + value + "'";
        return ParseResult::kError;
      }
      options->server.address = value;
    } else if (name == "--port" || name == "--epmap-port") {
      if (!ParseNumber(value, 0, 65535, &n)) {
        *error = name + " needs a port number from 0 to 65535, not '" + value + "'";
        return ParseResult::kError;
      }
      (name == "--port" ? options->server.port : options->server.epmapPort) = static_cast<uint16_t>(n);
    } else if (name == "--password") {
      if (!PrintableText(value, 511)) {
        *error = "--password must be printable ASCII of at most 511 characters";
        return ParseResult::kError;
      }
      options->server.service.password = value;
    } else if (name == "--scanner-id") {
      if (value.empty() || !PrintableText(value, 511)) {
        *error = "--scanner-id must be 1 to 511 printable ASCII characters";
        return ParseResult::kError;
      }
      options->server.service.scannerId = value;
    } else if (name == "--dpi") {
      if (!ParseNumber(value, kMinDpi, kMaxDpi, &n)) {
        *error = "--dpi needs a resolution from 50 to 300, not '" + value + "'";
        return ParseResult::kError;
      }
      options->server.service.defaultDpi = static_cast<int>(n);
    } else if (name == "--lease-seconds") {
      if (!ParseNumber(value, 0, 7 * 24 * 3600, &n)) {
        *error = "--lease-seconds needs a number of seconds from 0 to 604800, not '" + value + "'";
        return ParseResult::kError;
      }
      options->server.service.lease = std::chrono::seconds(n);
    } else if (name == "--log" || name == "--port-file") {
      if (value.empty()) {
        *error = name + " needs a file name";
        return ParseResult::kError;
      }
      (name == "--log" ? options->logFile : options->portFile) = value;
    }
  }
  if (options->server.port != 0 && options->server.port == options->server.epmapPort) {
    *error = "--port and --epmap-port must differ";
    return ParseResult::kError;
  }
  return ParseResult::kRun;
}

std::string PortFileText(uint16_t servicePort, uint16_t epmapPort, long pid) {
  return "SCANSVC_PORT=" + std::to_string(servicePort) + "\nEPMAP_PORT=" + std::to_string(epmapPort) +
         "\nSCANSVC_PID=" + std::to_string(pid) + "\n";
}

}  // namespace scansvc
