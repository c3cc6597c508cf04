// The module's date value: days since 30 December 1899 as a double, the time of day in the
// fraction, as the host's automation interface passes dates. 0 is the "zero date" (no date).
// Dates carry local wall-clock time without a zone.
#pragma once

#include <string>

namespace larkedi {

/// A calendar date and time of day split into its fields.
struct DateParts {
  int Year = 1899;
  int Month = 12;
  int Day = 30;
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

class Date {
 public:
  Date() = default;
  explicit Date(double serial) : value_(serial) {}

  /// The date of the given fields; out-of-range months, days or times roll over
  /// (2006-13-01 is 2007-01-01).
  static Date FromParts(int year, int month, int day, int hour = 0, int minute = 0,
                        double second = 0);
  static Date FromParts(const DateParts& p) {
    return FromParts(p.Year, p.Month, p.Day, p.Hour, p.Minute, p.Second);
  }
  /// The current local date and time.
  static Date Now();

  double Serial() const { return value_; }
  bool IsZero() const { return value_ == 0; }
  /// The fields, the time rounded to the nearest second.
  DateParts Parts() const;
  /// This date moved by a number of minutes (negative moves back).
  Date AddMinutes(double minutes) const;

  bool operator==(const Date& other) const { return value_ == other.value_; }

 private:
  double value_ = 0;
};

/// Days from 1970-01-01 of a proleptic Gregorian date (negative before it).
long long DaysFromCivil(long long year, unsigned month, unsigned day);

/// Reads "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" (local time). False when the text is not
/// of that form or names no real date.
bool ParseDateTimeText(const std::string& text, Date* out);

}  // namespace larkedi
