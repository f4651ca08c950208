#include "platform/mime/PageReferences.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "platform/base/AsciiText.h"
#include "platform/com/Utf.h"

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

// What a reference to U+0000 stands for, as browsers read it.
constexpr char32_t kReplacement = 0xFFFD;

constexpr std::string_view kHtmlSpace = " \t\n\r\f";

bool IsSpace(char c)
{
    return kHtmlSpace.find(c) != std::string_view::npos;
}

std::size_t FindIgnoringCase(std::string_view text, std::string_view what, std::size_t from)
{
    auto it = std::search(
        text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(), what.begin(),
        what.end(), [](char a, char b) { return wys::base::AsciiLower(a) == wys::base::AsciiLower(b); });
    return it == text.end() ? std::string_view::npos : static_cast<std::size_t>(it - text.begin());
}

// Character references that URLs in attributes actually use; others stay.
std::string DecodeCharacterReferences(std::string_view text)
{
    static const std::pair<std::string_view, char> kNamed[] = {
        {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    if (text.find('&') == std::string_view::npos)
        return std::string(text);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        std::string_view rest = text.substr(i + 1);
        bool done = false;
        for (const auto& [name, c] : kNamed) {
            if (rest.starts_with(name)) {
                out += c;
                i += name.size();
                done = true;
                break;
            }
        }
        if (!done && rest.starts_with("#")) {
            bool hex = rest.size() > 1 && (rest[1] == 'x' || rest[1] == 'X');
            std::size_t start = hex ? 2 : 1;
            std::size_t end = start;
            while (end < rest.size() && end - start < 8 &&
                   (hex ? std::isxdigit(static_cast<unsigned char>(rest[end]))
                        : std::isdigit(static_cast<unsigned char>(rest[end]))))
                ++end;
            if (end > start) {
                const unsigned long code =
                    std::stoul(std::string(rest.substr(start, end - start)), nullptr, hex ? 16 : 10);
                AppendUtf8(out, code == 0 ? kReplacement : static_cast<char32_t>(code));
                i += end + (end < rest.size() && rest[end] == ';' ? 1 : 0);
                done = true;
            }
        }
        if (!done)
            out += '&';
    }
    return out;
}

// Reads the attributes of a start tag from `pos` (just after its name) up to
// its '>'; leaves `pos` after the '>'.
Attributes ReadAttributes(std::string_view html, std::size_t& pos)
{
    Attributes attributes;
    while (pos < html.size()) {
        while (pos < html.size() && (IsSpace(html[pos]) || html[pos] == '/'))
            ++pos;
        if (pos >= html.size())
            break;
        if (html[pos] == '>') {
            ++pos;
            break;
        }
        std::size_t start = pos;
        while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != '=' && html[pos] != '>' &&
               (html[pos] != '/' || pos == start))
            ++pos;
        std::string name = wys::base::AsciiLower(html.substr(start, pos - start));
        while (pos < html.size() && IsSpace(html[pos]))
            ++pos;
        std::string value;
        if (pos < html.size() && html[pos] == '=') {
            ++pos;
            while (pos < html.size() && IsSpace(html[pos]))
                ++pos;
            if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
                char quote = html[pos++];
                std::size_t end = std::min(html.find(quote, pos), html.size());
                value = DecodeCharacterReferences(html.substr(pos, end - pos));
                pos = std::min(end + 1, html.size());
            } else {
                std::size_t valueStart = pos;
                while (pos < html.size() && !IsSpace(html[pos]) && html[pos] != '>')
                    ++pos;
                value = DecodeCharacterReferences(html.substr(valueStart, pos - valueStart));
            }
        }
        attributes.emplace_back(std::move(name), std::move(value));
    }
    return attributes;
}

const std::string* Attribute(const Attributes& attributes, std::string_view name)
{
    for (const auto& [key, value] : attributes) {
        if (key == name)
            return &value;
    }
    return nullptr;
}

