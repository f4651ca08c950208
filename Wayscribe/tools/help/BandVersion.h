// The band library's version, as its version resource gives it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Two 32-bit halves: major and minor in the most significant one, build
// and revision in the least significant one, 16 bits each.
struct ProductVersion {
    std::uint32_t mostSignificant = 0;
    std::uint32_t leastSignificant = 0;

    static ProductVersion Of(int major, int minor, int build, int revision);
};

// The product version built into the band library; none when the build
// gave it none.
std::optional<ProductVersion> BandLibraryVersion();

// "major.minor.build.revision"; "" without a version.
std::string FormatProductVersion(const std::optional<ProductVersion>& version);
