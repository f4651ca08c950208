#include "common/DiskUsageText.h"

#include <cstdio>

namespace wys {

std::string GroupedCount(std::uint64_t count)
{
    std::string digits = std::to_string(count);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            grouped.push_back(',');
        grouped.push_back(digits[i]);
    }
    return grouped;
}

std::string ByteSizeText(std::uint64_t bytes)
{
    if (bytes < 1000)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    static constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB", "PB", "EB"};
    double value = static_cast<double>(bytes) / 1000.0;
    std::size_t unit = 0;
    // 999.96 kB would print as "1000.0 kB": it is 1.0 MB.
    while (value >= 999.95 && unit + 1 < std::size(kUnits)) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value < 99.95 ? "%.1f %s" : "%.0f %s", value, kUnits[unit]);
    return text;
}

std::string DiskUsageText(std::uint64_t visits, std::uint64_t bytesOnDisk, std::uint64_t bytesWithoutSharing)
{
    return GroupedCount(visits) + (visits == 1 ? " visit, " : " visits, ") + ByteSizeText(bytesOnDisk) +
           " on disk, " + ByteSizeText(bytesWithoutSharing) + " without sharing";
}

}  // namespace wys
