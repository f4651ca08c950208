#include "Wayscribe/historymodel/CalendarKeys.h"

#include <algorithm>
#include <ctime>

#include "common/LocalTime.h"

namespace wys {

CalendarKeys CalendarKeysOf(std::int64_t time)
{
    std::tm tm{};
    if (!BreakDownLocalTime(time, &tm))
        return {};
    return {tm.tm_mon + 1, tm.tm_mday};
}

std::string SavedCopyPath(const std::string& baseDirectory, const std::string& path)
{
    std::string relative = path;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    if (!baseDirectory.empty() && baseDirectory.back() == '/')
        return baseDirectory + relative;
    return baseDirectory + "/" + relative;
}

}  // namespace wys
