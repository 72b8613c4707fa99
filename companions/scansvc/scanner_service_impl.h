// The reference scanner-sharing service: the behaviour behind each procedure
// of ScannerService, and the one scanner it shares.
//
// One client holds the scanner at a time. A client is known by the computer
// name it sends at check-out and by the network address its calls come from:
// the wire contract carries no client identity on any other procedure, and a
// client spreads its calls over several connections (one per concurrent
// call), so every call from the holder's address counts as the holder's.
// The connections that have carried the holder's calls are remembered; when
// the last of them closes, the client has vanished and the check-out ends.
// A check-out nobody has used for the lease time ends too.
//
// Thread safety: every public function may be called from any thread (the
// RPC server's connection threads, the daemon's signal thread); one mutex
// guards the state. The handlers take the caller from
// wbrpc::RpcServer::CurrentCall().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/rpc/rpc_server.h"
#include "platform/win_types.h"

namespace scansvc {

struct ServiceOptions {
  std::string password;                   // empty: any password is accepted
  std::string scannerId = "WB-FLATBED-01";
  int defaultDpi = 100;
  std::chrono::seconds lease{300};        // 0: a check-out never expires
};

// Limits on what a caller may ask for.
constexpr int kMinDpi = 50;
constexpr int kMaxDpi = 300;
// The largest array a reply carries (scanner data, or the identifier in
// octets); a larger size is refused with a fault instead of allocated.
constexpr ULONG kMaxTransfer = 16u * 1024 * 1024;

// Check-out statuses.
constexpr LONG kStatusGranted = 0;
constexpr LONG kStatusHeldByOther = 1;
constexpr LONG kStatusWrongPassword = 2;
constexpr LONG kStatusInvalidRequest = 3;

// Results of the scanner operations.
constexpr LONG kBadCommand = -1;
constexpr LONG kNotHolder = -2;

struct Caller {
  uint64_t connectionId = 0;
  std::string address;  // numeric peer address, without the port
  uint16_t port = 0;
};

class ScannerServiceImpl {
 public:
  using SteadyClock = std::function<std::chrono::steady_clock::time_point()>;
  // Receives one finished log line (no line end) per call or event.
  using LogSink = std::function<void(const std::string& line)>;

  explicit ScannerServiceImpl(ServiceOptions options, LogSink log = {}, SteadyClock clock = {});
  ScannerServiceImpl(const ScannerServiceImpl&) = delete;
  ScannerServiceImpl& operator=(const ScannerServiceImpl&) = delete;

  // The handlers by operation number, for RpcServer::RegisterInterface.
  std::vector<wbrpc::RpcServer::Handler> Handlers();
  // For RpcServer::SetConnectionClosedHandler.
  void ConnectionClosed(uint64_t connectionId);
  // The operator pressed the scanner's button: sets the push state.
  void PressButton();

  // What the scanner is doing, for the daemon's messages and for tests.
  struct Snapshot {
    bool held = false;
    std::string holderName;
    std::string holderAddress;
    LONG session = 0;
    size_t holderConnections = 0;
    bool push = false;
    int dpi = 0;
    bool pagePending = false;
  };
  Snapshot State();

  // --- the procedures, for a given caller ---
  struct CheckOutOutcome {
    std::string message;  // exactly messageSize characters
    LONG status = 0;
    LONG result = 0;
  };
  // computerName and password as they came, NUL and all.
  CheckOutOutcome CheckOut(const Caller& caller, LONG value, const std::string& computerName,
                           const std::string& password, ULONG messageSize);
  LONG CheckOutWithId(const Caller& caller, LONG value, const std::string& scannerId);
  LONG GetScannerId(ULONG idSize, std::u16string* id);
  LONG ClearPush();
  // Fills *chunk with exactly size octets (page data, then zeros).
  LONG Read(const Caller& caller, ULONG size, std::string* chunk);
  LONG Write(const Caller& caller, const std::string& data);
  LONG Return(const Caller& caller);
  LONG Refresh(const Caller& caller);

 private:
  struct Holder {
    std::string computerName;  // empty after a check-out by identifier
    std::string address;
    LONG session = 0;
    std::set<uint64_t> connections;
    std::chrono::steady_clock::time_point lastUse;
  };

  std::chrono::steady_clock::time_point Now() const;
  // The following take mutex_.
  void ExpireLeaseLocked();
  bool HoldsLocked(const Caller& caller);  // and records the use
  LONG GrantLocked(const Caller& caller, const std::string& computerName);
  void ReleaseLocked(const char* why);
  void Log(const std::string& text);
  std::shared_ptr<const std::string> Chart(int dpi);

  const ServiceOptions options_;
  const LogSink log_;
  const SteadyClock clock_;

  std::mutex mutex_;
  std::optional<Holder> holder_;
  LONG nextSession_ = 1;
  bool push_ = false;
  int dpi_;
  std::shared_ptr<const std::string> page_;  // the scanned page not yet read to its end
  size_t readPos_ = 0;

  std::mutex chartMutex_;
  std::map<int, std::shared_ptr<const std::string>> charts_;  // by resolution
};

// The text of a check-out message: the text cut to size - 1 characters and
// NUL-padded to exactly size characters (empty for size 0).
std::string FitMessage(const std::string& text, ULONG size);

// The local time as the log writes it in front of each line.
std::string LogTimestamp();

}  // namespace scansvc
