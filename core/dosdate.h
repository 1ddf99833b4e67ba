// MS-DOS packed date/time to a date-time value, strictly: an impossible date or
// time is a failure, not something to be clamped.
//
// A date-time value (TDateTime) is a double: whole days since 1899-12-30, plus the
// fraction of the day (0.5 = noon). That is the form the archiver component reports.
#pragma once
#include <cstdint>
#include <optional>

namespace pv {

using TDateTime = double;

// Civil date and time to a date-time value; nothing when a field is out of range
// (month 1-12, day within the month, hour < 24, minute < 60, second < 60).
std::optional<TDateTime> encodeDateTime(int year, int month, int day, int hour, int minute, int second);

// Date in the high 16 bits (year-1980:7, month:4, day:5), time in the low 16 bits
// (hour:5, minute:6, second/2:5). An all-zero value has month 0 and fails.
std::optional<TDateTime> dosDateTimeToDateTime(std::uint32_t dosDateTime);

}  // namespace pv
