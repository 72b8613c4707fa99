// Cost of one registry read as a check-out makes it (open, query, close) on
// a small hive: parsed afresh at every open, and trusted from the cache; and
// the parse of a large hive.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/reg_file.h"
#include "platform/registry.h"

namespace {

const char kHive[] =
    "Windows Registry Editor Version 5.00\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client]\r\n"
    "\"Protocol\"=\"ncacn_ip_tcp\"\r\n\"EndPoint\"=\"\"\r\n\"Options\"=\"\"\r\n"
    "\"StringBinding\"=\"\"\r\n\"Uuid\"=\"\"\r\n\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History]\r\n"
    "\"1\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,\\\r\n"
    "  19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30\r\n";

int64_t ClockAnHourAhead() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<int64_t>(now.tv_sec) + 3600) * 1'000'000'000 + now.tv_nsec;
}

void OpenQueryClose(benchmark::State& state) {
  std::string dir = (std::filesystem::temp_directory_path() / "wbregbenchXXXXXX").string();
  mkdtemp(dir.data());
  std::ofstream(dir + "/HKEY_LOCAL_MACHINE.reg", std::ios::binary) << kHive;
  setenv("WB_REGISTRY_DIR", dir.c_str(), 1);
  WbSetRegistryClock(state.range(0) != 0 ? &ClockAnHourAhead : nullptr);
  for (auto _ : state) {
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client\\History", 0, KEY_READ, &key);
    BYTE buffer[2048];
    DWORD size = sizeof(buffer);
    benchmark::DoNotOptimize(RegQueryValueExA(key, "1", nullptr, nullptr, buffer, &size));
    RegCloseKey(key);
  }
  WbSetRegistryClock(nullptr);
  unsetenv("WB_REGISTRY_DIR");
  std::filesystem::remove_all(dir);
}
BENCHMARK(OpenQueryClose)->Arg(0)->Arg(1)->ArgName("cached");

void ParseLargeHive(benchmark::State& state) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
  for (int k = 0; text.size() < static_cast<size_t>(state.range(0)); ++k) {
    text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Key" + std::to_string(k) + "]\r\n\"Name\"=\"value " +
            std::to_string(k) + "\"\r\n\"Num\"=dword:0000002a\r\n\"Bin\"=hex:01,02,03,04,05,06,07,08\r\n";
  }
  for (auto _ : state) {
    RegKeyNode root("HKEY_LOCAL_MACHINE");
    benchmark::DoNotOptimize(ParseRegFile(text, "HKEY_LOCAL_MACHINE", "HKLM", &root));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(ParseLargeHive)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
