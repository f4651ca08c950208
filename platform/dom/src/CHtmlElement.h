// Private to platform/dom: one element of a document. Elements are created
// with their document and owned by it; their reference counts are the
// document's, so an element handed out keeps the whole document alive and
// the same element always answers with the same identity.
#pragma once

#include <cstdint>

#include "platform/dom/HtmlElement.h"

namespace wys::dom {

class CHtmlDocument;

// Which specific interface an element offers besides IHTMLElement.
enum class ElementRole : std::uint8_t { Other, Image, Script, Input, Object };

class CHtmlElement final : public IHTMLElement,
                           public IHTMLImgElement,
                           public IHTMLScriptElement,
                           public IHTMLInputElement,
                           public IHTMLObjectElement {
public:
    // `document` owns this element and outlives it.
    CHtmlElement(CHtmlDocument& document, std::uint32_t node);
    CHtmlElement(const CHtmlElement&) = delete;
    CHtmlElement& operator=(const CHtmlElement&) = delete;

    IDispatch* Dispatch() { return static_cast<IHTMLElement*>(this); }
    std::uint32_t Node() const { return m_node; }

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

    // IHTMLElement
    HRESULT getAttribute(BSTR name, LONG flags, VARIANT* value) override;
    HRESULT get_tagName(BSTR* tagName) override;
    HRESULT get_innerHTML(BSTR* html) override;
    HRESULT get_outerHTML(BSTR* html) override;

    // IHTMLImgElement, IHTMLScriptElement and IHTMLInputElement alike.
    HRESULT get_src(BSTR* src) override;

    // IHTMLInputElement
    HRESULT get_type(BSTR* type) override;

    // IHTMLObjectElement
    HRESULT get_object(IDispatch** object) override;
    HRESULT get_classid(BSTR* classId) override;

private:
    CHtmlDocument& m_document;
    std::uint32_t m_node;
    ElementRole m_role;
};

}  // namespace wys::dom
