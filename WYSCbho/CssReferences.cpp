#include "WYSCbho/CssReferences.h"

#include "platform/base/AsciiText.h"
#include "platform/com/Utf.h"

namespace wys::capture {
namespace {

// What a reference to U+0000 stands for, as browsers read it.
constexpr char32_t kReplacement = 0xFFFD;

constexpr std::string_view kCssSpace = " \t\n\r\f";

bool IsSpace(char c)
{
    return kCssSpace.find(c) != std::string_view::npos;
}

// A character that can continue an identifier: "url(" preceded by one is
// another function's name ("myurl(").
bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

bool MatchesIgnoringCase(std::string_view text, std::size_t at, std::string_view lower)
{
    if (at + lower.size() > text.size())
        return false;
    for (std::size_t i = 0; i < lower.size(); ++i) {
        if (wys::base::AsciiLower(text[at + i]) != lower[i])
            return false;
    }
    return true;
}

// Decodes the escape whose backslash is at text[at]; returns the position
// after it. A backslash before a line break (in strings) stands for nothing.
std::size_t DecodeEscape(std::string_view text, std::size_t at, std::string& out)
{
    std::size_t i = at + 1;
    if (i >= text.size())
        return i;
    if (wys::base::HexDigitValue(text[i]) >= 0) {
        unsigned long code = 0;
        std::size_t digits = 0;
        while (i < text.size() && digits < 6 && wys::base::HexDigitValue(text[i]) >= 0) {
            code = code * 16 + static_cast<unsigned long>(wys::base::HexDigitValue(text[i]));
            ++i;
            ++digits;
        }
        if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            i += 2;
        else if (i < text.size() && IsSpace(text[i]))
            ++i;
        AppendUtf8(out, code == 0 ? kReplacement : static_cast<char32_t>(code));
        return i;
    }
    if (text[i] == '\n' || text[i] == '\f')
        return i + 1;
    if (text[i] == '\r')
        return i + 1 < text.size() && text[i + 1] == '\n' ? i + 2 : i + 1;
    out += text[i];
    return i + 1;
}

// Reads the string whose opening quote is at text[at]; returns the position
// after its closing quote (or where it broke off) and its decoded value.
std::size_t ReadString(std::string_view text, std::size_t at, std::string* value)
{
    const char quote = text[at];
    std::size_t i = at + 1;
    std::string decoded;
    while (i < text.size() && text[i] != quote) {
        if (text[i] == '\\') {
            i = DecodeEscape(text, i, decoded);
            continue;
        }
        // A line break ends a string that was never closed.
        if (text[i] == '\n')
            break;
        decoded += text[i++];
    }
    if (i < text.size() && text[i] == quote)
        ++i;
    if (value)
        *value = std::move(decoded);
    return i;
}

// Reads url( ... ) from `at` (the "u"); nullopt when it is not one.
std::optional<CssReference> ReadUrlToken(std::string_view text, std::size_t at, CssReference::Kind kind)
{
    std::size_t i = at + 4;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    std::string value;
    if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        i = ReadString(text, i, &value);
        while (i < text.size() && IsSpace(text[i]))
            ++i;
        if (i < text.size() && text[i] == ')')
            ++i;
    } else {
        while (i < text.size() && text[i] != ')') {
            if (text[i] == '\\') {
                i = DecodeEscape(text, i, value);
                continue;
            }
            // Quotes and parentheses inside an unquoted url make it a bad
            // token, which a browser loads nothing for.
            if (text[i] == '"' || text[i] == '\'' || text[i] == '(')
                return std::nullopt;
            value += text[i++];
        }
        if (i < text.size())
            ++i;
    }
    return CssReference{kind, at, i, std::string(wys::base::TrimAscii(value, kCssSpace))};
}

}  // namespace

std::vector<CssReference> FindCssReferences(std::string_view css)
{
    std::vector<CssReference> found;
    std::size_t i = 0;
    while (i < css.size()) {
        char c = css[i];
        if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
            std::size_t end = css.find("*/", i + 2);
            i = end == std::string_view::npos ? css.size() : end + 2;
        } else if (c == '"' || c == '\'') {
            i = ReadString(css, i, nullptr);
        } else if (c == '\\') {
            std::string ignored;
            i = DecodeEscape(css, i, ignored);
        } else if ((c == 'u' || c == 'U') && MatchesIgnoringCase(css, i, "url(") &&
                   (i == 0 || !IsNameChar(css[i - 1]))) {
            std::optional<CssReference> reference = ReadUrlToken(css, i, CssReference::Kind::Url);
            if (!reference) {
                i += 4;
                continue;
            }
            i = reference->end;
            if (!reference->url.empty())
                found.push_back(std::move(*reference));
        } else if (c == '@' && MatchesIgnoringCase(css, i, "@import") &&
                   (i + 7 >= css.size() || !IsNameChar(css[i + 7]))) {
            i += 7;
            while (i < css.size() && IsSpace(css[i]))
                ++i;
            if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
                std::string value;
                std::size_t end = ReadString(css, i, &value);
                value = std::string(wys::base::TrimAscii(value, kCssSpace));
                if (!value.empty())
                    found.push_back({CssReference::Kind::Import, i, end, std::move(value)});
                i = end;
            } else if (MatchesIgnoringCase(css, i, "url(")) {
                std::optional<CssReference> reference = ReadUrlToken(css, i, CssReference::Kind::Import);
                if (!reference)
                    continue;
                i = reference->end;
                if (!reference->url.empty())
                    found.push_back(std::move(*reference));
            }
        } else {
            ++i;
        }
    }
    return found;
}

std::string RewriteCssReferences(
    std::string_view css, const std::function<std::optional<std::string>(const CssReference&)>& localUrl)
{
    std::string out;
    out.reserve(css.size());
    std::size_t copied = 0;
    for (const CssReference& reference : FindCssReferences(css)) {
        std::optional<std::string> local = localUrl(reference);
        if (!local)
            continue;
        out.append(css.substr(copied, reference.begin - copied));
        out += "url(\"";
        out += *local;
        out += "\")";
        copied = reference.end;
    }
    out.append(css.substr(copied));
    return out;
}

std::string CssUrlOfLocalPath(std::string_view path)
{
    return wys::base::PercentEncode(path, [](unsigned char c) {
        return c <= 0x20 || c >= 0x7F || c == '%' || c == '#' || c == '?' || c == '"' || c == '\'' ||
               c == '\\' || c == '(' || c == ')' || c == '&' || c == '<' || c == '>';
    });
}

}  // namespace wys::capture
