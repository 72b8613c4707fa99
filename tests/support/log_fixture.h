// Switching the diagnostic log on or off for a test: a fixed clock, a key
// reader that says whether Ctrl is held, and a temporary current folder.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/key_state.h"
#include "platform/local_time.h"
#include "tests/support/temp_folder.h"
#include "wbremote/log/diag_log.h"

namespace wbtest {

inline bool gCtrlHeld = false;

inline SHORT FakeKeys(int virtualKey) {
  return virtualKey == VK_CONTROL && gCtrlHeld ? static_cast<SHORT>(0x8000) : 0;
}

// 7 March 1999, 14:05:00 local time.
inline int64_t FixedClock() {
  struct tm t {};
  t.tm_year = 99;
  t.tm_mon = 2;
  t.tm_mday = 7;
  t.tm_hour = 14;
  t.tm_min = 5;
  t.tm_sec = 0;
  t.tm_isdst = -1;
  return static_cast<int64_t>(mktime(&t));
}

class LogFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    diaglog::ResetForTest();
    gCtrlHeld = false;
    WbSetKeyStateReader(FakeKeys);
    WbSetClock(FixedClock);
  }
  void TearDown() override {
    diaglog::ResetForTest();
    WbSetKeyStateReader(nullptr);
    WbSetClock(nullptr);
  }
  std::string LogText() const { return ReadFile(folder_.path() + "/wbremote.log"); }
  bool LogExists() const;

  TempFolder folder_;
};

inline bool LogFixture::LogExists() const {
  return Exists(folder_.path() + "/wbremote.log");
}

}  // namespace wbtest
