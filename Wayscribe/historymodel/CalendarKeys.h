// The calendar keys under which the history files a visit, and the place of
// a visit's saved copy on disk.
#pragma once

#include <cstdint>
#include <string>

namespace wys {

// Month 1 to 12 and day of month 1 to 31 of the local time; both 0 for a
// time that cannot be broken down. The year is no part of either key.
struct CalendarKeys {
    int month = 0;
    int day = 0;
};

CalendarKeys CalendarKeysOf(std::int64_t time);

// The history folder joined with a record's Path. Paths written on another
// system separate with backslashes; they become slashes here.
std::string SavedCopyPath(const std::string& baseDirectory, const std::string& path);

}  // namespace wys
