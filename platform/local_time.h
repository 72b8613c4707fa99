// The framework's time object, as far as the log needs it: the local date and
// time of this moment. The clock is a seam so tests can fix the moment.
#pragma once

#include <cstdint>

class CTime {
 public:
  static CTime GetCurrentTime();

  int GetYear() const { return m_year; }
  int GetMonth() const { return m_month; }   // 1 to 12
  int GetDay() const { return m_day; }       // 1 to 31
  int GetHour() const { return m_hour; }     // 0 to 23
  int GetMinute() const { return m_minute; }
  int GetSecond() const { return m_second; }

 private:
  int m_year = 1970, m_month = 1, m_day = 1, m_hour = 0, m_minute = 0, m_second = 0;
};

// Seconds since the epoch; local time is taken from it with the machine's
// time zone.
typedef int64_t (*WbClock)();
// Replaces the clock (null restores the system's); returns the old one.
WbClock WbSetClock(WbClock clock);
