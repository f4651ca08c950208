#include "platform/dom/src/CHtmlDocument.h"

#include "platform/com/ComError.h"
#include "platform/dom/src/CHtmlCollections.h"

namespace wys::dom {
namespace {

bool IsAsciiWhitespace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// rel is a list of keywords ("alternate stylesheet"); any of them may name
// the link a style sheet.
bool NamesStyleSheet(std::string_view rel)
{
    std::size_t i = 0;
    while (i < rel.size()) {
        while (i < rel.size() && IsAsciiWhitespace(rel[i]))
            ++i;
        std::size_t start = i;
        while (i < rel.size() && !IsAsciiWhitespace(rel[i]))
            ++i;
        if (EqualsIgnoringAsciiCase(rel.substr(start, i - start), "stylesheet"))
            return true;
    }
    return false;
}

}  // namespace

CHtmlDocument::CHtmlDocument(std::string url, CDocumentTree tree)
    : m_url(std::move(url)), m_tree(std::move(tree))
{
    const std::vector<DomNode>& nodes = m_tree.Nodes();
    for (std::uint32_t i = 0; i < nodes.size(); ++i) {
        const DomNode& node = nodes[i];
        if (node.kind != NodeKind::Element || node.inert)
            continue;
        std::uint32_t position = ElementCount();
        m_elements.emplace_back(*this, i);
        if (node.ns != ElementNamespace::Html)
            continue;
        if (node.text == "img")
            m_images.push_back(position);
        else if (node.text == "script")
            m_scripts.push_back(position);
        else if (node.text == "style")
            m_styleSheets.emplace_back(*this, i);
        else if (node.text == "link" && NamesStyleSheet(m_tree.AttributeOrEmpty(i, "rel")))
            m_styleSheets.emplace_back(*this, i);
        else if (node.text == "frame" || node.text == "iframe")
            m_frames.push_back({i, nullptr});
    }
}

void CHtmlDocument::LoadFrames(const FrameDocumentSupplier& supplier)
{
    // The first base element with an href sets the base, as in a browser.
    const std::string* baseHref = nullptr;
    for (std::uint32_t i = 0; i < m_tree.Nodes().size() && !baseHref; ++i) {
        if (m_tree.IsHtmlElement(i, "base") && !m_tree.Node(i).inert)
            baseHref = m_tree.FindAttribute(i, "href");
    }
    for (FrameEntry& frame : m_frames) {
        FrameReference reference{m_tree.Node(frame.node).text, m_tree.AttributeOrEmpty(frame.node, "src"),
                                 m_url, baseHref ? std::string_view(*baseHref) : std::string_view()};
        frame.document = supplier(reference);
    }
}

HRESULT CHtmlDocument::ReturnCollection(const std::vector<std::uint32_t>* positions,
                                        IHTMLElementCollection** collection)
{
    if (!collection)
        return E_POINTER;
    *collection = nullptr;
    return ComBoundary([&] {
        std::optional<std::vector<std::uint32_t>> copy;
        if (positions)
            copy = *positions;
        *collection = CreateComObject<CHtmlElementCollection>(*this, std::move(copy));
        return S_OK;
    });
}

HRESULT CHtmlDocument::get_all(IHTMLElementCollection** all)
{
    return ReturnCollection(nullptr, all);
}

HRESULT CHtmlDocument::get_images(IHTMLElementCollection** images)
{
    return ReturnCollection(&m_images, images);
}

HRESULT CHtmlDocument::get_scripts(IHTMLElementCollection** scripts)
{
    return ReturnCollection(&m_scripts, scripts);
}

HRESULT CHtmlDocument::get_frames(IHTMLFramesCollection2** frames)
{
    if (!frames)
        return E_POINTER;
    *frames = nullptr;
    return ComBoundary([&] {
        *frames = CreateComObject<CHtmlFramesCollection>(*this);
        return S_OK;
    });
}

HRESULT CHtmlDocument::get_title(BSTR* title)
{
    return ComBoundary([&] { return ReturnString(m_tree.Title(), title); });
}

HRESULT CHtmlDocument::get_URL(BSTR* url)
{
    return ReturnString(m_url, url);
}

HRESULT CHtmlDocument::get_doctype(BSTR* declaration)
{
    return ReturnString(m_tree.Doctype(), declaration);
}

HRESULT CHtmlDocument::get_styleSheets(IHTMLStyleSheetsCollection** styleSheets)
{
    if (!styleSheets)
        return E_POINTER;
    *styleSheets = nullptr;
    return ComBoundary([&] {
        *styleSheets = CreateComObject<CHtmlStyleSheetsCollection>(*this);
        return S_OK;
    });
}

}  // namespace wys::dom
