#include "Wayscribe/tools/help/BandVersion.h"

#include <cstdio>

ProductVersion ProductVersion::Of(int major, int minor, int build, int revision)
{
    auto half = [](int high, int low) {
        return (static_cast<std::uint32_t>(high & 0xFFFF) << 16) | static_cast<std::uint32_t>(low & 0xFFFF);
    };
    return ProductVersion{half(major, minor), half(build, revision)};
}

std::optional<ProductVersion> BandLibraryVersion()
{
#if defined(WYS_VERSION_MAJOR)
    return ProductVersion::Of(WYS_VERSION_MAJOR, WYS_VERSION_MINOR, WYS_VERSION_BUILD, WYS_VERSION_REVISION);
#else
    return std::nullopt;
#endif
}

std::string FormatProductVersion(const std::optional<ProductVersion>& version)
{
    if (!version)
        return std::string();
    char text[48];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", version->mostSignificant >> 16,
                  version->mostSignificant & 0xFFFF, version->leastSignificant >> 16,
                  version->leastSignificant & 0xFFFF);
    return text;
}
