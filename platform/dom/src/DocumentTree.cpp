// Queries on the parsed tree.
#include "platform/dom/src/DocumentTree.h"

#include <utility>

namespace wys::dom {
namespace {

char AsciiUpperChar(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool IsAsciiWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// The span of the encoding name in a Content-Type value ("text/html;
// charset=koi8-r"), found the way browsers find it; npos when there is none.
std::pair<std::size_t, std::size_t> CharsetSpan(std::string_view content)
{
    constexpr std::string_view kCharset = "charset";
    for (std::size_t at = 0; at + kCharset.size() <= content.size(); ++at) {
        if (!EqualsIgnoringAsciiCase(content.substr(at, kCharset.size()), kCharset))
            continue;
        std::size_t i = at + kCharset.size();
        while (i < content.size() && IsAsciiWhitespace(content[i]))
            ++i;
        if (i >= content.size() || content[i] != '=')
            continue;
        ++i;
        while (i < content.size() && IsAsciiWhitespace(content[i]))
            ++i;
        if (i < content.size() && (content[i] == '"' || content[i] == '\'')) {
            std::size_t close = content.find(content[i], i + 1);
            if (close == std::string_view::npos)
                break;
            return {i + 1, close};
        }
        std::size_t end = i;
        while (end < content.size() && !IsAsciiWhitespace(content[end]) && content[end] != ';')
            ++end;
        return {i, end};
    }
    return {std::string_view::npos, std::string_view::npos};
}

}  // namespace

std::string AsciiUpper(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = AsciiUpperChar(c);
    return result;
}

bool CDocumentTree::IsHtmlElement(std::uint32_t index, std::string_view localName) const
{
    const DomNode& node = m_nodes[index];
    return node.kind == NodeKind::Element && node.ns == ElementNamespace::Html && node.text == localName;
}

const std::string* CDocumentTree::FindAttribute(std::uint32_t element, std::string_view name,
                                                bool caseSensitive) const
{
    for (const DomAttribute& attribute : m_nodes[element].attributes) {
        if (caseSensitive ? attribute.name == name : EqualsIgnoringAsciiCase(attribute.name, name))
            return &attribute.value;
    }
    return nullptr;
}

std::string_view CDocumentTree::AttributeOrEmpty(std::uint32_t element, std::string_view name) const
{
    const std::string* value = FindAttribute(element, name);
    return value ? std::string_view(*value) : std::string_view();
}

void CDocumentTree::DeclareUtf8()
{
    constexpr std::string_view kUtf8 = "utf-8";
    for (std::uint32_t i = 0; i < m_nodes.size(); ++i) {
        if (!IsHtmlElement(i, "meta"))
            continue;
        for (DomAttribute& attribute : m_nodes[i].attributes) {
            if (attribute.name == "charset")
                attribute.value = kUtf8;
        }
        if (!EqualsIgnoringAsciiCase(AttributeOrEmpty(i, "http-equiv"), "content-type"))
            continue;
        for (DomAttribute& attribute : m_nodes[i].attributes) {
            if (attribute.name != "content")
                continue;
            auto [begin, end] = CharsetSpan(attribute.value);
            if (begin != std::string_view::npos && begin < end)
                attribute.value.replace(begin, end - begin, kUtf8);
        }
    }
}

std::string CDocumentTree::Title() const
{
    for (std::uint32_t i = 0; i < m_nodes.size(); ++i) {
        if (!IsHtmlElement(i, "title") || m_nodes[i].inert)
            continue;
        // Only the title's own text children count, as in a browser.
        std::string text;
        for (std::uint32_t child = i + 1; child < m_nodes[i].end; child = m_nodes[child].end) {
            if (m_nodes[child].kind == NodeKind::Text)
                text += m_nodes[child].text;
        }
        std::string collapsed;
        bool pendingSpace = false;
        for (char c : text) {
            if (IsAsciiWhitespace(c)) {
                pendingSpace = !collapsed.empty();
                continue;
            }
            if (pendingSpace)
                collapsed += ' ';
            pendingSpace = false;
            collapsed += c;
        }
        return collapsed;
    }
    return {};
}

}  // namespace wys::dom
