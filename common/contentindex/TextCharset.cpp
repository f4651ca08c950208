#include "common/contentindex/TextCharset.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/com/Utf.h"

namespace wys::content {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
constexpr std::size_t kMetaScanBytes = 1024;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsLabelChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == ':' || c == '.';
}

// The label after "=" at `at`, quotes and spaces skipped.
std::string LabelAfter(std::string_view text, std::size_t at)
{
    while (at < text.size() && IsSpace(text[at]))
        ++at;
    if (at >= text.size() || text[at] != '=')
        return {};
    ++at;
    while (at < text.size() && (IsSpace(text[at]) || text[at] == '"' || text[at] == '\''))
        ++at;
    std::size_t end = at;
    while (end < text.size() && IsLabelChar(text[end]))
        ++end;
    return AsciiLower(text.substr(at, end - at));
}

// The charset a <meta> element declares among the first bytes, in either
// of its two forms; comments are not parsed, as a prescan need not be exact.
std::string MetaCharset(std::string_view bytes)
{
    const std::string head = AsciiLower(bytes.substr(0, kMetaScanBytes));
    for (std::size_t meta = head.find("<meta"); meta != std::string::npos;
         meta = head.find("<meta", meta + 5)) {
        const std::size_t end = head.find('>', meta);
        const std::string_view tag =
            std::string_view(head).substr(meta, end == std::string::npos ? std::string::npos : end - meta);
        const std::size_t charset = tag.find("charset");
        if (charset == std::string_view::npos)
            continue;
        std::string label = LabelAfter(tag, charset + 7);
        if (!label.empty())
            return label;
    }
    return {};
}

// The name iconv knows a label by, as browsers map them; nullopt for a
// label that names nothing this machine can decode.
std::optional<std::string> EncodingOf(std::string label, bool fromMeta)
{
    if (label.empty())
        return std::nullopt;
    if (label == "latin1" || label == "iso-8859-1" || label == "iso8859-1" || label == "ascii" ||
        label == "us-ascii" || label == "l1" || label == "cp1252" || label == "x-cp1252")
        label = "windows-1252";
    if (label == "utf8" || label == "unicode-1-1-utf-8")
        label = "utf-8";
    // A document that found its own declaration was already decoded to
    // something ASCII-compatible, so it cannot be UTF-16.
    if (fromMeta && label.starts_with("utf-16"))
        label = "utf-8";
    iconv_t probe = ::iconv_open("UTF-8", label.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    ::iconv_close(probe);
    return label;
}

// Converts with iconv; every byte it refuses becomes one U+FFFD, and an
// incomplete sequence at the end one more.
std::string Convert(std::string_view bytes, const std::string& encoding)
{
    iconv_t converter = ::iconv_open("UTF-8", encoding.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::string(bytes);
    std::string out;
    out.resize(bytes.size() + bytes.size() / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0;
    while (inLeft > 0) {
        char* to = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t result = ::iconv(converter, &in, &inLeft, &to, &outLeft);
        done = out.size() - outLeft;
        if (result != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2 + 16);
            continue;
        }
        // EILSEQ or EINVAL: one replacement per refused byte.
        if (out.size() - done < kReplacement.size())
            out.resize(out.size() * 2 + 16);
        std::memcpy(out.data() + done, kReplacement.data(), kReplacement.size());
        done += kReplacement.size();
        ++in;
        --inLeft;
    }
    ::iconv_close(converter);
    out.resize(done);
    return out;
}

}  // namespace

std::string HeaderParameter(std::string_view value, std::string_view name)
{
    const std::string lower = AsciiLower(value);
    std::size_t at = 0;
    while ((at = lower.find(';', at)) != std::string::npos) {
        ++at;
        while (at < lower.size() && IsSpace(lower[at]))
            ++at;
        if (lower.compare(at, name.size(), name) != 0) {
            continue;
        }
        std::size_t equals = at + name.size();
        while (equals < lower.size() && IsSpace(lower[equals]))
            ++equals;
        if (equals >= lower.size() || lower[equals] != '=')
            continue;
        std::size_t start = equals + 1;
        while (start < value.size() && IsSpace(value[start]))
            ++start;
        if (start < value.size() && value[start] == '"') {
            const std::size_t close = value.find('"', start + 1);
            return std::string(value.substr(
                start + 1, close == std::string_view::npos ? std::string_view::npos : close - start - 1));
        }
        std::size_t end = start;
        while (end < value.size() && value[end] != ';' && !IsSpace(value[end]))
            ++end;
        return std::string(value.substr(start, end - start));
    }
    return {};
}

std::string DecodeToUtf8(std::string_view bytes, std::string_view declared)
{
    if (bytes.starts_with("\xEF\xBB\xBF"))
        return Convert(bytes.substr(3), "utf-8");
    if (bytes.starts_with("\xFF\xFE"))
        return Convert(bytes.substr(2), "utf-16le");
    if (bytes.starts_with("\xFE\xFF"))
        return Convert(bytes.substr(2), "utf-16be");
    std::optional<std::string> encoding = EncodingOf(AsciiLower(declared), false);
    if (!encoding)
        encoding = EncodingOf(MetaCharset(bytes), true);
    if (!encoding)
        encoding = IsUtf8(bytes) ? "utf-8" : "windows-1252";
    if (*encoding == "utf-8" && IsUtf8(bytes))
        return std::string(bytes);
    return Convert(bytes, *encoding);
}

}  // namespace wys::content
