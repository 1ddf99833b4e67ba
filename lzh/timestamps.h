// Time conversions between the forms LHA headers use:
//   FILETIME ticks (100 ns since 1601-01-01 UTC; ext header 0x41, and what the DLL hands in),
//   Unix seconds (level-2 base header and ext 0x54, UTC),
//   MS-DOS date/time (level 0/1 base header: local time, 2-second steps; time in the
//   low 16 bits, date in the high 16 bits, as the four bytes at header offset 15 read LE).
// The DOS conversions here are time-zone free (they treat the DOS value as a civil time
// in UTC); callers that know the local zone add or remove its offset themselves.
#pragma once
#include <cstdint>

namespace pv::lzh {

// FILETIME of 1970-01-01 00:00:00 UTC.
constexpr std::uint64_t kUnixEpochFileTime = 116444736000000000ULL;
constexpr std::uint64_t kFileTimeTicksPerSecond = 10000000ULL;

// Whole seconds, rounded down (times before 1970 give negative values).
std::int64_t fileTimeToUnix(std::uint64_t fileTime);
// Times before 1601 give 0.
std::uint64_t unixToFileTime(std::int64_t unixTime);

// DOS date/time read as a UTC civil time -> Unix seconds. Invalid fields (month 0,
// day 0, ...) are taken as they come so that a damaged value never fails.
std::int64_t dosTimeToUnix(std::uint32_t dosTime);
// Unix seconds -> DOS date/time of that UTC civil time; odd seconds round down.
// Clamped to 1980-01-01 .. 2107-12-31.
std::uint32_t unixToDosTime(std::int64_t unixTime);

}  // namespace pv::lzh