bool HasToken(std::string_view list, std::string_view token)
{
    std::string lowered = wys::base::AsciiLower(list);
    std::string_view rest = lowered;
    while (!rest.empty()) {
        while (!rest.empty() && IsSpace(rest.front()))
            rest.remove_prefix(1);
        std::size_t end = 0;
        while (end < rest.size() && !IsSpace(rest[end]))
            ++end;
        if (rest.substr(0, end) == token)
            return true;
        rest.remove_prefix(end);
    }
    return false;
}

// The URLs of a srcset: comma-separated candidates, each a URL and an
// optional width or density descriptor.
void AddSrcset(std::string_view srcset, std::vector<PageReference>& out)
{
    std::size_t pos = 0;
    while (pos < srcset.size()) {
        while (pos < srcset.size() && (IsSpace(srcset[pos]) || srcset[pos] == ','))
            ++pos;
        std::size_t start = pos;
        while (pos < srcset.size() && !IsSpace(srcset[pos]))
            ++pos;
        std::string_view url = srcset.substr(start, pos - start);
        bool bare = url.ends_with(",");  // a candidate without descriptor
        while (url.ends_with(","))
            url.remove_suffix(1);
        if (!url.empty())
            out.push_back({ReferenceKind::Image, std::string(url)});
        if (bare)
            continue;
        while (pos < srcset.size() && srcset[pos] != ',')
            ++pos;
    }
}

void AddTagReferences(const std::string& tag, const Attributes& attributes, PageReferences& found)
{
    auto& out = found.references;
    auto add = [&](ReferenceKind kind, const char* name) {
        const std::string* value = Attribute(attributes, name);
        if (value && !wys::base::TrimAscii(*value, kHtmlSpace).empty())
            out.push_back({kind, std::string(wys::base::TrimAscii(*value, kHtmlSpace))});
    };
    if (tag == "img") {
        add(ReferenceKind::Image, "src");
        if (const std::string* srcset = Attribute(attributes, "srcset"))
            AddSrcset(*srcset, out);
    } else if (tag == "input") {
        const std::string* type = Attribute(attributes, "type");
        if (type && wys::base::AsciiLower(wys::base::TrimAscii(*type, kHtmlSpace)) == "image")
            add(ReferenceKind::Image, "src");
    } else if (tag == "body" || tag == "table" || tag == "td" || tag == "th") {
        add(ReferenceKind::Image, "background");
    } else if (tag == "link") {
        const std::string* rel = Attribute(attributes, "rel");
        if (rel && HasToken(*rel, "stylesheet"))
            add(ReferenceKind::StyleSheet, "href");
    } else if (tag == "script") {
        add(ReferenceKind::Script, "src");
    } else if (tag == "frame" || tag == "iframe") {
        add(ReferenceKind::Frame, "src");
    } else if (tag == "embed" || tag == "audio") {
        add(ReferenceKind::Object, "src");
    } else if (tag == "video") {
        add(ReferenceKind::Object, "src");
        add(ReferenceKind::Image, "poster");
    } else if (tag == "source") {
        add(ReferenceKind::Object, "src");
        if (const std::string* srcset = Attribute(attributes, "srcset"))
            AddSrcset(*srcset, out);
    } else if (tag == "object") {
        add(ReferenceKind::Object, "data");
    } else if (tag == "bgsound") {
        add(ReferenceKind::Sound, "src");
    } else if (tag == "base" && !found.base) {
        if (const std::string* href = Attribute(attributes, "href"))
            found.base = std::string(wys::base::TrimAscii(*href, kHtmlSpace));
    }
    if (const std::string* style = Attribute(attributes, "style")) {
        for (PageReference& reference : FindStyleReferences(*style))
            out.push_back(std::move(reference));
    }
}

// Elements whose content is text, not markup, as a browser without scripts
// reads them (noscript content is markup then).
bool IsRawTextElement(const std::string& tag)
{
    return tag == "script" || tag == "style" || tag == "textarea" || tag == "title" || tag == "xmp" ||
           tag == "iframe" || tag == "noembed" || tag == "noframes";
}

