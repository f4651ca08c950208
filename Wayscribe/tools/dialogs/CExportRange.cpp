#include "Wayscribe/tools/dialogs/CExportRange.h"

#include <utility>

#include "common/LocalTime.h"

std::int64_t CExportRange::PickedTime(int year, int month, int day, int secondsIntoDay)
{
    const std::int64_t midnight = wys::ComposeLocalTime(year, month, day);
    if (midnight == -1)
        return -1;
    // Added to midnight rather than composed as a local time of day, so that
    // on a day when the clocks change the picked time counts from midnight.
    return midnight + secondsIntoDay;
}

CExportRange CExportRange::Between(std::int64_t from, std::int64_t to)
{
    if (from > to)
        std::swap(from, to);
    return {from, to};
}
