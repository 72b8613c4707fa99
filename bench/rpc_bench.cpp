// The RPC runtime on loopback against the same exchange done with raw TCP:
// a null call (RemoteClearPush) beside a raw round trip of the same sizes,
// a 1 MiB RemoteReadFromScanner beside a raw exchange of the same sizes, and
// the call rate with 1, 2 and 4 threads on one binding. Prints the ratios at
// the end (targets: null call within 1.3x the raw round trip, 1 MiB read at
// 60% or more of the raw throughput), also from paired runs that alternate
// the two exchanges, which hold up better on a busy machine.
//   rpc_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "platform/rpc/binding.h"
#include "platform/rpc/pdu.h"
#include "platform/rpc/rpc_server.h"
#include "wbremote/rpc/scanner_binding.h"
#include "wbremote/rpc/scanner_service_client.h"
#include "wbremote/rpc/scanner_service_codec.h"

namespace {

constexpr ULONG kMiB = 1024 * 1024;

// Octets on the wire for one call, as the runtime sends them.
size_t ReplyOctets(size_t stub) {
  const size_t per = wbrpc::StubPerFragment(wbrpc::kDefaultMaxFrag, wbrpc::kResponseHeaderSize);
  const size_t frags = stub == 0 ? 1 : (stub + per - 1) / per;
  return stub + frags * wbrpc::kResponseHeaderSize;
}
const size_t kNullRequest = wbrpc::kRequestHeaderSize;       // no stub data
const size_t kNullReply = ReplyOctets(4);                    // the result
const size_t kReadRequest = wbrpc::kRequestHeaderSize + 8;   // size, value
const size_t kReadReply = ReplyOctets(4 + kMiB + 4);         // count, data, result

// The service side: the same RpcServer the tests use, answering from
// prepared data so that the server's own work stays small.
struct BenchService {
  BenchService() {
    readReply = scanner_wire::EncodeBytesReply(std::string(kMiB, 'r'), 1);
    std::vector<wbrpc::RpcServer::Handler> ops(scanner_wire::kOpnumCount);
    ops[scanner_wire::kClearPush] = [](wbrpc::NdrCursor*, std::string* out) -> uint32_t {
      *out = scanner_wire::EncodeResultReply(0);
      return 0;
    };
    ops[scanner_wire::kReadFromScanner] = [this](wbrpc::NdrCursor*, std::string* out) -> uint32_t {
      *out = readReply;
      return 0;
    };
    server.RegisterInterface(scanner_wire::ScannerServiceInterface(), std::move(ops));
    server.Start();
    binding.protseq = "ncacn_ip_tcp";
    binding.networkAddress = "127.0.0.1";
    binding.endpoint = std::to_string(server.port());
    hScannerBinding = &binding;
  }
  std::string readReply;
  wbrpc::RpcServer server;
  RpcBinding binding;
};

BenchService& Service() {
  static BenchService* s = new BenchService();  // lives until exit: threads may still use it
  return *s;
}

bool ReadAll(int fd, char* p, size_t n) {
  while (n) {
    const ssize_t got = recv(fd, p, n, 0);
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const char* p, size_t n) {
  while (n) {
    const ssize_t put = send(fd, p, n, MSG_NOSIGNAL);
    if (put <= 0) return false;
    p += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

// A raw TCP echo of fixed sizes: reads `in` octets, writes `out` octets.
class RawExchange {
 public:
  RawExchange(size_t in, size_t out) : in_(in), out_(out), reply_(out, 'r') {
    listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listen_, 1);
    socklen_t len = sizeof a;
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    thread_ = std::thread([this] {
      const int c = accept(listen_, nullptr, nullptr);
      int one = 1;
      setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      std::string buf(in_, '\0');
      while (ReadAll(c, buf.data(), in_) && WriteAll(c, reply_.data(), out_)) {
      }
      close(c);
    });
    client_ = socket(AF_INET, SOCK_STREAM, 0);
    int one = 1;
    setsockopt(client_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    connect(client_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    request_.assign(in_, 'q');
    answer_.resize(out_);
  }
  ~RawExchange() {
    shutdown(client_, SHUT_RDWR);
    close(client_);
    thread_.join();
    close(listen_);
  }
  bool RoundTrip() {
    return WriteAll(client_, request_.data(), in_) && ReadAll(client_, answer_.data(), out_);
  }

 private:
  size_t in_, out_;
  std::string reply_, request_, answer_;
  int listen_ = -1, client_ = -1;
  std::thread thread_;
};

void BM_RawNullRoundTrip(benchmark::State& state) {
  RawExchange raw(kNullRequest, kNullReply);
  for (auto _ : state) {
    if (!raw.RoundTrip()) state.SkipWithError("raw exchange failed");
  }
}
BENCHMARK(BM_RawNullRoundTrip)->UseRealTime();

void BM_NullCall(benchmark::State& state) {
  Service();
  for (auto _ : state) benchmark::DoNotOptimize(RemoteClearPush());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NullCall)->UseRealTime();

void BM_RawRead1MiB(benchmark::State& state) {
  RawExchange raw(kReadRequest, kReadReply);
  for (auto _ : state) {
    if (!raw.RoundTrip()) state.SkipWithError("raw exchange failed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMiB);
}
BENCHMARK(BM_RawRead1MiB)->UseRealTime();

void BM_Read1MiB(benchmark::State& state) {
  Service();
  std::string buf(kMiB, '\0');
  for (auto _ : state) {
    benchmark::DoNotOptimize(RemoteReadFromScanner(reinterpret_cast<BYTE*>(buf.data()), kMiB, 0));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kMiB);
}
BENCHMARK(BM_Read1MiB)->UseRealTime();

// The same comparisons with the two exchanges alternating inside one loop,
// so that both see the same load on a busy machine: the counter is the
// runtime's time over the raw exchange's.
template <typename Rpc>
void Paired(benchmark::State& state, size_t in, size_t out, Rpc rpc) {
  RawExchange raw(in, out);
  std::chrono::nanoseconds rawTime{0}, rpcTime{0};
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (!raw.RoundTrip()) state.SkipWithError("raw exchange failed");
    const auto t1 = std::chrono::steady_clock::now();
    rpc();
    const auto t2 = std::chrono::steady_clock::now();
    rawTime += t1 - t0;
    rpcTime += t2 - t1;
  }
  state.counters["rpc_over_raw"] = rawTime.count() ? static_cast<double>(rpcTime.count()) / rawTime.count() : 0;
}

void BM_PairedNullCall(benchmark::State& state) {
  Service();
  Paired(state, kNullRequest, kNullReply, [] { benchmark::DoNotOptimize(RemoteClearPush()); });
}
BENCHMARK(BM_PairedNullCall)->UseRealTime();

void BM_PairedRead1MiB(benchmark::State& state) {
  Service();
  std::string buf(kMiB, '\0');
  Paired(state, kReadRequest, kReadReply, [&] {
    benchmark::DoNotOptimize(RemoteReadFromScanner(reinterpret_cast<BYTE*>(buf.data()), kMiB, 0));
  });
}
BENCHMARK(BM_PairedRead1MiB)->UseRealTime();

// Calls per second on one binding from several threads at once.
void BM_CallRate(benchmark::State& state) {
  Service();
  for (auto _ : state) benchmark::DoNotOptimize(RemoteClearPush());
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallRate)->Threads(1)->Threads(2)->Threads(4)->UseRealTime();

// Collects the time per iteration of each run for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With --benchmark_repetitions the median stands for the run.
    for (const Run& r : runs) {
      const std::string& name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median") {
        seconds_[name] = r.GetAdjustedRealTime() * 1e-9;
        median_[name] = true;
      } else if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !median_[name]) {
        seconds_[name] = r.real_accumulated_time / static_cast<double>(r.iterations);
      }
      auto c = r.counters.find("rpc_over_raw");
      if (c != r.counters.end() && (r.run_type == Run::RT_Iteration ||
                                    (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median"))) {
        ratio_[name] = c->second.value;
      }
    }
  }
  double Get(const char* name) const {
    auto it = seconds_.find(name);
    return it == seconds_.end() ? 0 : it->second;
  }

 private:
  std::map<std::string, double> seconds_;
  std::map<std::string, bool> median_;

 public:
  std::map<std::string, double> ratio_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double rawNull = reporter.Get("BM_RawNullRoundTrip"), null = reporter.Get("BM_NullCall");
  const double rawRead = reporter.Get("BM_RawRead1MiB"), read = reporter.Get("BM_Read1MiB");
  if (rawNull > 0 && null > 0) {
    printf("null call / raw round trip: %.2fx (%.1f us vs %.1f us; target <= 1.3x)\n", null / rawNull,
           null * 1e6, rawNull * 1e6);
  }
  if (rawRead > 0 && read > 0) {
    printf("1 MiB read throughput / raw: %.0f%% (%.0f MiB/s vs %.0f MiB/s; target >= 60%%)\n",
           100.0 * rawRead / read, 1.0 / read, 1.0 / rawRead);
  }
  if (reporter.ratio_.count("BM_PairedNullCall")) {
    printf("paired: null call / raw round trip: %.2fx (target <= 1.3x)\n", reporter.ratio_["BM_PairedNullCall"]);
  }
  if (reporter.ratio_.count("BM_PairedRead1MiB")) {
    printf("paired: 1 MiB read throughput / raw: %.0f%% (target >= 60%%)\n",
           100.0 / reporter.ratio_["BM_PairedRead1MiB"]);
  }
  hScannerBinding = nullptr;
  benchmark::Shutdown();
  return 0;
}
