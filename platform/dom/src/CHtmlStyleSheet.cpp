#include "platform/dom/src/CHtmlStyleSheet.h"

#include "platform/rpc/AgileObject.h"

#include "platform/dom/src/CHtmlDocument.h"

namespace wys::dom {

HRESULT CHtmlStyleSheet::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (iid != IID_IUnknown && iid != IID_IDispatch && iid != IID_IHTMLStyleSheet && iid != IAgileObject::Iid)
        return E_NOINTERFACE;
    *object = static_cast<IHTMLStyleSheet*>(this);
    AddRef();
    return S_OK;
}

ULONG CHtmlStyleSheet::AddRef()
{
    return m_document.AddRef();
}

ULONG CHtmlStyleSheet::Release()
{
    return m_document.Release();
}

HRESULT CHtmlStyleSheet::GetTypeInfoCount(UINT* count)
{
    return NoTypeInfoCount(count);
}

HRESULT CHtmlStyleSheet::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    return NoTypeInfo(info);
}

HRESULT CHtmlStyleSheet::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT CHtmlStyleSheet::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CHtmlStyleSheet::get_href(BSTR* href)
{
    const CDocumentTree& tree = m_document.Tree();
    // A style element's sheet has no address of its own.
    if (!tree.IsHtmlElement(m_node, "link"))
        return ReturnString({}, href);
    return ReturnString(tree.AttributeOrEmpty(m_node, "href"), href);
}

}  // namespace wys::dom
