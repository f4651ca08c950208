// The time range an export covers, as the export panel's pickers give it.
#pragma once

#include <cstdint>

struct CExportRange {
    // Seconds since 1970-01-01 00:00:00 UTC; From is never later than To.
    std::int64_t From = 0;
    std::int64_t To = 0;

    // One end of the range: local midnight at the start of the date (month
    // 1 to 12; whether daylight saving applies decided by the zone's rules),
    // plus `secondsIntoDay` (the time picker's hours, minutes and seconds, 0
    // when it holds no time). -1 when the date cannot be represented.
    static std::int64_t PickedTime(int year, int month, int day, int secondsIntoDay);

    // The range between two picked times, swapped when `from` is later.
    static CExportRange Between(std::int64_t from, std::int64_t to);

    std::int64_t Span() const { return To - From; }
};
