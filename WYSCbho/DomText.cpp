#include "WYSCbho/DomText.h"

#include "common/StringConvert.h"
#include "platform/dom/HtmlWindow.h"

namespace wys::capture {
namespace {

VARIANT IntegerVariant(LONG value)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

}  // namespace

std::string ReadText(const std::function<HRESULT(BSTR*)>& getter)
{
    CComBSTR text;
    if (FAILED(getter(&text)))
        return {};
    return BstrToNarrowZ(text);
}

std::string DocumentUrl(IHTMLDocument2* document)
{
    return ReadText([document](BSTR* url) { return document->get_URL(url); });
}

std::string DocumentTitle(IHTMLDocument2* document)
{
    return ReadText([document](BSTR* title) { return document->get_title(title); });
}

void ForEachElement(IHTMLElementCollection* collection, const std::function<void(IDispatch*)>& visit)
{
    if (!collection)
        return;
    LONG length = 0;
    if (FAILED(collection->get_length(&length)))
        return;
    for (LONG i = 0; i < length; ++i) {
        ComPtr<IDispatch> element;
        if (FAILED(
                collection->item(IntegerVariant(i), IntegerVariant(0), element.ReleaseAndGetAddressOf())) ||
            !element)
            continue;
        visit(element.Get());
    }
}

ComPtr<IHTMLElementCollection> ElementsByTag(IHTMLDocument2* document, const char* tagName)
{
    ComPtr<IHTMLElementCollection> all;
    if (FAILED(document->get_all(all.ReleaseAndGetAddressOf())) || !all)
        return nullptr;
    CComBSTR name(tagName);
    VARIANT tag;
    VariantInit(&tag);
    tag.vt = VT_BSTR;
    tag.bstrVal = name;
    ComPtr<IDispatch> tagged;
    if (FAILED(all->tags(tag, tagged.ReleaseAndGetAddressOf())) || !tagged)
        return nullptr;
    ComPtr<IHTMLElementCollection> elements;
    if (FAILED(tagged.As(&elements)))
        return nullptr;
    return elements;
}

void ForEachFrameDocument(IHTMLDocument2* document, const std::function<void(IHTMLDocument2*)>& visit)
{
    ComPtr<IHTMLFramesCollection2> frames;
    if (FAILED(document->get_frames(frames.ReleaseAndGetAddressOf())) || !frames)
        return;
    LONG length = 0;
    if (FAILED(frames->get_length(&length)))
        return;
    for (LONG i = 0; i < length; ++i) {
        VARIANT index = IntegerVariant(i);
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = frames->item(&index, &result);
        ComPtr<IDispatch> item;
        if (SUCCEEDED(hr) && result.vt == VT_DISPATCH)
            item = result.pdispVal;
        VariantClear(&result);
        ComPtr<IHTMLWindow2> window;
        if (!item || FAILED(item.As(&window)))
            continue;
        ComPtr<IHTMLDocument2> frameDocument;
        if (FAILED(window->get_document(frameDocument.ReleaseAndGetAddressOf())) || !frameDocument)
            continue;
        visit(frameDocument.Get());
    }
}

}  // namespace wys::capture
