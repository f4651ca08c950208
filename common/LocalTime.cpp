#include "common/LocalTime.h"

#include <locale.h>
#include <clocale>

#include <cerrno>
#include <cstring>
#include <limits>

namespace wys {

namespace {

locale_t CLocale()
{
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// Expands the "#" forms and "%c" into formats strftime knows. The result
// may still hold "%%"; `dropZero` marks where a number must lose leading zeros.
std::string FormatOne(char conversion, bool alternate, const std::tm& tm)
{
    char pattern[3] = {'%', conversion, 0};
    const char* format = pattern;
    if (conversion == 'c')
        format = alternate ? "%A, %B %d, %Y, %H:%M:%S" : "%m/%d/%y %H:%M:%S";
    else if (conversion == 'x')
        format = alternate ? "%A, %B %d, %Y" : "%m/%d/%y";

    char buffer[256];
    std::size_t n;
    if (alternate && (conversion == 'c' || conversion == 'x')) {
        // Only the day of month loses its leading zero in the long forms.
        std::string day = FormatOne('d', true, tm);
        std::string text;
        for (const char* p = format; *p; ++p) {
            if (p[0] == '%' && p[1] == 'd') {
                text += day;
                ++p;
            } else if (p[0] == '%' && p[1]) {
                text += FormatOne(p[1], false, tm);
                ++p;
            } else {
                text += *p;
            }
        }
        return text;
    }
    n = strftime_l(buffer, sizeof buffer, format, &tm, CLocale());
    std::string text(buffer, n);
    if (alternate && std::strchr("dHIjmMSyUW", conversion)) {
        std::size_t zeros = 0;
        while (zeros + 1 < text.size() && text[zeros] == '0')
            ++zeros;
        text.erase(0, zeros);
    }
    return text;
}

}  // namespace

bool BreakDownLocalTime(std::int64_t time, std::tm* out)
{
    if (time < static_cast<std::int64_t>(std::numeric_limits<std::time_t>::min()) ||
        time > static_cast<std::int64_t>(std::numeric_limits<std::time_t>::max()))
        return false;
    std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return false;
    *out = tm;
    return true;
}

std::int64_t ComposeLocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    errno = 0;
    std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1) && errno != 0)
        return -1;
    return static_cast<std::int64_t>(t);
}

std::int64_t LocalDayStart(std::int64_t time)
{
    std::tm tm;
    if (!BreakDownLocalTime(time, &tm))
        return -1;
    return ComposeLocalTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

std::string FormatTm(const char* format, const std::tm& tm, std::size_t limit)
{
    std::string text;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            text += *p;
            continue;
        }
        ++p;
        bool alternate = false;
        if (*p == '#') {
            alternate = true;
            ++p;
        }
        if (*p == 0)
            break;
        if (*p == '%')
            text += '%';
        else
            text += FormatOne(*p, alternate, tm);
        if (text.size() > limit)
            return {};
    }
    return text.size() > limit ? std::string() : text;
}

std::string FormatLocalTime(const char* format, std::int64_t time, std::size_t limit)
{
    std::tm tm;
    if (!BreakDownLocalTime(time, &tm))
        return {};
    return FormatTm(format, tm, limit);
}

}  // namespace wys
