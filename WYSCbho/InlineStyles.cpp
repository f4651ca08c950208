#include "WYSCbho/InlineStyles.h"

#include <array>
#include <optional>

#include "platform/base/AsciiText.h"
#include "platform/com/Utf.h"

namespace wys::capture {
namespace {

// What a reference to U+0000 stands for, as browsers read it.
constexpr char32_t kReplacement = 0xFFFD;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view lowerNeedle, std::size_t from)
{
    for (std::size_t i = from; i + lowerNeedle.size() <= text.size(); ++i) {
        std::size_t j = 0;
        while (j < lowerNeedle.size()) {
            if (wys::base::AsciiLower(text[i + j]) != lowerNeedle[j])
                break;
            ++j;
        }
        if (j == lowerNeedle.size())
            return i;
    }
    return std::string_view::npos;
}

// Elements whose contents are text up to their end tag.
constexpr std::array<std::string_view, 9> kRawTextElements = {
    "script", "style", "xmp", "iframe", "noembed", "noframes", "textarea", "title", "plaintext"};

bool IsRawText(const std::string& name)
{
    for (std::string_view raw : kRawTextElements) {
        if (name == raw)
            return true;
    }
    return false;
}

// The character references that attribute values of style and base carry
// in practice; any other stays as written.
std::string DecodeReferences(std::string_view text)
{
    static const std::pair<std::string_view, std::string_view> kNamed[] = {
        {"amp;", "&"}, {"quot;", "\""}, {"apos;", "'"}, {"lt;", "<"}, {"gt;", ">"}, {"nbsp;", "\xC2\xA0"}};
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        std::string_view rest = text.substr(i + 1);
        bool done = false;
        for (const auto& [name, value] : kNamed) {
            if (rest.starts_with(name)) {
                out += value;
                i += name.size();
                done = true;
                break;
            }
        }
        if (!done && rest.starts_with('#')) {
            bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            std::size_t j = hex ? 2 : 1;
            unsigned long code = 0;
            std::size_t digits = 0;
            while (j < rest.size() && digits < 7) {
                char c = rest[j];
                const int digit = hex ? wys::base::HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
                if (digit < 0)
                    break;
                code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
                ++j;
                ++digits;
            }
            if (digits > 0) {
                AppendUtf8(out, code == 0 ? kReplacement : static_cast<char32_t>(code));
                i += j + (j < rest.size() && rest[j] == ';' ? 1 : 0);
                done = true;
            }
        }
        if (!done)
            out += '&';
    }
    return out;
}