// Reads a CSS string or bare token from `pos`; leaves `pos` after it.
std::string ReadStyleValue(std::string_view css, std::size_t& pos, char terminator)
{
    while (pos < css.size() && IsSpace(css[pos]))
        ++pos;
    if (pos < css.size() && (css[pos] == '"' || css[pos] == '\'')) {
        char quote = css[pos++];
        std::size_t end = std::min(css.find(quote, pos), css.size());
        std::string value(css.substr(pos, end - pos));
        pos = std::min(end + 1, css.size());
        return value;
    }
    std::size_t end = pos;
    while (end < css.size() && css[end] != terminator && !IsSpace(css[end]) && css[end] != ';')
        ++end;
    std::string value(css.substr(pos, end - pos));
    pos = end;
    return value;
}

}  // namespace

std::vector<PageReference> FindStyleReferences(std::string_view css)
{
    std::vector<PageReference> out;
    std::size_t pos = 0;
    while (pos < css.size()) {
        // Only these start a comment, a url( or an @import.
        const char c = css[pos];
        if (c != '/' && c != 'u' && c != 'U' && c != '@') {
            ++pos;
            continue;
        }
        if (css.substr(pos, 2) == "/*") {
            std::size_t end = css.find("*/", pos + 2);
            pos = end == std::string_view::npos ? css.size() : end + 2;
        } else if (FindIgnoringCase(css.substr(pos, 4), "url(", 0) == 0) {
            pos += 4;
            std::string url = ReadStyleValue(css, pos, ')');
            if (!wys::base::TrimAscii(url, kHtmlSpace).empty() && !std::string_view(url).starts_with("#"))
                out.push_back({ReferenceKind::Image, std::string(wys::base::TrimAscii(url, kHtmlSpace))});
        } else if (FindIgnoringCase(css.substr(pos, 7), "@import", 0) == 0) {
            pos += 7;
            while (pos < css.size() && IsSpace(css[pos]))
                ++pos;
            bool wrapped = FindIgnoringCase(css.substr(pos, 4), "url(", 0) == 0;
            if (wrapped)
                pos += 4;
            std::string url = ReadStyleValue(css, pos, wrapped ? ')' : ';');
            if (!wys::base::TrimAscii(url, kHtmlSpace).empty())
                out.push_back(
                    {ReferenceKind::StyleSheet, std::string(wys::base::TrimAscii(url, kHtmlSpace))});
        } else {
            ++pos;
        }
    }
    return out;
}

PageReferences FindHtmlReferences(std::string_view html)
{
    PageReferences found;
    std::size_t pos = 0;
    while ((pos = html.find('<', pos)) != std::string_view::npos) {
        if (html.substr(pos, 4) == "<!--") {
            std::size_t end = html.find("-->", pos + 4);
            pos = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        std::size_t nameStart = pos + 1;
        if (nameStart < html.size() &&
            (html[nameStart] == '!' || html[nameStart] == '?' || html[nameStart] == '/')) {
            std::size_t end = html.find('>', nameStart);
            pos = end == std::string_view::npos ? html.size() : end + 1;
            continue;
        }
        std::size_t nameEnd = nameStart;
        while (nameEnd < html.size() && std::isalnum(static_cast<unsigned char>(html[nameEnd])))
            ++nameEnd;
        if (nameEnd == nameStart || !std::isalpha(static_cast<unsigned char>(html[nameStart]))) {
            pos = nameStart;
            continue;
        }
        std::string tag = wys::base::AsciiLower(html.substr(nameStart, nameEnd - nameStart));
        pos = nameEnd;
        Attributes attributes = ReadAttributes(html, pos);
        AddTagReferences(tag, attributes, found);
        if (IsRawTextElement(tag)) {
            std::size_t end = FindIgnoringCase(html, "</" + tag, pos);
            std::string_view text = html.substr(pos, end == std::string_view::npos ? end : end - pos);
            if (tag == "style") {
                for (PageReference& reference : FindStyleReferences(text))
                    found.references.push_back(std::move(reference));
            }
            pos = end == std::string_view::npos ? html.size() : end;
        }
    }
    return found;
}
