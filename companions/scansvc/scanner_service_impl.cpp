// Decoding, validation, the scanner's state machine and the call log.
#include "companions/scansvc/scanner_service_impl.h"

#include <time.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

#include "companions/scansvc/page_generator.h"
#include "platform/rpc/rpc.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace scansvc {

namespace {
using wbrpc::NdrCursor;
using namespace scanner_wire;

// Some clients pad stub data to eight octets; more left over is garbage.
bool Finished(const NdrCursor* in) { return in->remaining() <= 7; }

// Printable text for the log: quoted, control characters as '?', cut.
std::string Quote(const std::string& s, size_t max = 64) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size() && i < max; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    out.push_back(c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '?');
  }
  if (s.size() > max) out += "...";
  out += "\"";
  return out;
}

// The text before the first NUL, or nothing when the array holds no NUL.
std::optional<std::string> UpToNul(const std::string& chars) {
  const size_t nul = chars.find('\0');
  if (nul == std::string::npos) return std::nullopt;
  return chars.substr(0, nul);
}

bool SameName(const std::string& a, const std::string& b) {
  // Computer names do not distinguish case.
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
         });
}

bool Printable(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
}

}  // namespace

std::string LogTimestamp() {
  const time_t now = time(nullptr);
  struct tm tm {};
  localtime_r(&now, &tm);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

namespace {
Caller CurrentCaller() {
  Caller c;
  if (const auto* ctx = wbrpc::RpcServer::CurrentCall()) {
    c.connectionId = ctx->connectionId;
    c.address = ctx->peerAddress;
    c.port = ctx->peerPort;
  }
  return c;
}
}  // namespace

std::string FitMessage(const std::string& text, ULONG size) {
  std::string out(size, '\0');
  if (size > 0) memcpy(out.data(), text.data(), std::min<size_t>(text.size(), size - 1));
  return out;
}

ScannerServiceImpl::ScannerServiceImpl(ServiceOptions options, LogSink log, SteadyClock clock)
    : options_(std::move(options)), log_(std::move(log)), clock_(std::move(clock)), dpi_(options_.defaultDpi) {}

std::chrono::steady_clock::time_point ScannerServiceImpl::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

void ScannerServiceImpl::Log(const std::string& text) {
  if (log_) log_(LogTimestamp() + " " + text);
}

std::shared_ptr<const std::string> ScannerServiceImpl::Chart(int dpi) {
  std::lock_guard<std::mutex> lock(chartMutex_);
  auto& slot = charts_[dpi];
  if (!slot) slot = std::make_shared<const std::string>(GenerateTestChart(dpi));
  return slot;
}

// --- state ---

void ScannerServiceImpl::ReleaseLocked(const char* why) {
  if (!holder_) return;
  const std::string name = holder_->computerName.empty() ? "(by identifier)" : holder_->computerName;
  Log("release " + Quote(name) + " at " + holder_->address + " session " + std::to_string(holder_->session) +
      ": " + why);
  holder_.reset();
  page_.reset();
  readPos_ = 0;
  dpi_ = options_.defaultDpi;  // the next holder finds the scanner as new
}

void ScannerServiceImpl::ExpireLeaseLocked() {
  if (holder_ && options_.lease.count() > 0 && Now() - holder_->lastUse >= options_.lease) {
    ReleaseLocked("lease expired");
  }
}

bool ScannerServiceImpl::HoldsLocked(const Caller& caller) {
  ExpireLeaseLocked();
  if (!holder_ || holder_->address != caller.address) return false;
  holder_->connections.insert(caller.connectionId);
  holder_->lastUse = Now();
  return true;
}

LONG ScannerServiceImpl::GrantLocked(const Caller& caller, const std::string& computerName) {
  if (!holder_) {
    Holder h;
    h.computerName = computerName;
    h.address = caller.address;
    h.session = nextSession_;
    nextSession_ = nextSession_ == 0x7fffffff ? 1 : nextSession_ + 1;  // always positive
    holder_ = std::move(h);
  } else if (holder_->computerName.empty()) {
    holder_->computerName = computerName;
  }
  holder_->connections.insert(caller.connectionId);
  holder_->lastUse = Now();
  return holder_->session;
}

void ScannerServiceImpl::ConnectionClosed(uint64_t connectionId) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (holder_ && holder_->connections.erase(connectionId) == 1 && holder_->connections.empty()) {
    ReleaseLocked("all its connections closed");
  }
}

void ScannerServiceImpl::PressButton() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    push_ = true;
  }
  Log("button pressed: push state set");
}

