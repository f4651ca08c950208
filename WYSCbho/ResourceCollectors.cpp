#include "WYSCbho/ResourceCollectors.h"

#include "WYSCbho/DomText.h"
#include "common/StringConvert.h"
#include "platform/base/AsciiText.h"
#include "platform/com/ComPtr.h"
#include "platform/dom/HtmlElement.h"
#include "platform/dom/HtmlStyleSheet.h"

namespace wys::capture {
namespace {

std::string Upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// Adds the src of every element of `collection` that answers I.
template <class I>
void CollectSources(UrlCollector& collector, IHTMLElementCollection* collection)
{
    ForEachElement(collection, [&collector](IDispatch* element) {
        ComPtr<I> typed;
        if (FAILED(element->QueryInterface(I::Iid, typed.PutVoid())) || !typed)
            return;
        std::string src = ReadText([&typed](BSTR* value) { return typed->get_src(value); });
        if (!src.empty())
            collector.AddUrl(src);
    });
}

}  // namespace

void UrlCollector::Collect(IHTMLDocument2*)
{
    m_urls.clear();
}

void TagCollector::Collect(IHTMLDocument2* document)
{
    UrlCollector::Collect(document);
    ComPtr<IHTMLElementCollection> elements = ElementsByTag(document, m_tagName.c_str());
    ForEachElement(elements.Get(), [this](IDispatch* element) { VisitElement(element); });
}

void ImageCollector::Collect(IHTMLDocument2* document)
{
    UrlCollector::Collect(document);
    ComPtr<IHTMLElementCollection> images;
    if (SUCCEEDED(document->get_images(images.ReleaseAndGetAddressOf())))
        CollectSources<IHTMLImgElement>(*this, images.Get());
}

void ScriptCollector::Collect(IHTMLDocument2* document)
{
    UrlCollector::Collect(document);
    ComPtr<IHTMLElementCollection> scripts;
    if (SUCCEEDED(document->get_scripts(scripts.ReleaseAndGetAddressOf())))
        CollectSources<IHTMLScriptElement>(*this, scripts.Get());
}

void StyleSheetCollector::Collect(IHTMLDocument2* document)
{
    UrlCollector::Collect(document);
    ComPtr<IHTMLStyleSheetsCollection> sheets;
    if (FAILED(document->get_styleSheets(sheets.ReleaseAndGetAddressOf())) || !sheets)
        return;
    LONG length = 0;
    if (FAILED(sheets->get_length(&length)))
        return;
    for (LONG i = 0; i < length; ++i) {
        VARIANT index;
        VariantInit(&index);
        index.vt = VT_I4;
        index.lVal = i;
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = sheets->item(&index, &result);
        ComPtr<IDispatch> item;
        if (SUCCEEDED(hr) && result.vt == VT_DISPATCH)
            item = result.pdispVal;
        VariantClear(&result);
        ComPtr<IHTMLStyleSheet> sheet;
        if (!item || FAILED(item.As(&sheet)))
            continue;
        std::string href = ReadText([&sheet](BSTR* value) { return sheet->get_href(value); });
        if (!href.empty())
            AddUrl(href);
    }
}

void ImageInputCollector::VisitElement(IDispatch* element)
{
    ComPtr<IHTMLInputElement> input;
    if (FAILED(element->QueryInterface(IID_IHTMLInputElement, input.PutVoid())) || !input)
        return;
    std::string type = ReadText([&input](BSTR* value) { return input->get_type(value); });
    if (wys::base::AsciiLower(type) != "image")
        return;
    std::string src = ReadText([&input](BSTR* value) { return input->get_src(value); });
    // An empty src names the page itself, which is no resource of the page.
    if (!src.empty())
        AddUrl(src);
}

void PlayerObjectCollector::VisitElement(IDispatch* element)
{
    ComPtr<IHTMLObjectElement> object;
    if (FAILED(element->QueryInterface(IID_IHTMLObjectElement, object.PutVoid())) || !object)
        return;
    ComPtr<IDispatch> player;
    if (FAILED(object->get_object(player.ReleaseAndGetAddressOf())))
        player = nullptr;
    std::string classId = ReadText([&object](BSTR* value) { return object->get_classid(value); });
    if (Upper(classId) != m_classId || !player)
        return;
    DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = player->Invoke(m_dispId, IID_NULL, 0, m_invokeKind, &noArguments, &result, nullptr, nullptr);
    if (SUCCEEDED(hr) && result.vt == VT_BSTR)
        AddUrl(BstrToNarrowZ(result.bstrVal));
    VariantClear(&result);
}

PlayerObjectCollector PlayerObjectCollector::Flash()
{
    return {"CLSID:D27CDB6E-AE6D-11CF-96B8-444553540000", 102, DISPATCH_PROPERTYGET};
}

PlayerObjectCollector PlayerObjectCollector::QuickTime()
{
    return {"CLSID:02BF25D5-8C17-4B23-BC80-D3488ABDDC6B", 304, DISPATCH_METHOD};
}

PlayerObjectCollector PlayerObjectCollector::RealPlayer()
{
    return {"CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA", 102, DISPATCH_PROPERTYGET};
}

PlayerObjectCollector PlayerObjectCollector::MediaPlayer()
{
    return {"CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95", 1026, DISPATCH_PROPERTYGET};
}

}  // namespace wys::capture
