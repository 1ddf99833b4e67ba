#include "core/dosdate.h"

namespace pv {

namespace {

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153L * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

constexpr long kDaysFrom1899To1970 = 25569;  // 1899-12-30 .. 1970-01-01

}  // namespace

std::optional<TDateTime> encodeDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  if (day < 1 || day > daysInMonth(year, month)) return std::nullopt;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) return std::nullopt;
  const double days = static_cast<double>(daysFromCivil(year, month, day) + kDaysFrom1899To1970);
  return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

std::optional<TDateTime> dosDateTimeToDateTime(std::uint32_t dosDateTime) {
  const unsigned date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
  return encodeDateTime(static_cast<int>((date >> 9) + 1980), static_cast<int>((date >> 5) & 15),
                        static_cast<int>(date & 31), static_cast<int>(time >> 11),
                        static_cast<int>((time >> 5) & 63), static_cast<int>((time & 31) * 2));
}

}  // namespace pv
