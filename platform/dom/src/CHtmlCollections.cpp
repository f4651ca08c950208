#include "platform/dom/src/CHtmlCollections.h"

#include "platform/com/ComError.h"
#include "platform/com/Utf.h"
#include "platform/dom/src/CHtmlDocument.h"

namespace wys::dom {
namespace {

// The text of a string variant (also by reference), or null.
const BSTR* StringOf(const VARIANT& value)
{
    if (value.vt == VT_BSTR)
        return &value.bstrVal;
    if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal)
        return value.pbstrVal;
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal && value.pvarVal->vt == VT_BSTR)
        return &value.pvarVal->bstrVal;
    return nullptr;
}

}  // namespace

CHtmlElementCollection::CHtmlElementCollection(CHtmlDocument& document,
                                               std::optional<std::vector<std::uint32_t>> positions)
    : m_keepAlive(&document), m_document(document), m_positions(std::move(positions))
{
}

std::uint32_t CHtmlElementCollection::Count() const
{
    return m_positions ? static_cast<std::uint32_t>(m_positions->size()) : m_document.ElementCount();
}

std::uint32_t CHtmlElementCollection::PositionAt(std::uint32_t i) const
{
    return m_positions ? (*m_positions)[i] : i;
}

HRESULT CHtmlElementCollection::get_length(LONG* length)
{
    if (!length)
        return E_POINTER;
    *length = static_cast<LONG>(Count());
    return S_OK;
}

HRESULT CHtmlElementCollection::item(VARIANT name, VARIANT, IDispatch** element)
{
    if (!element)
        return E_POINTER;
    *element = nullptr;
    ULONG i = 0;
    HRESULT hr = IndexFromVariant(&name, Count(), &i);
    if (FAILED(hr))
        return hr;
    *element = m_document.Element(PositionAt(i)).Dispatch();
    (*element)->AddRef();
    return S_OK;
}

HRESULT CHtmlElementCollection::tags(VARIANT tagName, IDispatch** collection)
{
    if (!collection)
        return E_POINTER;
    *collection = nullptr;
    const BSTR* text = StringOf(tagName);
    if (!text)
        return E_INVALIDARG;
    return ComBoundary([&] {
        std::string name = Utf16ToUtf8(BstrView(*text));
        const CDocumentTree& tree = m_document.Tree();
        std::vector<std::uint32_t> matches;
        for (std::uint32_t i = 0; i < Count(); ++i) {
            std::uint32_t position = PositionAt(i);
            const DomNode& element = tree.Node(m_document.Element(position).Node());
            // Case matters for SVG and MathML names, so that an SVG element
            // named "html" is never taken for the page's root.
            if (element.ns == ElementNamespace::Html ? EqualsIgnoringAsciiCase(element.text, name)
                                                     : element.text == name)
                matches.push_back(position);
        }
        IHTMLElementCollection* result =
            CreateComObject<CHtmlElementCollection>(m_document, std::move(matches));
        *collection = result;
        return S_OK;
    });
}

CHtmlStyleSheetsCollection::CHtmlStyleSheetsCollection(CHtmlDocument& document)
    : m_keepAlive(&document), m_document(document)
{
}

HRESULT CHtmlStyleSheetsCollection::get_length(LONG* length)
{
    if (!length)
        return E_POINTER;
    *length = static_cast<LONG>(m_document.StyleSheetCount());
    return S_OK;
}

HRESULT CHtmlStyleSheetsCollection::item(VARIANT* index, VARIANT* result)
{
    if (!result)
        return E_POINTER;
    VariantInit(result);
    ULONG i = 0;
    HRESULT hr = IndexFromVariant(index, m_document.StyleSheetCount(), &i);
    if (FAILED(hr))
        return hr;
    ReturnDispatch(&m_document.StyleSheet(i), result);
    return S_OK;
}

CHtmlFramesCollection::CHtmlFramesCollection(CHtmlDocument& document)
    : m_keepAlive(&document), m_document(document)
{
}

HRESULT CHtmlFramesCollection::item(VARIANT* index, VARIANT* result)
{
    if (!result)
        return E_POINTER;
    VariantInit(result);
    const std::vector<FrameEntry>& frames = m_document.Frames();
    ULONG i = 0;
    HRESULT hr = IndexFromVariant(index, static_cast<ULONG>(frames.size()), &i);
    if (FAILED(hr))
        return hr;
    return ComBoundary([&] {
        IHTMLWindow2* window = CreateComObject<CHtmlWindow>(frames[i].document);
        result->vt = VT_DISPATCH;
        result->pdispVal = window;
        return S_OK;
    });
}

HRESULT CHtmlFramesCollection::get_length(LONG* length)
{
    if (!length)
        return E_POINTER;
    *length = static_cast<LONG>(m_document.Frames().size());
    return S_OK;
}

ComPtr<IHTMLFramesCollection2> CHtmlWindow::DocumentFrames() const
{
    ComPtr<IHTMLDocument2> document;
    ComPtr<IHTMLFramesCollection2> frames;
    if (m_document && SUCCEEDED(m_document.As(&document)))
        document->get_frames(frames.ReleaseAndGetAddressOf());
    return frames;
}

HRESULT CHtmlWindow::item(VARIANT* index, VARIANT* result)
{
    if (!result)
        return E_POINTER;
    VariantInit(result);
    ComPtr<IHTMLFramesCollection2> frames = DocumentFrames();
    return frames ? frames->item(index, result) : E_INVALIDARG;
}

HRESULT CHtmlWindow::get_length(LONG* length)
{
    if (!length)
        return E_POINTER;
    *length = 0;
    ComPtr<IHTMLFramesCollection2> frames = DocumentFrames();
    return frames ? frames->get_length(length) : S_OK;
}

HRESULT CHtmlWindow::get_document(IHTMLDocument2** document)
{
    if (!document)
        return E_POINTER;
    *document = nullptr;
    if (!m_document)
        return E_FAIL;
    return m_document->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(document));
}

}  // namespace wys::dom
