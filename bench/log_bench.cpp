// The log's cost: a line while the log is off (every export pays it twice),
// a line while it is on, and beside it a bare open, append and close of the
// same bytes, with the ratio of the two printed at the end.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "platform/key_state.h"
#include "wbremote/log/diag_log.h"

namespace {

SHORT CtrlHeld(int vk) { return vk == VK_CONTROL ? static_cast<SHORT>(0x8000) : 0; }

void BM_WriteLogOff(benchmark::State& state) {
  diaglog::ResetForTest();
  for (auto _ : state) {
    benchmark::DoNotOptimize(CDiagLog::Write("Enter - ReadFromScanner"));
  }
}
BENCHMARK(BM_WriteLogOff);

void BM_WriteLogOn(benchmark::State& state) {
  diaglog::ResetForTest();
  WbSetKeyStateReader(CtrlHeld);
  CDiagLog handle;
  handle.Init("wbremote.log", 7, nullptr);
  unsigned lines = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(CDiagLog::Write("Exit  - ReadFromScanner: %d", 4096));
    if (++lines % 4096 == 0) CDiagLog::Clear();  // keep the file small
  }
  WbSetKeyStateReader(nullptr);
  diaglog::ResetForTest();
}
BENCHMARK(BM_WriteLogOn);

void BM_BareOpenAppendClose(benchmark::State& state) {
  const char line[] = "14:05:00 - Exit  - ReadFromScanner: 4096\r\n";
  // The file exists already, as the log's does: each line opens it without
  // creating it.
  ::close(::open("bare.log", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
  unsigned lines = 0;
  for (auto _ : state) {
    int fd = ::open("bare.log", O_WRONLY | O_APPEND | O_CLOEXEC);
    benchmark::DoNotOptimize(::write(fd, line, sizeof line - 1));
    if (++lines % 4096 == 0) benchmark::DoNotOptimize(::ftruncate(fd, 0));
    ::close(fd);
  }
}
BENCHMARK(BM_BareOpenAppendClose);

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    auto on = times_.find("BM_WriteLogOn"), bare = times_.find("BM_BareOpenAppendClose");
    if (on != times_.end() && bare != times_.end() && bare->second > 0) {
      std::printf("log line on / bare open-append-close: %.2f\n", on->second / bare->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  // Work in a scratch folder so the benchmark leaves nothing behind.
  const auto old = std::filesystem::current_path();
  char pattern[] = "/tmp/wblogbench.XXXXXX";
  if (!::mkdtemp(pattern)) return 1;
  std::filesystem::current_path(pattern);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  std::filesystem::current_path(old);
  std::filesystem::remove_all(pattern);
  return 0;
}