std::string EscapeAttribute(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// One attribute of a start tag as written.
struct RawAttribute {
    std::string name;            // lower case
    std::size_t valueBegin = 0;  // the value's bytes, quotes excluded
    std::size_t valueEnd = 0;
    std::size_t spanBegin = 0;  // the value with its quotes, or the bare value
    std::size_t spanEnd = 0;
    bool hasValue = false;
};

class CMarkupScanner {
public:
    explicit CMarkupScanner(std::string_view html) : m_html(html) {}

    // Calls onAttribute for every attribute and onRawText for the contents
    // of raw-text elements; positions refer to the markup.
    template <class OnAttribute, class OnRawText>
    void Scan(OnAttribute onAttribute, OnRawText onRawText)
    {
        std::size_t pos = 0;
        while ((pos = m_html.find('<', pos)) != std::string_view::npos) {
            if (m_html.substr(pos, 4) == "<!--") {
                std::size_t end = m_html.find("-->", pos + 4);
                pos = end == std::string_view::npos ? m_html.size() : end + 3;
                continue;
            }
            if (pos + 1 >= m_html.size() || !IsAlpha(m_html[pos + 1])) {
                // End tags, doctypes and processing instructions hold no style.
                if (pos + 1 < m_html.size() &&
                    (m_html[pos + 1] == '/' || m_html[pos + 1] == '!' || m_html[pos + 1] == '?')) {
                    std::size_t end = m_html.find('>', pos + 1);
                    pos = end == std::string_view::npos ? m_html.size() : end + 1;
                } else {
                    ++pos;
                }
                continue;
            }
            std::size_t nameEnd = pos + 1;
            while (nameEnd < m_html.size() && !IsSpace(m_html[nameEnd]) && m_html[nameEnd] != '/' &&
                   m_html[nameEnd] != '>')
                ++nameEnd;
            std::string tag = wys::base::AsciiLower(m_html.substr(pos + 1, nameEnd - pos - 1));
            pos =
                ReadAttributes(nameEnd, [&](const RawAttribute& attribute) { onAttribute(tag, attribute); });
            if (IsRawText(tag)) {
                std::size_t end = FindIgnoringCase(m_html, "</" + tag, pos);
                if (end == std::string_view::npos)
                    end = m_html.size();
                onRawText(tag, pos, end);
                pos = end;
            }
        }
    }

private:
    template <class OnAttribute>
    std::size_t ReadAttributes(std::size_t pos, OnAttribute onAttribute)
    {
        while (pos < m_html.size()) {
            while (pos < m_html.size() && (IsSpace(m_html[pos]) || m_html[pos] == '/'))
                ++pos;
            if (pos >= m_html.size())
                return pos;
            if (m_html[pos] == '>')
                return pos + 1;
            RawAttribute attribute;
            std::size_t start = pos;
            while (pos < m_html.size() && !IsSpace(m_html[pos]) && m_html[pos] != '/' && m_html[pos] != '>' &&
                   (m_html[pos] != '=' || pos == start))
                ++pos;
            attribute.name = wys::base::AsciiLower(m_html.substr(start, pos - start));
            std::size_t after = pos;
            while (after < m_html.size() && IsSpace(m_html[after]))
                ++after;
            if (after < m_html.size() && m_html[after] == '=') {
                pos = after + 1;
                while (pos < m_html.size() && IsSpace(m_html[pos]))
                    ++pos;
                attribute.hasValue = true;
                attribute.spanBegin = pos;
                if (pos < m_html.size() && (m_html[pos] == '"' || m_html[pos] == '\'')) {
                    char quote = m_html[pos];
                    std::size_t close = m_html.find(quote, pos + 1);
                    if (close == std::string_view::npos)
                        close = m_html.size();
                    attribute.valueBegin = pos + 1;
                    attribute.valueEnd = close;
                    pos = close < m_html.size() ? close + 1 : close;
                } else {
                    attribute.valueBegin = pos;
                    while (pos < m_html.size() && !IsSpace(m_html[pos]) && m_html[pos] != '>')
                        ++pos;
                    attribute.valueEnd = pos;
                }
                attribute.spanEnd = pos;
            }
            onAttribute(attribute);
        }
        return pos;
    }

    std::string_view m_html;
};

}  // namespace

std::string RewriteInlineStyles(std::string_view html,
                                const std::function<std::string(const std::string&)>& change)
{
    struct Replacement {
        std::size_t begin;
        std::size_t end;
        std::string text;
    };
    std::vector<Replacement> replacements;
    CMarkupScanner(html).Scan(
        [&](const std::string&, const RawAttribute& attribute) {
            if (attribute.name != "style" || !attribute.hasValue)
                return;
            std::string css = DecodeReferences(
                html.substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
            std::string changed = change(css);
            if (changed != css)
                replacements.push_back(
                    {attribute.spanBegin, attribute.spanEnd, "\"" + EscapeAttribute(changed) + "\""});
        },
        [&](const std::string& tag, std::size_t begin, std::size_t end) {
            if (tag != "style")
                return;
            std::string css(html.substr(begin, end - begin));
            std::string changed = change(css);
            if (changed != css)
                replacements.push_back({begin, end, std::move(changed)});
        });
    std::string out;
    out.reserve(html.size());
    std::size_t copied = 0;
    for (const Replacement& replacement : replacements) {
        out.append(html.substr(copied, replacement.begin - copied));
        out += replacement.text;
        copied = replacement.end;
    }
    out.append(html.substr(copied));
    return out;
}

std::string BaseHrefOf(std::string_view html)
{
    std::optional<std::string> href;
    CMarkupScanner(html).Scan(
        [&](const std::string& tag, const RawAttribute& attribute) {
            if (href || tag != "base" || attribute.name != "href" || !attribute.hasValue)
                return;
            href = DecodeReferences(
                html.substr(attribute.valueBegin, attribute.valueEnd - attribute.valueBegin));
        },
        [](const std::string&, std::size_t, std::size_t) {});
    return href.value_or(std::string());
}

}  // namespace wys::capture
