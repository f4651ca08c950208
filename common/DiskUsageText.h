// How the history's size on disk is told to a person, in the options
// dialog and by wayscribe-history alike: "4,812 visits, 1.9 GB on disk,
// 6.3 GB without sharing".
#pragma once

#include <cstdint>
#include <string>

namespace wys {

// A count with a comma between groups of three digits: "4,812".
std::string GroupedCount(std::uint64_t count);

// Bytes in decimal units, one decimal below 100 of a unit: "512 bytes",
// "1.9 GB", "312 MB".
std::string ByteSizeText(std::uint64_t bytes);

// "<visits> visit(s), <on disk> on disk, <without sharing> without sharing".
std::string DiskUsageText(std::uint64_t visits, std::uint64_t bytesOnDisk, std::uint64_t bytesWithoutSharing);

}  // namespace wys
