// Builds a document from arbitrary bytes and reads everything the page
// capture reads: collections, element properties, media players, frames and
// the root's inner HTML, which is built again as the saved page would be.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/com/Variant.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlDocumentBuilder.h"
#include "platform/dom/HtmlElement.h"
#include "platform/dom/HtmlElementCollection.h"
#include "platform/dom/HtmlStyleSheet.h"
#include "platform/dom/HtmlWindow.h"
#include "platform/dom/MediaPlayers.h"

namespace {

// Element reads are bounded so that one input cannot take quadratic time
// through inner HTML of every element of a deep tree.
constexpr LONG kElementsRead = 64;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

void Drop(BSTR text)
{
    SysFreeString(text);
}

ComPtr<IHTMLDocument2> Build(std::string_view html, const FrameDocumentSupplier& frames)
{
    ComPtr<IDispatch> built;
    Check(BuildHtmlDocument(html, "http://fuzz.test/dir/page.html", CharsetDeclarations::DeclareUtf8, frames,
                            built.ReleaseAndGetAddressOf()) == S_OK);
    ComPtr<IHTMLDocument2> document;
    Check(built.As(&document) == S_OK);
    return document;
}

ComPtr<IDispatch> Item(IHTMLElementCollection* collection, LONG i)
{
    ComPtr<IDispatch> element;
    Check(collection->item(CComVariant(i), CComVariant(LONG{0}), element.ReleaseAndGetAddressOf()) == S_OK);
    return element;
}

LONG Length(IHTMLElementCollection* collection)
{
    LONG length = -1;
    Check(collection->get_length(&length) == S_OK && length >= 0);
    return length;
}

ComPtr<IHTMLElementCollection> Tags(IHTMLElementCollection* all, const char16_t* name)
{
    ComPtr<IDispatch> result;
    Check(all->tags(CComVariant(CComBSTR(name).m_str), result.ReleaseAndGetAddressOf()) == S_OK);
    ComPtr<IHTMLElementCollection> tags;
    Check(result.As(&tags) == S_OK);
    return tags;
}

void ReadElements(IHTMLDocument2* document)
{
    ComPtr<IHTMLElementCollection> all;
    Check(document->get_all(all.ReleaseAndGetAddressOf()) == S_OK);
    Check(Length(all.Get()) >= 3);
    for (LONG i = 0; i < Length(all.Get()) && i < kElementsRead; ++i) {
        ComPtr<IHTMLElement> element;
        Check(Item(all.Get(), i).As(&element) == S_OK);
        BSTR text = nullptr;
        Check(element->get_tagName(&text) == S_OK);
        Drop(text);
        Check(element->get_innerHTML(&text) == S_OK);
        Drop(text);
        CComVariant value;
        Check(element->getAttribute(CComBSTR(u"src"), 0, &value) == S_OK);
    }
    ComPtr<IHTMLElementCollection> images, scripts;
    Check(document->get_images(images.ReleaseAndGetAddressOf()) == S_OK);
    for (LONG i = 0; i < Length(images.Get()) && i < kElementsRead; ++i) {
        ComPtr<IHTMLImgElement> image;
        Check(Item(images.Get(), i).As(&image) == S_OK);
        BSTR src = nullptr;
        Check(image->get_src(&src) == S_OK);
        Drop(src);
    }
    Check(document->get_scripts(scripts.ReleaseAndGetAddressOf()) == S_OK);
    for (LONG i = 0; i < Length(scripts.Get()) && i < kElementsRead; ++i) {
        ComPtr<IHTMLScriptElement> script;
        Check(Item(scripts.Get(), i).As(&script) == S_OK);
    }
    ComPtr<IHTMLElementCollection> inputs = Tags(all.Get(), u"INPUT");
    for (LONG i = 0; i < Length(inputs.Get()) && i < kElementsRead; ++i) {
        ComPtr<IHTMLInputElement> input;
        if (FAILED(Item(inputs.Get(), i).As(&input)))
            continue;  // an SVG or MathML element named input
        BSTR text = nullptr;
        Check(input->get_type(&text) == S_OK);
        Drop(text);
    }
    ComPtr<IHTMLElementCollection> objects = Tags(all.Get(), u"object");
    for (LONG i = 0; i < Length(objects.Get()) && i < kElementsRead; ++i) {
        ComPtr<IHTMLObjectElement> object;
        if (FAILED(Item(objects.Get(), i).As(&object)))
            continue;
        ComPtr<IDispatch> player;
        if (FAILED(object->get_object(player.ReleaseAndGetAddressOf())))
            continue;
        for (const MediaPlayerDescription& description : kMediaPlayers) {
            DISPPARAMS none{nullptr, nullptr, 0, 0};
            CComVariant result;
            player->Invoke(description.dispId, IID_NULL, 0, description.invokeKind, &none, &result, nullptr,
                           nullptr);
        }
    }
}

void ReadStyleSheetsAndFrames(IHTMLDocument2* document)
{
    ComPtr<IHTMLStyleSheetsCollection> sheets;
    Check(document->get_styleSheets(sheets.ReleaseAndGetAddressOf()) == S_OK);
    LONG length = 0;
    Check(sheets->get_length(&length) == S_OK);
    for (LONG i = 0; i < length && i < kElementsRead; ++i) {
        CComVariant index(i), sheet;
        Check(sheets->item(&index, &sheet) == S_OK && sheet.vt == VT_DISPATCH);
        ComPtr<IHTMLStyleSheet> styleSheet;
        Check(ComPtr<IDispatch>(sheet.pdispVal).As(&styleSheet) == S_OK);
        BSTR href = nullptr;
        Check(styleSheet->get_href(&href) == S_OK);
        Drop(href);
    }
    ComPtr<IHTMLFramesCollection2> frames;
    Check(document->get_frames(frames.ReleaseAndGetAddressOf()) == S_OK);
    Check(frames->get_length(&length) == S_OK);
    for (LONG i = 0; i < length && i < kElementsRead; ++i) {
        CComVariant index(i), window;
        Check(frames->item(&index, &window) == S_OK && window.vt == VT_DISPATCH);
        ComPtr<IHTMLWindow2> frameWindow;
        Check(ComPtr<IDispatch>(window.pdispVal).As(&frameWindow) == S_OK);
        ComPtr<IHTMLDocument2> frameDocument;
        if (SUCCEEDED(frameWindow->get_document(frameDocument.ReleaseAndGetAddressOf()))) {
            BSTR url = nullptr;
            Check(frameDocument->get_URL(&url) == S_OK);
            Drop(url);
        }
    }
}

std::string RootInnerHtml(IHTMLDocument2* document)
{
    ComPtr<IHTMLElementCollection> all;
    Check(document->get_all(all.ReleaseAndGetAddressOf()) == S_OK);
    ComPtr<IHTMLElementCollection> roots = Tags(all.Get(), u"HTML");
    Check(Length(roots.Get()) >= 1);
    ComPtr<IHTMLElement> root;
    Check(Item(roots.Get(), Length(roots.Get()) - 1).As(&root) == S_OK);
    CComBSTR html;
    Check(root->get_innerHTML(&html) == S_OK && !html.IsNull());
    return html.ToUtf8();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view html(reinterpret_cast<const char*>(data), size);
    int frameCount = 0;
    FrameDocumentSupplier frames = [&](const FrameReference& frame) -> ComPtr<IDispatch> {
        ComPtr<IDispatch> document;
        switch (frameCount++ % 3) {
            case 0:
                BuildHtmlDocument(frame.src, frame.documentUrl, CharsetDeclarations::Keep, {},
                                  document.ReleaseAndGetAddressOf());
                break;
            case 1:
                CreateNonHtmlDocument(document.ReleaseAndGetAddressOf());
                break;
            default:
                break;
        }
        return document;
    };
    ComPtr<IHTMLDocument2> document = Build(html, frames);
    BSTR text = nullptr;
    Check(document->get_title(&text) == S_OK);
    Drop(text);
    ReadElements(document.Get());
    ReadStyleSheetsAndFrames(document.Get());

    // The saved page is built again when it is opened.
    std::string saved = "<HTML>" + RootInnerHtml(document.Get()) + "</HTML>";
    ComPtr<IHTMLDocument2> reopened = Build(saved, {});
    RootInnerHtml(reopened.Get());
    return 0;
}
