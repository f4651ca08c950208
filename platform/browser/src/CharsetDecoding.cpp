#include "platform/browser/src/CharsetDecoding.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <optional>

#include "platform/base/AsciiText.h"

namespace wys::browser {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::size_t kMetaScanBytes = 1024;

bool IsLabelChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':' || c == '.';
}

// The label after "charset" and "=" at `at` (just past "charset"), quotes
// and spaces skipped; empty when no label follows.
std::string LabelAfter(std::string_view text, std::size_t at)
{
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    if (at >= text.size() || text[at] != '=')
        return {};
    ++at;
    while (at < text.size() &&
           (std::isspace(static_cast<unsigned char>(text[at])) || text[at] == '"' || text[at] == '\''))
        ++at;
    std::size_t end = at;
    while (end < text.size() && IsLabelChar(text[end]))
        ++end;
    return wys::base::AsciiLower(text.substr(at, end - at));
}

std::string HeaderCharset(std::string_view contentType)
{
    std::string lower = wys::base::AsciiLower(contentType);
    std::size_t at = lower.find("charset");
    return at == std::string::npos ? std::string() : LabelAfter(lower, at + 7);
}

// The charset a <meta> element declares among the first bytes, in either
// of its two forms; comments are not parsed, as a prescan need not be exact.
std::string MetaCharset(std::string_view body)
{
    std::string head = wys::base::AsciiLower(body.substr(0, kMetaScanBytes));
    for (std::size_t meta = head.find("<meta"); meta != std::string::npos;
         meta = head.find("<meta", meta + 5)) {
        std::size_t end = head.find('>', meta);
        std::string_view tag =
            std::string_view(head).substr(meta, end == std::string::npos ? std::string::npos : end - meta);
        std::size_t at = tag.find("charset");
        if (at == std::string_view::npos)
            continue;
        std::string label = LabelAfter(tag, at + 7);
        if (!label.empty())
            return label;
    }
    return {};
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = c < 0x80           ? 1
                             : (c >> 5) == 0x6  ? 2
                             : (c >> 4) == 0xE  ? 3
                             : (c >> 3) == 0x1E ? 4
                                                : 0;
        if (length == 0 || (length == 2 && c < 0xC2) || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

// The iconv name of a label, with the browsers' aliases; nullopt for UTF-8.
std::optional<std::string> IconvName(const std::string& label)
{
    if (label == "utf-8" || label == "utf8" || label == "unicode-1-1-utf-8")
        return std::nullopt;
    if (label == "iso-8859-1" || label == "latin1" || label == "us-ascii" || label == "ascii" ||
        label == "iso8859-1" || label == "l1" || label == "windows-1252" || label == "cp1252")
        return "WINDOWS-1252";
    if (label == "x-sjis" || label == "shift-jis")
        return "SHIFT_JIS";
    if (label == "gb2312" || label == "gbk")
        return "GBK";
    return label;
}

// Converts with iconv; false when iconv does not know the encoding.
bool Convert(std::string_view body, const std::string& encoding, std::string& out)
{
    iconv_t cd = ::iconv_open("UTF-8", encoding.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    out.reserve(body.size() + body.size() / 2);
    char* in = const_cast<char*>(body.data());
    std::size_t inLeft = body.size();
    char buffer[8192];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        std::size_t done = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (done != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG)
            continue;
        // An invalid or truncated sequence: one replacement character, then on.
        out.append(kReplacement);
        ++in;
        --inLeft;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(cd);
    return true;
}

}  // namespace

std::string DecodePageText(std::string_view body, std::string_view contentType)
{
    if (body.starts_with("\xEF\xBB\xBF"))
        return std::string(body.substr(3));
    std::string out;
    if (body.starts_with("\xFF\xFE") && Convert(body.substr(2), "UTF-16LE", out))
        return out;
    if (body.starts_with("\xFE\xFF") && Convert(body.substr(2), "UTF-16BE", out))
        return out;

    std::string label = HeaderCharset(contentType);
    if (label.empty()) {
        label = MetaCharset(body);
        // A page that could say so in ASCII is not UTF-16 whatever it claims.
        if (label.starts_with("utf-16"))
            label = "utf-8";
    }
    if (!label.empty()) {
        std::optional<std::string> encoding = IconvName(label);
        if (!encoding)
            return std::string(body);
        if (Convert(body, *encoding, out))
            return out;
        // An unknown label: fall through to the default, as browsers do.
    }
    if (IsValidUtf8(body))
        return std::string(body);
    Convert(body, "WINDOWS-1252", out);
    return out;
}

}  // namespace wys::browser
