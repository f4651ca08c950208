#include "Wayscribe/tools/dialogs/CKeepTime.h"

#include <charconv>
#include <cstdint>

CKeepTime CKeepTime::Split(std::int64_t seconds)
{
    const std::int64_t hours = seconds / 3600;
    const std::int64_t minutes = seconds / 60;
    CKeepTime parts;
    parts.Days = seconds / 86400;
    parts.Hours = hours - parts.Days * 24;
    parts.Minutes = minutes - hours * 60;
    parts.Seconds = seconds - minutes * 60;
    return parts;
}

std::int64_t CKeepTime::Compose() const
{
    // Each part is at most a 32-bit number when it comes from an edit, so
    // the sum cannot leave 64 bits; unsigned arithmetic keeps parts set by
    // code from overflowing into undefined behaviour.
    const auto u = [](std::int64_t v) { return static_cast<std::uint64_t>(v); };
    return static_cast<std::int64_t>(((u(Days) * 24 + u(Hours)) * 60 + u(Minutes)) * 60 + u(Seconds));
}

std::int64_t CKeepTime::ParsePart(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-')
            return 0;
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return 0;
    return value;
}
