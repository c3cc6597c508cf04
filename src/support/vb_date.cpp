#include "support/vb_date.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace larkedi {
namespace {

constexpr long long kEpochOffset = 25569;  // days from 1899-12-30 to 1970-01-01

void CivilFromDays(long long z, int* y, int* m, int* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long dd = doy - (153 * mp + 2) / 5 + 1;
  const long long mm = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int>(yoe + era * 400 + (mm <= 2 ? 1 : 0));
  *m = static_cast<int>(mm);
  *d = static_cast<int>(dd);
}

// Serial day number and seconds into that day -> the stored double. Days before the base
// date keep the time of day as a positive fraction written after the minus sign.
Date Compose(long long serial_day, double seconds_of_day) {
  double frac = seconds_of_day / 86400.0;
  return Date(serial_day >= 0 ? static_cast<double>(serial_day) + frac
                              : static_cast<double>(serial_day) - frac);
}

void Decompose(double value, long long* serial_day, double* seconds_of_day) {
  double day = std::trunc(value);
  *serial_day = static_cast<long long>(day);
  *seconds_of_day = std::fabs(value - day) * 86400.0;
}

}  // namespace

long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Date Date::FromParts(int year, int month, int day, int hour, int minute, double second) {
  // Roll the month into the year first, then count days and seconds linearly.
  long long y = year;
  long long m = month - 1;
  y += m >= 0 ? m / 12 : -((11 - m) / 12);
  m = ((m % 12) + 12) % 12;
  long long days = DaysFromCivil(y, static_cast<unsigned>(m + 1), 1) + (day - 1) + kEpochOffset;
  double secs = hour * 3600.0 + minute * 60.0 + second;
  long long extra = static_cast<long long>(std::floor(secs / 86400.0));
  days += extra;
  secs -= static_cast<double>(extra) * 86400.0;
  return Compose(days, secs);
}

Date Date::Now() {
  timespec ts{};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  std::tm tm{};
  ::localtime_r(&ts.tv_sec, &tm);
  return FromParts(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
}

DateParts Date::Parts() const {
  long long day = 0;
  double secs = 0;
  Decompose(value_, &day, &secs);
  long long whole = std::llround(secs);
  if (whole >= 86400) {
    whole -= 86400;
    day += 1;
  }
  DateParts p;
  CivilFromDays(day - kEpochOffset, &p.Year, &p.Month, &p.Day);
  p.Hour = static_cast<int>(whole / 3600);
  p.Minute = static_cast<int>(whole / 60 % 60);
  p.Second = static_cast<int>(whole % 60);
  return p;
}

Date Date::AddMinutes(double minutes) const {
  long long day = 0;
  double secs = 0;
  Decompose(value_, &day, &secs);
  secs += minutes * 60.0;
  long long extra = static_cast<long long>(std::floor(secs / 86400.0));
  return Compose(day + extra, secs - static_cast<double>(extra) * 86400.0);
}

bool ParseDateTimeText(const std::string& text, Date* out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, used = 0;
  bool ok = false;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &s, &used) ==
          6 &&
      static_cast<std::size_t>(used) == text.size()) {
    ok = text.size() == 19;
  } else if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &y, &mo, &d, &used) == 3 &&
             static_cast<std::size_t>(used) == text.size()) {
    ok = text.size() == 10;
    h = mi = s = 0;
  }
  if (!ok || mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || s > 59 || h < 0 || mi < 0 ||
      s < 0 || y < 100) {
    return false;
  }
  Date date = Date::FromParts(y, mo, d, h, mi, s);
  if (date.Parts().Day != d) return false;  // 2023-02-30 and the like
  *out = date;
  return true;
}

}  // namespace larkedi
