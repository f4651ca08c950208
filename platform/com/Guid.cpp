#include "platform/com/Guid.h"

#include <cstdio>
#include <cstring>
#include <tuple>

bool operator<(const GUID& a, const GUID& b)
{
    if (std::tie(a.Data1, a.Data2, a.Data3) != std::tie(b.Data1, b.Data2, b.Data3))
        return std::tie(a.Data1, a.Data2, a.Data3) < std::tie(b.Data1, b.Data2, b.Data3);
    return std::memcmp(a.Data4, b.Data4, sizeof a.Data4) < 0;
}

std::optional<GUID> GuidFromString(std::string_view text)
{
    return wys::detail::ParseGuid(text);
}

std::string GuidToString(const GUID& g)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::size_t std::hash<GUID>::operator()(const GUID& g) const noexcept
{
    std::uint64_t a =
        (static_cast<std::uint64_t>(g.Data1) << 32) | (static_cast<std::uint64_t>(g.Data2) << 16) | g.Data3;
    std::uint64_t b;
    std::memcpy(&b, g.Data4, sizeof b);
    return std::hash<std::uint64_t>{}(a * 0x9E3779B97F4A7C15ull ^ b);
}