ScannerServiceImpl::Snapshot ScannerServiceImpl::State() {
  std::lock_guard<std::mutex> lock(mutex_);
  ExpireLeaseLocked();
  Snapshot s;
  s.held = holder_.has_value();
  if (holder_) {
    s.holderName = holder_->computerName;
    s.holderAddress = holder_->address;
    s.session = holder_->session;
    s.holderConnections = holder_->connections.size();
  }
  s.push = push_;
  s.dpi = dpi_;
  s.pagePending = page_ != nullptr;
  return s;
}

// --- the procedures ---

ScannerServiceImpl::CheckOutOutcome ScannerServiceImpl::CheckOut(const Caller& caller, LONG, const std::string& rawName,
                                                                 const std::string& rawPassword, ULONG messageSize) {
  CheckOutOutcome o;
  const std::optional<std::string> name = UpToNul(rawName);
  const std::optional<std::string> password = UpToNul(rawPassword);
  auto refuse = [&](LONG status, const std::string& text) {
    o.status = status;
    o.result = 0;
    o.message = FitMessage(text, messageSize);
    return o;
  };
  if (!name || name->empty() || !Printable(*name) || !password) {
    return refuse(kStatusInvalidRequest, "Invalid check-out request.");
  }
  // The password comes first, so that a caller without it learns nothing
  // about who holds the scanner.
  if (!options_.password.empty() && *password != options_.password) {
    return refuse(kStatusWrongPassword, "Wrong password.");
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ExpireLeaseLocked();
  if (holder_ && (holder_->address != caller.address ||
                  (!holder_->computerName.empty() && !SameName(holder_->computerName, *name)))) {
    const std::string who = holder_->computerName.empty() ? holder_->address : holder_->computerName;
    return refuse(kStatusHeldByOther, "The scanner is checked out by " + who + ".");
  }
  o.status = kStatusGranted;
  o.result = GrantLocked(caller, *name);
  o.message = FitMessage("Scanner checked out.", messageSize);
  return o;
}

LONG ScannerServiceImpl::CheckOutWithId(const Caller& caller, LONG, const std::string& scannerId) {
  // Without a computer name and password this check-out is only for an
  // open service.
  if (!options_.password.empty() || scannerId != options_.scannerId) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  ExpireLeaseLocked();
  if (holder_ && holder_->address != caller.address) return 0;
  return GrantLocked(caller, holder_ ? holder_->computerName : std::string());
}

LONG ScannerServiceImpl::GetScannerId(ULONG idSize, std::u16string* id) {
  id->assign(idSize, u'\0');
  const size_t n = std::min<size_t>(idSize, options_.scannerId.size());
  for (size_t i = 0; i < n; ++i) (*id)[i] = static_cast<char16_t>(static_cast<unsigned char>(options_.scannerId[i]));
  return static_cast<LONG>(options_.scannerId.size());
}

LONG ScannerServiceImpl::ClearPush() {
  std::lock_guard<std::mutex> lock(mutex_);
  const bool was = push_;
  push_ = false;
  return was ? 1 : 0;
}

LONG ScannerServiceImpl::Read(const Caller& caller, ULONG size, std::string* chunk) {
  chunk->assign(size, '\0');
  std::lock_guard<std::mutex> lock(mutex_);
  if (!HoldsLocked(caller)) return kNotHolder;
  if (!page_) return 0;
  const size_t n = std::min<size_t>(size, page_->size() - readPos_);
  memcpy(chunk->data(), page_->data() + readPos_, n);
  readPos_ += n;
  if (n == 0 && size > 0) {
    // Read to its end: the scanner is ready for the next page.
    page_.reset();
    readPos_ = 0;
  }
  return static_cast<LONG>(n);
}

LONG ScannerServiceImpl::Write(const Caller& caller, const std::string& data) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!HoldsLocked(caller)) return kNotHolder;
  }
  // One command per write, in ASCII; a trailing NUL and line end are allowed.
  std::string text = data;
  while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  while (!text.empty() && text.front() == ' ') text.erase(text.begin());
  if (text.empty() || !Printable(text)) return kBadCommand;
  std::vector<std::string> words;
  for (size_t i = 0; i < text.size();) {
    const size_t end = std::min(text.find(' ', i), text.size());
    if (end > i) words.push_back(text.substr(i, end - i));
    i = end + 1;
  }
  std::string verb = words[0];
  for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const LONG accepted = static_cast<LONG>(data.size());
  if (verb == "SCAN" && words.size() == 1) {
    int dpi;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      dpi = dpi_;
    }
    std::shared_ptr<const std::string> page = Chart(dpi);  // outside the state lock: may take a while
    std::lock_guard<std::mutex> lock(mutex_);
    if (!HoldsLocked(caller)) return kNotHolder;  // released meanwhile
    page_ = std::move(page);
    readPos_ = 0;
    return accepted;
  }
  if (verb == "RESOLUTION" && words.size() == 2) {
    const std::string& digits = words[1];
    if (digits.empty() || digits.size() > 4 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return kBadCommand;
    }
    const int dpi = std::stoi(digits);
    if (dpi < kMinDpi || dpi > kMaxDpi) return kBadCommand;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!HoldsLocked(caller)) return kNotHolder;
    dpi_ = dpi;
    return accepted;
  }
  if (verb == "RESET" && words.size() == 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!HoldsLocked(caller)) return kNotHolder;
    dpi_ = options_.defaultDpi;
    page_.reset();
    readPos_ = 0;
    return accepted;
  }
  return kBadCommand;
}

