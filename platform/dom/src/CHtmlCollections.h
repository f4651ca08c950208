// Private to platform/dom: the collections a document hands out. Each is
// made on request, holds a reference to its document and reads the
// document's immutable lists.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlElementCollection.h"
#include "platform/dom/HtmlStyleSheet.h"
#include "platform/dom/HtmlWindow.h"
#include "platform/dom/src/DomObject.h"

namespace wys::dom {

class CHtmlDocument;

class CHtmlElementCollection final : public CDomObject<CHtmlElementCollection, IHTMLElementCollection> {
public:
    // `positions` lists element positions of `document` in document order;
    // nullopt stands for every element.
    CHtmlElementCollection(CHtmlDocument& document, std::optional<std::vector<std::uint32_t>> positions);

    HRESULT get_length(LONG* length) override;
    HRESULT item(VARIANT name, VARIANT index, IDispatch** element) override;
    HRESULT tags(VARIANT tagName, IDispatch** collection) override;

private:
    std::uint32_t Count() const;
    std::uint32_t PositionAt(std::uint32_t i) const;

    ComPtr<IHTMLDocument2> m_keepAlive;
    CHtmlDocument& m_document;
    std::optional<std::vector<std::uint32_t>> m_positions;
};

class CHtmlStyleSheetsCollection final
    : public CDomObject<CHtmlStyleSheetsCollection, IHTMLStyleSheetsCollection> {
public:
    explicit CHtmlStyleSheetsCollection(CHtmlDocument& document);

    HRESULT get_length(LONG* length) override;
    HRESULT item(VARIANT* index, VARIANT* result) override;

private:
    ComPtr<IHTMLDocument2> m_keepAlive;
    CHtmlDocument& m_document;
};

// The frames of one document; each item is a new window on a frame's document.
class CHtmlFramesCollection final : public CDomObject<CHtmlFramesCollection, IHTMLFramesCollection2> {
public:
    explicit CHtmlFramesCollection(CHtmlDocument& document);

    HRESULT item(VARIANT* index, VARIANT* result) override;
    HRESULT get_length(LONG* length) override;

private:
    ComPtr<IHTMLDocument2> m_keepAlive;
    CHtmlDocument& m_document;
};

// The window of one frame: the document shown in it (or none).
class CHtmlWindow final : public CDomObject<CHtmlWindow, IHTMLWindow2> {
public:
    // `document` may be null (not loaded) or a document that is not HTML.
    explicit CHtmlWindow(ComPtr<IDispatch> document) : m_document(std::move(document)) {}

    HRESULT item(VARIANT* index, VARIANT* result) override;
    HRESULT get_length(LONG* length) override;
    HRESULT get_document(IHTMLDocument2** document) override;

private:
    // The frames of the shown document; null when it has none to offer.
    ComPtr<IHTMLFramesCollection2> DocumentFrames() const;

    ComPtr<IDispatch> m_document;
};

}  // namespace wys::dom
