#include "platform/dom/src/CHtmlElement.h"

#include <array>

#include "platform/com/ComError.h"
#include "platform/com/Utf.h"
#include "platform/dom/src/CHtmlDocument.h"
#include "platform/dom/src/CMediaPlayerObject.h"
#include "platform/rpc/AgileObject.h"

namespace wys::dom {
namespace {

ElementRole RoleOf(const CDocumentTree& tree, std::uint32_t node)
{
    if (tree.IsHtmlElement(node, "img"))
        return ElementRole::Image;
    if (tree.IsHtmlElement(node, "script"))
        return ElementRole::Script;
    if (tree.IsHtmlElement(node, "input"))
        return ElementRole::Input;
    if (tree.IsHtmlElement(node, "object"))
        return ElementRole::Object;
    return ElementRole::Other;
}

// The media file an object's <param> elements name for `player`. Params of
// an object nested inside (a fallback for other players) are not this
// object's.
std::optional<std::string> MediaFileOf(const CDocumentTree& tree, std::uint32_t object,
                                       const MediaPlayerDescription& player)
{
    std::array<const std::string*, 3> found{};
    for (std::uint32_t i = object + 1; i < tree.Node(object).end;) {
        if (tree.IsHtmlElement(i, "object")) {
            i = tree.Node(i).end;
            continue;
        }
        if (tree.IsHtmlElement(i, "param")) {
            const std::string* name = tree.FindAttribute(i, "name");
            const std::string* value = tree.FindAttribute(i, "value");
            for (std::size_t k = 0; name && value && !value->empty() && k < found.size(); ++k) {
                if (!found[k] && !player.paramNames[k].empty() &&
                    EqualsIgnoringAsciiCase(*name, player.paramNames[k]))
                    found[k] = value;
            }
        }
        ++i;
    }
    for (const std::string* value : found) {
        if (value)
            return *value;
    }
    return std::nullopt;
}

}  // namespace

CHtmlElement::CHtmlElement(CHtmlDocument& document, std::uint32_t node)
    : m_document(document), m_node(node), m_role(RoleOf(document.Tree(), node))
{
}

HRESULT CHtmlElement::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    // IAgileObject: a built document's elements may be used from any thread.
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IHTMLElement || iid == IAgileObject::Iid)
        *object = static_cast<IHTMLElement*>(this);
    else if (iid == IID_IHTMLImgElement && m_role == ElementRole::Image)
        *object = static_cast<IHTMLImgElement*>(this);
    else if (iid == IID_IHTMLScriptElement && m_role == ElementRole::Script)
        *object = static_cast<IHTMLScriptElement*>(this);
    else if (iid == IID_IHTMLInputElement && m_role == ElementRole::Input)
        *object = static_cast<IHTMLInputElement*>(this);
    else if (iid == IID_IHTMLObjectElement && m_role == ElementRole::Object)
        *object = static_cast<IHTMLObjectElement*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

ULONG CHtmlElement::AddRef()
{
    return m_document.AddRef();
}

ULONG CHtmlElement::Release()
{
    return m_document.Release();
}

HRESULT CHtmlElement::GetTypeInfoCount(UINT* count)
{
    return NoTypeInfoCount(count);
}

HRESULT CHtmlElement::GetTypeInfo(UINT, LCID, ITypeInfo** info)
{
    return NoTypeInfo(info);
}

HRESULT CHtmlElement::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return DISP_E_UNKNOWNNAME;
}

HRESULT CHtmlElement::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return DISP_E_MEMBERNOTFOUND;
}

HRESULT CHtmlElement::getAttribute(BSTR name, LONG flags, VARIANT* value)
{
    if (!value)
        return E_POINTER;
    VariantInit(value);
    if (!name)
        return E_INVALIDARG;
    return ComBoundary([&] {
        const std::string* found = m_document.Tree().FindAttribute(m_node, Utf16ToUtf8(BstrView(name)),
                                                                   (flags & kAttributeCaseSensitive) != 0);
        if (!found) {
            value->vt = VT_NULL;
            return S_OK;
        }
        BSTR text = nullptr;
        HRESULT hr = ReturnString(*found, &text);
        if (SUCCEEDED(hr)) {
            value->vt = VT_BSTR;
            value->bstrVal = text;
        }
        return hr;
    });
}

HRESULT CHtmlElement::get_tagName(BSTR* tagName)
{
    const DomNode& node = m_document.Tree().Node(m_node);
    if (node.ns != ElementNamespace::Html)
        return ReturnString(node.text, tagName);
    return ComBoundary([&] { return ReturnString(AsciiUpper(node.text), tagName); });
}

HRESULT CHtmlElement::get_innerHTML(BSTR* html)
{
    return ComBoundary([&] { return ReturnString(m_document.Tree().InnerHtml(m_node), html); });
}

HRESULT CHtmlElement::get_outerHTML(BSTR* html)
{
    return ComBoundary([&] { return ReturnString(m_document.Tree().OuterHtml(m_node), html); });
}

HRESULT CHtmlElement::get_src(BSTR* src)
{
    return ReturnString(m_document.Tree().AttributeOrEmpty(m_node, "src"), src);
}

HRESULT CHtmlElement::get_type(BSTR* type)
{
    return ComBoundary([&] {
        std::string value = AsciiLower(m_document.Tree().AttributeOrEmpty(m_node, "type"));
        return ReturnString(value.empty() ? std::string("text") : value, type);
    });
}

HRESULT CHtmlElement::get_object(IDispatch** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    const CDocumentTree& tree = m_document.Tree();
    const MediaPlayerDescription* player = FindMediaPlayer(tree.AttributeOrEmpty(m_node, "classid"));
    if (!player)
        return E_NOINTERFACE;
    return ComBoundary([&] {
        *object = CreateComObject<CMediaPlayerObject>(*player, MediaFileOf(tree, m_node, *player));
        return S_OK;
    });
}

HRESULT CHtmlElement::get_classid(BSTR* classId)
{
    return ReturnString(m_document.Tree().AttributeOrEmpty(m_node, "classid"), classId);
}

}  // namespace wys::dom