LONG ScannerServiceImpl::Return(const Caller& caller) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!HoldsLocked(caller)) return 0;
  ReleaseLocked("returned");
  return 1;
}

LONG ScannerServiceImpl::Refresh(const Caller& caller) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (HoldsLocked(caller)) {
    page_.reset();
    readPos_ = 0;
  }
  return 1;
}

// --- the wire side ---

std::vector<wbrpc::RpcServer::Handler> ScannerServiceImpl::Handlers() {
  // Each body decodes, acts and encodes; it fills args and outcome for the
  // log and returns 0 or a fault status.
  using Body = std::function<uint32_t(const Caller&, NdrCursor*, std::string*, std::string*, std::string*)>;
  auto wrap = [this](const char* name, Body body) -> wbrpc::RpcServer::Handler {
    return [this, name, body](NdrCursor* in, std::string* out) -> uint32_t {
      const Caller caller = CurrentCaller();
      std::string args, outcome;
      uint32_t fault = 0;
      try {
        fault = body(caller, in, out, &args, &outcome);
      } catch (const std::bad_alloc&) {
        fault = RPC_S_OUT_OF_MEMORY;
      }
      if (fault != 0) {
        out->clear();
        outcome = "fault " + std::to_string(fault);
      }
      Log(caller.address + " port " + std::to_string(caller.port) + " " + name + "(" + args + ") -> " + outcome);
      return fault;
    };
  };
  auto result = [](LONG r) { return "result " + std::to_string(r); };

  std::vector<wbrpc::RpcServer::Handler> ops(kOpnumCount);
  ops[kCheckOutScanner] = wrap("RemoteCheckOutScanner", [this](const Caller& c, NdrCursor* in, std::string* out,
                                                               std::string* args, std::string* outcome) -> uint32_t {
    CheckOutRequest r;
    if (!DecodeCheckOutRequest(in, &r) || !Finished(in)) return RPC_X_BAD_STUB_DATA;
    *args = "value " + std::to_string(r.value) + ", computerName " + Quote(r.computerName) + ", computerNameSize " +
            std::to_string(r.computerName.size()) + ", passwordSize " + std::to_string(r.password.size()) +
            ", messageSize " + std::to_string(r.message.size());
    const CheckOutOutcome o = CheckOut(c, r.value, r.computerName, r.password, static_cast<ULONG>(r.message.size()));
    *out = EncodeCheckOutReply(o.message, o.status, o.result);
    *outcome = "status " + std::to_string(o.status) + ", message " + Quote(UpToNul(o.message).value_or(o.message)) +
               ", result " + std::to_string(o.result);
    return 0;
  });
  ops[kCheckOutScannerWithID] = wrap("RemoteCheckOutScannerWithID",
                                     [this, result](const Caller& c, NdrCursor* in, std::string* out, std::string* args,
                                                    std::string* outcome) -> uint32_t {
    LONG value = 0;
    std::string id;
    if (!DecodeCheckOutWithIdRequest(in, &value, &id) || !Finished(in)) return RPC_X_BAD_STUB_DATA;
    *args = "value " + std::to_string(value) + ", scannerId " + Quote(id);
    const LONG r = CheckOutWithId(c, value, id);
    *out = EncodeResultReply(r);
    *outcome = result(r);
    return 0;
  });
  ops[kGetScannerID] = wrap("RemoteGetScannerID", [this, result](const Caller&, NdrCursor* in, std::string* out,
                                                                 std::string* args, std::string* outcome) -> uint32_t {
    ULONG size = 0;
    if (!DecodeSizeRequest(in, &size) || !Finished(in)) return RPC_X_BAD_STUB_DATA;
    *args = "idSize " + std::to_string(size);
    if (size > kMaxTransfer / 2) return RPC_S_INVALID_BOUND;
    std::u16string id;
    const LONG r = GetScannerId(size, &id);
    *out = EncodeScannerIdReply(id, r);
    *outcome = result(r);
    return 0;
  });
  ops[kSendValue] = wrap("RemoteSendValue", [result](const Caller&, NdrCursor* in, std::string* out,
                                                     std::string* args, std::string* outcome) -> uint32_t {
    LONG value = 0;
    if (!DecodeValueRequest(in, &value) || !Finished(in)) return RPC_X_BAD_STUB_DATA;
    *args = "value " + std::to_string(value);
    *out = EncodeResultReply(value);
    *outcome = result(value);
    return 0;
  });
  ops[kClearPush] = wrap("RemoteClearPush", [this, result](const Caller&, NdrCursor* in, std::string* out,
                                                           std::string*, std::string* outcome) -> uint32_t {
    if (!Finished(in)) return RPC_X_BAD_STUB_DATA;
    const LONG r = ClearPush();
    *out = EncodeResultReply(r);
    *outcome = result(r);
    return 0;
  });
  auto read = [this, result](bool byteValue) {
    return [this, result, byteValue](const Caller& c, NdrCursor* in, std::string* out, std::string* args,
                                     std::string* outcome) -> uint32_t {
      ULONG size = 0;
      LONG value = 0;
      if (byteValue) {
        BYTE b = 0;
        if (!DecodeReadBufferRequest(in, &size, &b)) return RPC_X_BAD_STUB_DATA;
        value = b;
      } else if (!DecodeReadRequest(in, &size, &value)) {
        return RPC_X_BAD_STUB_DATA;
      }
      if (!Finished(in)) return RPC_X_BAD_STUB_DATA;
      *args = "size " + std::to_string(size) + ", value " + std::to_string(value);
      if (size > kMaxTransfer) return RPC_S_INVALID_BOUND;
      std::string chunk;
      const LONG r = Read(c, size, &chunk);
      *out = EncodeBytesReply(chunk, r);
      *outcome = result(r);
      return 0;
    };
  };
  ops[kReadFromScanner] = wrap("RemoteReadFromScanner", read(false));
  ops[kReadBufferFromScanner] = wrap("RemoteReadBufferFromScanner", read(true));
  auto write = [this, result](const Caller& c, NdrCursor* in, std::string* out, std::string* args,
                              std::string* outcome) -> uint32_t {
    std::string data;
    if (!DecodeWriteRequest(in, &data) || !Finished(in)) return RPC_X_BAD_STUB_DATA;
    *args = "size " + std::to_string(data.size()) + ", buffer " + Quote(data, 40);
    const LONG r = Write(c, data);
    *out = EncodeResultReply(r);
    *outcome = result(r);
    return 0;
  };
  ops[kWriteToScanner] = wrap("RemoteWriteToScanner", write);
  ops[kWriteBufferToScanner] = wrap("RemoteWriteBufferToScanner", write);
  ops[kReturnScanner] = wrap("RemoteReturnScanner", [this, result](const Caller& c, NdrCursor* in, std::string* out,
                                                                   std::string* args, std::string* outcome) -> uint32_t {
    LONG value = 0;
    if (!DecodeValueRequest(in, &value) || !Finished(in)) return RPC_X_BAD_STUB_DATA;
    *args = "value " + std::to_string(value);
    const LONG r = Return(c);
    *out = EncodeResultReply(r);
    *outcome = result(r);
    return 0;
  });
  ops[kRefreshScanner] = wrap("RemoteRefreshScanner", [this, result](const Caller& c, NdrCursor* in, std::string* out,
                                                                     std::string*, std::string* outcome) -> uint32_t {
    if (!Finished(in)) return RPC_X_BAD_STUB_DATA;
    const LONG r = Refresh(c);
    *out = EncodeResultReply(r);
    *outcome = result(r);
    return 0;
  });
  ops[kSetCurrentScannerFromSTILaunchInfo] =
      wrap("RemoteSetCurrentScannerFromSTILaunchInfo",
           [result](const Caller&, NdrCursor* in, std::string* out, std::string*, std::string* outcome) -> uint32_t {
             if (!Finished(in)) return RPC_X_BAD_STUB_DATA;
             *out = EncodeResultReply(0);
             *outcome = result(0);
             return 0;
           });
  ops[kPreFreeLibrary] = wrap("RemotePreFreeLibrary", [](const Caller&, NdrCursor* in, std::string* out,
                                                         std::string*, std::string* outcome) -> uint32_t {
    if (!Finished(in)) return RPC_X_BAD_STUB_DATA;
    out->clear();
    *outcome = "done";
    return 0;
  });
  return ops;
}

}  // namespace scansvc
