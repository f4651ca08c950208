// HTML serialisation of an element's contents, as browsers produce innerHTML.
// A loop over the node array with a stack of open elements: no recursion,
// whatever the nesting depth.
#include <array>

#include "platform/dom/src/DocumentTree.h"

namespace wys::dom {
namespace {

constexpr std::array<std::string_view, 18> kVoidElements = {
    "area", "base",  "basefont", "bgsound", "br",   "col",   "embed",  "frame", "hr",
    "img",  "input", "keygen",   "link",    "meta", "param", "source", "track", "wbr"};

// Text inside these is written as it stands: the parser reads it without
// decoding character references.
constexpr std::array<std::string_view, 7> kRawTextElements = {"style",   "script",   "xmp",      "iframe",
                                                              "noembed", "noframes", "plaintext"};

// The parser drops one newline right after these elements' start tags.
constexpr std::array<std::string_view, 3> kLeadingNewlineElements = {"pre", "textarea", "listing"};

template <std::size_t N>
bool IsHtmlNamed(const DomNode& node, const std::array<std::string_view, N>& names)
{
    if (node.kind != NodeKind::Element || node.ns != ElementNamespace::Html)
        return false;
    for (std::string_view name : names) {
        if (node.text == name)
            return true;
    }
    return false;
}

bool IsVoid(const DomNode& node)
{
    return IsHtmlNamed(node, kVoidElements);
}

enum class EscapeMode { Text, Attribute };

void AppendEscaped(std::string& out, std::string_view text, EscapeMode mode)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '&') {
            out += "&amp;";
        } else if (c == '\xC2' && i + 1 < text.size() && text[i + 1] == '\xA0') {
            out += "&nbsp;";
            ++i;
        } else if (mode == EscapeMode::Attribute && c == '"') {
            out += "&quot;";
        } else if (mode == EscapeMode::Text && c == '<') {
            out += "&lt;";
        } else if (mode == EscapeMode::Text && c == '>') {
            out += "&gt;";
        } else {
            out += c;
        }
    }
}

void AppendStartTag(std::string& out, const DomNode& element)
{
    out += '<';
    out += element.text;
    for (const DomAttribute& attribute : element.attributes) {
        out += ' ';
        out += attribute.name;
        out += "=\"";
        AppendEscaped(out, attribute.value, EscapeMode::Attribute);
        out += '"';
    }
    out += '>';
}

void AppendEndTag(std::string& out, const DomNode& element)
{
    out += "</";
    out += element.text;
    out += '>';
}

}  // namespace

std::string CDocumentTree::OuterHtml(std::uint32_t element) const
{
    const DomNode& node = m_nodes[element];
    if (node.kind != NodeKind::Element)
        return InnerHtml(element);
    std::string out;
    AppendStartTag(out, node);
    if (IsVoid(node))
        return out;
    out += InnerHtml(element);
    AppendEndTag(out, node);
    return out;
}

std::string CDocumentTree::InnerHtml(std::uint32_t element) const
{
    std::string out;
    const DomNode& top = m_nodes[element];
    if ((top.kind != NodeKind::Element && top.kind != NodeKind::Document) || IsVoid(top))
        return out;
    auto leadingNewline = [&](std::uint32_t index) {
        const DomNode& node = m_nodes[index];
        if (!IsHtmlNamed(node, kLeadingNewlineElements) || index + 1 >= node.end)
            return;
        const DomNode& first = m_nodes[index + 1];
        if (first.kind == NodeKind::Text && !first.text.empty() && first.text.front() == '\n')
            out += '\n';
    };
    leadingNewline(element);

    std::vector<std::uint32_t> open;
    for (std::uint32_t i = element + 1; i < top.end;) {
        while (!open.empty() && m_nodes[open.back()].end <= i) {
            AppendEndTag(out, m_nodes[open.back()]);
            open.pop_back();
        }
        const DomNode& node = m_nodes[i];
        switch (node.kind) {
            case NodeKind::Element:
                AppendStartTag(out, node);
                if (IsVoid(node)) {
                    i = node.end;
                    continue;
                }
                leadingNewline(i);
                open.push_back(i);
                break;
            case NodeKind::Text:
                if (IsHtmlNamed(m_nodes[node.parent], kRawTextElements))
                    out += node.text;
                else
                    AppendEscaped(out, node.text, EscapeMode::Text);
                break;
            case NodeKind::Comment:
                out += "<!--";
                out += node.text;
                out += "-->";
                break;
            case NodeKind::Document:
                break;
        }
        ++i;
    }
    while (!open.empty()) {
        AppendEndTag(out, m_nodes[open.back()]);
        open.pop_back();
    }
    return out;
}

}  // namespace wys::dom
