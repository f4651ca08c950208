// Private to platform/dom: the style sheet of one style or link element.
// Owned by its document like an element (CHtmlElement.h): same reference
// count, same identity every time.
#pragma once

#include <cstdint>

#include "platform/dom/HtmlStyleSheet.h"

namespace wys::dom {

class CHtmlDocument;

class CHtmlStyleSheet final : public IHTMLStyleSheet {
public:
    // `document` owns this style sheet and outlives it; `node` is the style
    // or link element.
    CHtmlStyleSheet(CHtmlDocument& document, std::uint32_t node) : m_document(document), m_node(node) {}
    CHtmlStyleSheet(const CHtmlStyleSheet&) = delete;
    CHtmlStyleSheet& operator=(const CHtmlStyleSheet&) = delete;

    // IUnknown
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override;

    // IHTMLStyleSheet
    HRESULT get_href(BSTR* href) override;

private:
    CHtmlDocument& m_document;
    std::uint32_t m_node;
};

}  // namespace wys::dom
