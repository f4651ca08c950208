// Private to platform/dom: an HTML document and everything it owns. It is
// complete when BuildHtmlDocument hands it out and never changes afterwards.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/dom/src/CHtmlElement.h"
#include "platform/dom/src/CHtmlStyleSheet.h"
#include "platform/dom/src/DocumentTree.h"
#include "platform/dom/src/DomObject.h"

namespace wys::dom {

struct FrameEntry {
    std::uint32_t node;          // the frame or iframe element
    ComPtr<IDispatch> document;  // null when the supplier had none
};

class CHtmlDocument final : public CDomObject<CHtmlDocument, IHTMLDocument2, IHTMLDocumentType> {
public:
    CHtmlDocument(std::string url, CDocumentTree tree);

    // Asks `supplier` for every frame's document; part of building, before
    // the document is handed out.
    void LoadFrames(const FrameDocumentSupplier& supplier);

    const CDocumentTree& Tree() const { return m_tree; }
    // Elements by position in document order (the all collection's order).
    std::uint32_t ElementCount() const { return static_cast<std::uint32_t>(m_elements.size()); }
    CHtmlElement& Element(std::uint32_t position) { return m_elements[position]; }
    std::uint32_t StyleSheetCount() const { return static_cast<std::uint32_t>(m_styleSheets.size()); }
    CHtmlStyleSheet& StyleSheet(std::uint32_t position) { return m_styleSheets[position]; }
    const std::vector<FrameEntry>& Frames() const { return m_frames; }

    // IHTMLDocument2
    HRESULT get_all(IHTMLElementCollection** all) override;
    HRESULT get_images(IHTMLElementCollection** images) override;
    HRESULT get_scripts(IHTMLElementCollection** scripts) override;
    HRESULT get_frames(IHTMLFramesCollection2** frames) override;
    HRESULT get_title(BSTR* title) override;
    HRESULT get_URL(BSTR* url) override;
    HRESULT get_styleSheets(IHTMLStyleSheetsCollection** styleSheets) override;

    // IHTMLDocumentType
    HRESULT get_doctype(BSTR* declaration) override;

private:
    HRESULT ReturnCollection(const std::vector<std::uint32_t>* positions,
                             IHTMLElementCollection** collection);

    std::string m_url;
    CDocumentTree m_tree;
    // Deques: the objects never move once made, as their addresses are
    // their identities.
    std::deque<CHtmlElement> m_elements;
    std::deque<CHtmlStyleSheet> m_styleSheets;
    std::vector<std::uint32_t> m_images;   // positions in m_elements
    std::vector<std::uint32_t> m_scripts;  // positions in m_elements
    std::vector<FrameEntry> m_frames;
};

// A document that is not HTML: IDispatch only.
class CNonHtmlDocument final : public CDomObject<CNonHtmlDocument, IDispatch> {};

}  // namespace wys::dom
