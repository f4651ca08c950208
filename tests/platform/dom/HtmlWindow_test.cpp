#include <gtest/gtest.h>

#include "platform/com/Variant.h"
#include "tests/platform/dom/DomTestSupport.h"

namespace {

using wys::test::BuildFrameDocument;
using wys::test::BuildPage;
using wys::test::ReadString;

struct Request {
    std::string tagName, src, documentUrl, baseHref;
    bool operator==(const Request&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Request& r)
{
    return out << r.tagName << " " << r.src << " " << r.documentUrl << " " << r.baseHref;
}

// The window at `index` of a frames collection.
ComPtr<IHTMLWindow2> Window(IHTMLFramesCollection2* frames, LONG index)
{
    CComVariant position(index), result;
    EXPECT_EQ(frames->item(&position, &result), S_OK);
    EXPECT_EQ(result.vt, VT_DISPATCH);
    ComPtr<IHTMLWindow2> window;
    if (result.vt == VT_DISPATCH) {
        EXPECT_EQ(ComPtr<IDispatch>(result.pdispVal).As(&window), S_OK);
    }
    return window;
}

ComPtr<IHTMLFramesCollection2> Frames(IHTMLDocument2* document)
{
    ComPtr<IHTMLFramesCollection2> frames;
    EXPECT_EQ(document->get_frames(frames.ReleaseAndGetAddressOf()), S_OK);
    return frames;
}

std::string UrlOf(IHTMLDocument2* document)
{
    return ReadString([&](BSTR* out) { return document->get_URL(out); });
}

TEST(HtmlWindow, FramesHaveSuppliedDocumentsAndMissingOnesFail)
{
    std::vector<Request> requests;
    FrameDocumentSupplier supplier = [&](const FrameReference& frame) -> ComPtr<IDispatch> {
        requests.push_back({std::string(frame.tagName), std::string(frame.src),
                            std::string(frame.documentUrl), std::string(frame.baseHref)});
        if (frame.src == "menu.html")
            return BuildFrameDocument("<iframe src=inner.html></iframe>", "http://example.test/menu.html",
                                      [](const FrameReference&) {
                                          return BuildFrameDocument("<p>inner",
                                                                    "http://example.test/inner.html");
                                      });
        if (frame.src == "photo.jpg") {
            ComPtr<IDispatch> image;
            EXPECT_EQ(CreateNonHtmlDocument(image.ReleaseAndGetAddressOf()), S_OK);
            return image;
        }
        return nullptr;
    };
    ComPtr<IHTMLDocument2> page = BuildPage(
        "<head><base href='http://base.test/x/'></head>"
        "<frameset><frame src=menu.html><frame src='missing.html'><frame src=photo.jpg><frame>"
        "</frameset>",
        supplier);
    ASSERT_TRUE(page);

    std::string url(wys::test::kPageUrl), base = "http://base.test/x/";
    EXPECT_EQ(requests, (std::vector<Request>{{"frame", "menu.html", url, base},
                                              {"frame", "missing.html", url, base},
                                              {"frame", "photo.jpg", url, base},
                                              {"frame", "", url, base}}));

    ComPtr<IHTMLFramesCollection2> frames = Frames(page.Get());
    LONG length = 0;
    ASSERT_EQ(frames->get_length(&length), S_OK);
    ASSERT_EQ(length, 4);

    ComPtr<IHTMLDocument2> menu;
    ASSERT_EQ(Window(frames.Get(), 0)->get_document(menu.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(UrlOf(menu.Get()), "http://example.test/menu.html");

    IHTMLDocument2* document = reinterpret_cast<IHTMLDocument2*>(1);
    EXPECT_EQ(Window(frames.Get(), 1)->get_document(&document), E_FAIL);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(Window(frames.Get(), 2)->get_document(&document), E_NOINTERFACE);
    EXPECT_EQ(document, nullptr);
    EXPECT_EQ(Window(frames.Get(), 3)->get_document(&document), E_FAIL);

    // A frame's window lists the frames of its own document, one level down.
    ComPtr<IHTMLWindow2> menuWindow = Window(frames.Get(), 0);
    ASSERT_EQ(menuWindow->get_length(&length), S_OK);
    EXPECT_EQ(length, 1);
    ComPtr<IHTMLDocument2> inner;
    ASSERT_EQ(Window(menuWindow.Get(), 0)->get_document(inner.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(UrlOf(inner.Get()), "http://example.test/inner.html");
    ASSERT_EQ(Window(frames.Get(), 1)->get_length(&length), S_OK);
    EXPECT_EQ(length, 0);

    CComVariant outside(LONG{4}), result;
    EXPECT_EQ(frames->item(&outside, &result), E_INVALIDARG);
    EXPECT_EQ(result.vt, VT_EMPTY);
}

TEST(HtmlWindow, IframesAreFramesInDocumentOrderWithoutSupplier)
{
    ComPtr<IHTMLDocument2> page = BuildPage(
        "<iframe src='a.html'></iframe><p><iframe src=\"sub/b.html\"></iframe>"
        "<template><iframe src=inert.html></iframe></template>");
    ComPtr<IHTMLFramesCollection2> frames = Frames(page.Get());
    LONG length = 0;
    ASSERT_EQ(frames->get_length(&length), S_OK);
    EXPECT_EQ(length, 2);
    IHTMLDocument2* document = nullptr;
    EXPECT_EQ(Window(frames.Get(), 0)->get_document(&document), E_FAIL);

    std::vector<std::string> sources;
    FrameDocumentSupplier record = [&](const FrameReference& frame) {
        sources.emplace_back(frame.src);
        EXPECT_EQ(frame.tagName, "iframe");
        EXPECT_EQ(frame.baseHref, "");
        return ComPtr<IDispatch>();
    };
    BuildPage("<iframe src='a.html'></iframe><p><iframe src=\"sub/b.html\"></iframe>", record);
    EXPECT_EQ(sources, (std::vector<std::string>{"a.html", "sub/b.html"}));
}

TEST(HtmlWindow, SupplierThatThrowsFailsTheBuild)
{
    IDispatch* document = reinterpret_cast<IDispatch*>(1);
    FrameDocumentSupplier failing = [](const FrameReference&) -> ComPtr<IDispatch> {
        throw ComError(E_ACCESSDENIED);
    };
    EXPECT_EQ(BuildHtmlDocument("<iframe src=x></iframe>", "http://a.test/", CharsetDeclarations::Keep,
                                failing, &document),
              E_ACCESSDENIED);
    EXPECT_EQ(document, nullptr);
}

}  // namespace
