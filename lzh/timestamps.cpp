#include "lzh/timestamps.h"

namespace pv::lzh {
namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (month 1..12).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

}  // namespace

std::int64_t fileTimeToUnix(std::uint64_t fileTime) {
  return static_cast<std::int64_t>(fileTime / kFileTimeTicksPerSecond) -
         static_cast<std::int64_t>(kUnixEpochFileTime / kFileTimeTicksPerSecond);
}

std::uint64_t unixToFileTime(std::int64_t unixTime) {
  const std::int64_t secs = unixTime + static_cast<std::int64_t>(kUnixEpochFileTime / kFileTimeTicksPerSecond);
  if (secs <= 0) return 0;
  return static_cast<std::uint64_t>(secs) * kFileTimeTicksPerSecond;
}

std::int64_t dosTimeToUnix(std::uint32_t dosTime) {
  const unsigned time = dosTime & 0xFFFF, date = dosTime >> 16;
  unsigned month = (date >> 5) & 15, day = date & 31;
  if (month < 1) month = 1;
  if (month > 12) month = 12;
  if (day < 1) day = 1;
  const std::int64_t days = daysFromCivil(1980 + (date >> 9), month, day);
  return days * 86400 + (time >> 11) * 3600 + ((time >> 5) & 63) * 60 + (time & 31) * 2;
}

std::uint32_t unixToDosTime(std::int64_t unixTime) {
  const std::int64_t lo = 315532800;                       // 1980-01-01 00:00:00
  const std::int64_t hi = daysFromCivil(2108, 1, 1) * 86400 - 2;  // 2107-12-31 23:59:58
  if (unixTime < lo) unixTime = lo;
  if (unixTime > hi) unixTime = hi;
  const std::int64_t days = floorDiv(unixTime, 86400);
  const std::int64_t secs = unixTime - days * 86400;
  std::int64_t y;
  unsigned m, d;
  civilFromDays(days, y, m, d);
  const std::uint32_t date = static_cast<std::uint32_t>(((y - 1980) << 9) | (m << 5) | d);
  const std::uint32_t time = static_cast<std::uint32_t>(((secs / 3600) << 11) | (((secs / 60) % 60) << 5) | ((secs % 60) / 2));
  return (date << 16) | time;
}

}  // namespace pv::lzh
