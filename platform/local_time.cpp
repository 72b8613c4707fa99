#include "platform/local_time.h"

#include <atomic>
#include <ctime>

namespace {
int64_t SystemClock() { return static_cast<int64_t>(std::time(nullptr)); }
std::atomic<WbClock> gClock{SystemClock};
}  // namespace

WbClock WbSetClock(WbClock clock) { return gClock.exchange(clock ? clock : SystemClock); }

CTime CTime::GetCurrentTime() {
  const time_t now = static_cast<time_t>(gClock.load()());
  struct tm local {};
  CTime t;
  if (!localtime_r(&now, &local)) return t;
  t.m_year = local.tm_year + 1900;
  t.m_month = local.tm_mon + 1;
  t.m_day = local.tm_mday;
  t.m_hour = local.tm_hour;
  t.m_minute = local.tm_min;
  t.m_second = local.tm_sec;
  return t;
}
