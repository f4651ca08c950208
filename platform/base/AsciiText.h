// Text helpers for protocol and markup tokens, which are ASCII whatever the
// text around them holds: they never depend on the locale, and bytes above
// 0x7F pass through unchanged.
#pragma once

#include <string>
#include <string_view>

namespace wys::base {

// The characters std::isspace finds in the "C" locale.
inline constexpr std::string_view kAsciiWhitespace = " \t\n\v\f\r";

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text);

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);
// Orders `a` before `b` by their ASCII lower-case bytes, unsigned; a prefix
// comes first.
bool LessIgnoringAsciiCase(std::string_view a, std::string_view b);

// `text` without the characters of `blanks` at either end.
std::string_view TrimAscii(std::string_view text, std::string_view blanks = kAsciiWhitespace);

// The value of a hexadecimal digit of either case; -1 for any other char.
constexpr int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Appends "%XX" (upper-case hex) for `byte`.
void AppendPercentEscape(std::string& out, unsigned char byte);

// `text` with every byte for which `mustEncode(byte)` holds written as "%XX".
template <typename MustEncode>
std::string PercentEncode(std::string_view text, MustEncode mustEncode)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (mustEncode(c))
            AppendPercentEscape(out, c);
        else
            out += static_cast<char>(c);
    }
    return out;
}

// Every "%XX" escape (either case of hex) replaced by its byte, "%00" by a
// NUL byte; a '%' that starts no escape stays as it is.
std::string PercentDecode(std::string_view text);

}  // namespace wys::base
