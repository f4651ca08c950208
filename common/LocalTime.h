// Local time: breakdown, composition and formatting of the 64-bit times
// (seconds since 1970-01-01 00:00:00 UTC) used throughout Wayscribe.
//
// Everything honours TZ and formats in the "C" locale. Formatting accepts
// the original C library's "#" flag: "%#c" is the long date and time
// ("Tuesday, March 14, 1995, 12:41:29"), "%#x" the long date, and "%#d",
// "%#H", "%#I", "%#j", "%#m", "%#M", "%#S", "%#y", "%#U", "%#W" drop leading
// zeros. "%c" is "03/14/95 12:41:29", as that library writes it.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace wys {

// False (and *out untouched) when the time cannot be broken down.
bool BreakDownLocalTime(std::int64_t time, std::tm* out);

// The time of a local date and time; month is 1 to 12. Whether daylight
// saving applies is decided by the zone's rules, as mktime does with
// tm_isdst = -1. Fields out of range are normalised (day 32 is the next
// month's first). -1 when the result cannot be represented.
std::int64_t ComposeLocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// Local midnight at the start of the day that holds `time`; -1 when the time
// cannot be broken down.
std::int64_t LocalDayStart(std::int64_t time);

// strftime of a broken-down time, with the flags above; "" when the result
// would exceed `limit` bytes (the callers' buffer sizes).
std::string FormatTm(const char* format, const std::tm& tm, std::size_t limit = 1024);

// FormatTm of the local breakdown of `time`; "" when it cannot be broken down.
std::string FormatLocalTime(const char* format, std::int64_t time, std::size_t limit = 1024);

}  // namespace wys
