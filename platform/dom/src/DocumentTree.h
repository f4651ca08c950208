// Private to platform/dom: the parsed tree of one document, held as an
// immutable array of nodes in document (pre-)order so that every walk over
// it is a loop, whatever the nesting depth.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/AsciiText.h"

namespace wys::dom {

enum class NodeKind : std::uint8_t { Document, Element, Text, Comment };
enum class ElementNamespace : std::uint8_t { Html, Svg, MathMl };

struct DomAttribute {
    std::string name;   // as serialised: lower case in HTML, prefixed ("xlink:href") when foreign
    std::string value;  // character references decoded
};

struct DomNode {
    NodeKind kind = NodeKind::Element;
    ElementNamespace ns = ElementNamespace::Html;
    // Inside a template's contents: serialised with the template, but not
    // part of the document's collections.
    bool inert = false;
    // The parent's index; the document node (index 0) is its own parent.
    std::uint32_t parent = 0;
    // One past the last node of this node's subtree; children follow their
    // parent directly, each sibling after the previous sibling's subtree.
    std::uint32_t end = 0;
    // Elements: the local name, lower case for HTML ("img"), as the parser
    // adjusts it for SVG ("foreignObject"). Text and comments: their data.
    std::string text;
    std::vector<DomAttribute> attributes;
};

class CDocumentTree {
public:
    // Parses UTF-8 HTML text the way browsers do. Any bytes are accepted.
    static CDocumentTree Parse(std::string_view html);

    const std::vector<DomNode>& Nodes() const { return m_nodes; }
    const DomNode& Node(std::uint32_t index) const { return m_nodes[index]; }
    // The html element; every parsed document has one.
    std::uint32_t RootElement() const { return m_root; }

    // True when `index` is an element in the HTML namespace named `localName`.
    bool IsHtmlElement(std::uint32_t index, std::string_view localName) const;
    // The value of the attribute named `name`, or null. Compares names
    // ignoring ASCII case unless `caseSensitive`.
    const std::string* FindAttribute(std::uint32_t element, std::string_view name,
                                     bool caseSensitive = false) const;
    // FindAttribute's value, or empty.
    std::string_view AttributeOrEmpty(std::uint32_t element, std::string_view name) const;
    // The element's children serialised as HTML.
    std::string InnerHtml(std::uint32_t element) const;
    // The element serialised with its own tags around InnerHtml.
    std::string OuterHtml(std::uint32_t element) const;
    // The document type declaration serialised ("<!DOCTYPE html>"); empty
    // when the document had none.
    const std::string& Doctype() const { return m_doctype; }
    // The text of the first HTML title element, stripped and collapsed.
    std::string Title() const;

    // Makes every meta element's character-set declaration name UTF-8.
    // Only while the tree is being built: documents never change.
    void DeclareUtf8();

private:
    friend class CDocumentTreeBuilder;

    std::vector<DomNode> m_nodes;
    std::uint32_t m_root = 0;
    std::string m_doctype;
};

// ASCII-only helpers shared by the module's sources.
using wys::base::AsciiLower;
using wys::base::EqualsIgnoringAsciiCase;
std::string AsciiUpper(std::string_view text);

}  // namespace wys::dom
