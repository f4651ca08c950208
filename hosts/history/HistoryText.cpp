#include "hosts/history/HistoryText.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <limits>

#include "common/LocalTime.h"
#include "platform/base/AsciiText.h"

namespace wys::history {

namespace {

bool Digits(std::string_view text, std::size_t at, std::size_t count, int* value)
{
    if (at + count > text.size())
        return false;
    int v = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        v = v * 10 + (text[i] - '0');
    }
    *value = v;
    return true;
}

std::optional<std::int64_t> Integer(std::string_view text)
{
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::string FormatTime(std::int64_t time)
{
    std::string text = FormatLocalTime("%Y-%m-%d %H:%M:%S", time);
    return text.empty() ? std::to_string(time) : text;
}

std::optional<std::int64_t> ParseTime(std::string_view text)
{
    if (auto seconds = Integer(text))
        return seconds;
    // YYYY-MM-DD[( |T)HH:MM[:SS]]
    int year, month, day, hour = 0, minute = 0, second = 0;
    if (!Digits(text, 0, 4, &year) || text.size() < 10 || text[4] != '-' || !Digits(text, 5, 2, &month) ||
        text[7] != '-' || !Digits(text, 8, 2, &day))
        return std::nullopt;
    if (text.size() > 10) {
        if ((text[10] != ' ' && text[10] != 'T') || !Digits(text, 11, 2, &hour) || text.size() < 16 ||
            text[13] != ':' || !Digits(text, 14, 2, &minute))
            return std::nullopt;
        if (text.size() > 16 && (text.size() != 19 || text[16] != ':' || !Digits(text, 17, 2, &second)))
            return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    std::int64_t time = ComposeLocalTime(year, month, day, hour, minute, second);
    // Day 31 of a 30-day month would be normalised into the next month.
    std::tm check{};
    if (time == -1 || !BreakDownLocalTime(time, &check) || check.tm_mday != day)
        return std::nullopt;
    return time;
}

std::optional<std::int64_t> ParseSpan(std::string_view text)
{
    std::int64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 's':
                unit = 1;
                break;
            case 'm':
                unit = 60;
                break;
            case 'h':
                unit = 3600;
                break;
            case 'd':
                unit = 86400;
                break;
            default:
                unit = 0;
                break;
        }
        if (unit != 0)
            text.remove_suffix(1);
        else
            unit = 1;
    }
    auto value = Integer(text);
    if (!value || *value < 0 || *value > std::numeric_limits<std::int64_t>::max() / unit)
        return std::nullopt;
    return *value * unit;
}

std::optional<bool> ParseSwitch(std::string_view text)
{
    for (const char* yes : {"on", "true", "yes", "1"}) {
        if (wys::base::EqualsIgnoringAsciiCase(text, yes))
            return true;
    }
    for (const char* no : {"off", "false", "no", "0"}) {
        if (wys::base::EqualsIgnoringAsciiCase(text, no))
            return false;
    }
    return std::nullopt;
}

std::string Field(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace wys::history

#include "common/StringConvert.h"
#include "common/UrlDate.h"

namespace wys::history {

std::string VisitLine(const _URL_DATE_& visit)
{
    return FormatTime(visit.Time) + "\t" + Field(BstrToNarrow(visit.Url)) + "\t" +
           Field(BstrToNarrow(visit.Title)) + "\t" + Field(BstrToNarrow(visit.Path));
}

}  // namespace wys::history
