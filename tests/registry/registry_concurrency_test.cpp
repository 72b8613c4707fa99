// The registry read from many threads at once, as check-outs do, while the
// hive file is replaced underneath and while handles are closed by others.
#include <gtest/gtest.h>

#include <time.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry.h"
#include "reg_test_util.h"

namespace {

using regtest::ReadString;

std::string Version(int k) {
  std::string n = std::to_string(k);
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client]\r\n"
         "\"Protocol\"=\"proto-" + n + "\"\r\n"
         "\"Uuid\"=\"uuid-" + n + "\"\r\n"
         "\"Pad\"=\"" + std::string(static_cast<size_t>(k), 'p') + "\"\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Velmora\\Wirebay\\Client\\History]\r\n"
         "\"1\"=\"hist-" + n + "\"\r\n";
}

int64_t ClockAnHourAhead() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<int64_t>(now.tv_sec) + 3600) * 1'000'000'000 + now.tv_nsec;
}

// Readers open, query and close while a writer renames new hive files over
// the old one. Every open succeeds, and the values read through one handle
// all come from the same version of the file. Run with fresh files, which
// are parsed at every open, and with every file trusted from the cache.
class RegistryConcurrency : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override { previous_ = WbSetRegistryClock(GetParam() ? &ClockAnHourAhead : nullptr); }
  void TearDown() override { WbSetRegistryClock(previous_); }
  WbRegistryClock previous_ = nullptr;
};

TEST_P(RegistryConcurrency, ReadersWhileTheHiveIsReplaced) {
  regtest::ScratchRegistry registry;
  constexpr int kVersions = 5;
  registry.ReplaceMachine(Version(0), "init");

  constexpr int kReaders = 4;
  constexpr int kRoundsPerReader = 300;
  std::atomic<int> readersDone{0};
  std::atomic<int> failures{0};

  std::thread writer([&] {
    for (int i = 1; readersDone.load() < kReaders && i < 20000; ++i) {
      registry.ReplaceMachine(Version(i % kVersions), std::to_string(i));
    }
  });

  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([&] {
      for (int round = 0; round < kRoundsPerReader; ++round) {
        HKEY key = nullptr;
        LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client", 0, KEY_READ, &key);
        if (rc != ERROR_SUCCESS) {
          ++failures;
          continue;
        }
        char protocol[64] = {};
        char uuid[64] = {};
        DWORD size = sizeof(protocol);
        LONG a = RegQueryValueExA(key, "Protocol", nullptr, nullptr, reinterpret_cast<LPBYTE>(protocol), &size);
        size = sizeof(uuid);
        LONG b = RegQueryValueExA(key, "Uuid", nullptr, nullptr, reinterpret_cast<LPBYTE>(uuid), &size);
        std::optional<std::string> history = ReadString(key, "History", "1");
        RegCloseKey(key);
        std::string p(protocol);
        std::string u(uuid);
        if (a != ERROR_SUCCESS || b != ERROR_SUCCESS || p.rfind("proto-", 0) != 0 ||
            u != "uuid-" + p.substr(6) || !history || history->rfind("hist-", 0) != 0) {
          ++failures;
        }
        if (ReadString(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                       "ComputerName") == std::nullopt) {
          ++failures;
        }
      }
      ++readersDone;
    });
  }
  for (std::thread& t : readers) t.join();
  writer.join();
  EXPECT_EQ(failures.load(), 0);
}

// A handle closed by one thread while others query it: each query either
// reads the right value or reports an invalid handle, never another key's
// data or freed memory.
TEST_P(RegistryConcurrency, QueriesRacingACloseOfTheirHandle) {
  regtest::ScratchRegistry registry;
  registry.WriteMachine(Version(3));

  std::atomic<HKEY> shared{nullptr};
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0};
  std::atomic<int> answered{0};
  std::atomic<int> invalid{0};

  std::vector<std::thread> queriers;
  for (int q = 0; q < 2; ++q) {
    queriers.emplace_back([&] {
      while (!stop.load()) {
        HKEY key = shared.load();
        if (key == nullptr) {
          std::this_thread::yield();
          continue;
        }
        char buffer[64] = {};
        DWORD size = sizeof(buffer);
        LONG rc = RegQueryValueExA(key, "Protocol", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size);
        if (rc == ERROR_SUCCESS && std::string(buffer) == "proto-3") {
          ++answered;
        } else if (rc == ERROR_INVALID_HANDLE) {
          ++invalid;
        } else {
          ++wrong;
        }
      }
    });
  }

  for (int round = 0; round < 500; ++round) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    shared.store(key);
    std::this_thread::yield();
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    // Some other key, opened while the closed handle may still be queried.
    HKEY other = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmora\\Wirebay\\Client\\History", 0, KEY_READ, &other),
              ERROR_SUCCESS);
    std::this_thread::yield();
    RegCloseKey(other);
  }
  stop.store(true);
  for (std::thread& t : queriers) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GT(answered.load() + invalid.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(Clock, RegistryConcurrency, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? std::string("FilesTrustedFromCache") : std::string("FreshFiles");
                         });

}  // namespace
