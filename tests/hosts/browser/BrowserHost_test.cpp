// The parts of wayscribe-browser that need no display: its command line,
// the URLs that Navigate loads, and documents built from page snapshots.
#include <gtest/gtest.h>

#include "common/Identifiers.h"
#include "hosts/browser/BrowserCommandLine.h"
#include "hosts/browser/CQtWebBrowser.h"
#include "hosts/browser/PageSnapshot.h"
#include "platform/com/Bstr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlWindow.h"

namespace wys::browser_host {
namespace {

BrowserCommandLine Parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "wayscribe-browser");
    return ParseBrowserCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(BrowserCommandLine, TakesOneTargetAndTheBandOptions)
{
    struct Case {
        std::vector<const char*> args;
        std::string target;
        BandAtStart band;
        bool refused;
    };
    const Case cases[] = {
        {{}, "", BandAtStart::Remembered, false},
        {{"http://example.org/"}, "http://example.org/", BandAtStart::Remembered, false},
        {{"--band", "/tmp/a b.htm"}, "/tmp/a b.htm", BandAtStart::Open, false},
        {{"--no-band", "x"}, "x", BandAtStart::None, false},
        {{"--", "--band"}, "--band", BandAtStart::Remembered, false},
        {{"a", "b"}, "a", BandAtStart::Remembered, true},
        {{"--frobnicate"}, "", BandAtStart::Remembered, true},
        {{"--band=not-a-guid"}, "", BandAtStart::Open, true},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const char* a : c.args)
            shown += std::string(a) + " ";
        BrowserCommandLine line = Parse(c.args);
        EXPECT_EQ(!line.error.empty(), c.refused) << shown << line.error;
        if (c.refused)
            continue;
        EXPECT_EQ(line.target, c.target) << shown;
        EXPECT_EQ(line.band, c.band) << shown;
    }
    BrowserCommandLine named =
        Parse({"--band="
               "{F5F66C79-DA73-417B-8EFD-D53214677190}"});
    ASSERT_TRUE(named.bandClass);
    EXPECT_EQ(*named.bandClass, CLSID_SurfBand);
    EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(NavigationTarget, PathsBecomeFileUrlsAndUrlsStayAsTheyAre)
{
    struct Case {
        std::string target;
        std::string url;
    };
    const Case cases[] = {
        {"http://127.0.0.1:8080/a?b=c#d", "http://127.0.0.1:8080/a?b=c#d"},
        {"/home/u/Collected IE History/2026/December/9/page.htm",
         "file:///home/u/Collected%20IE%20History/2026/December/9/page.htm"},
        // Saved copies recorded elsewhere carry backslashes; '#' and '?' are part of a file name.
        {"/h/2026\\December\\9\\a#1?.mht", "file:///h/2026/December/9/a%231%3F.mht"},
        {"file:///tmp/x.html", "file:///tmp/x.html"},
        {"example.org", "http://example.org"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UrlOfNavigationTarget(c.target).toString(QUrl::FullyEncoded).toStdString(), c.url)
            << c.target;
}

std::string TitleOf(IDispatch* document)
{
    ComPtr<IHTMLDocument2> html;
    if (!document || FAILED(document->QueryInterface(IID_IHTMLDocument2, html.PutVoid())))
        return "<not html>";
    CComBSTR title;
    html->get_title(&title);
    return title.ToUtf8();
}

std::string Doc(const std::string& url, const std::string& html, const std::string& frames = "[]",
                const std::string& type = "text/html")
{
    return "{\"url\":\"" + url + "\",\"contentType\":\"" + type + "\",\"html\":\"" + html +
           "\",\"frames\":" + frames + "}";
}

TEST(PageSnapshot, ReadableFramesCompleteInnermostFirstThenThePage)
{
    // Frame a holds frame b; the other-origin frame c is unreadable (null);
    // frame d has no element in the serialised page any more and is dropped.
    std::string b = Doc("http://h/b.html", "<title>B</title>");
    std::string a = Doc("http://h/a.html", "<title>A</title><iframe src='b.html'></iframe>",
                        "[{\"src\":\"b.html\",\"document\":" + b + "}]");
    std::string d = Doc("http://h/d.html", "<title>D</title>");
    std::string top =
        Doc("http://h/top.html",
            "<title>Top</title><iframe src='a.html'></iframe><iframe src='http://o/c.html'></iframe>",
            "[{\"src\":\"a.html\",\"document\":" + a +
                "},{\"src\":\"http://o/c.html\",\"document\":null}"
                ",{\"src\":\"d.html\",\"document\":" +
                d + "}]");
    PageSnapshot snapshot = BuildPageSnapshot(top, "http://h/top.html#shown");
    ASSERT_TRUE(snapshot.document);
    EXPECT_EQ(snapshot.title, "Top");
    std::vector<std::string> order;
    for (const auto& completed : snapshot.completed)
        order.push_back(completed.url + " " + TitleOf(completed.document.Get()));
    EXPECT_EQ(order, (std::vector<std::string>{"http://h/b.html B", "http://h/a.html A",
                                               "http://h/top.html#shown Top"}));

    ComPtr<IHTMLDocument2> html;
    ASSERT_EQ(snapshot.document->QueryInterface(IID_IHTMLDocument2, html.PutVoid()), S_OK);
    ComPtr<IHTMLFramesCollection2> frames;
    ASSERT_EQ(html->get_frames(frames.GetAddressOf()), S_OK);
    LONG length = 0;
    ASSERT_EQ(frames->get_length(&length), S_OK);
    ASSERT_EQ(length, 2);
    std::vector<std::string> shown;
    for (LONG i = 0; i < length; ++i) {
        CComVariant index(i);
        CComVariant window;
        ASSERT_EQ(frames->item(&index, &window), S_OK);
        ComPtr<IHTMLWindow2> frameWindow;
        ASSERT_EQ(window.pdispVal->QueryInterface(IID_IHTMLWindow2, frameWindow.PutVoid()), S_OK);
        ComPtr<IHTMLDocument2> frameDocument;
        shown.push_back(SUCCEEDED(frameWindow->get_document(frameDocument.GetAddressOf()))
                            ? TitleOf(frameDocument.Get())
                            : "<denied>");
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"A", "<denied>"}));
}

TEST(PageSnapshot, NonHtmlPagesAndBrokenSnapshots)
{
    PageSnapshot image =
        BuildPageSnapshot(Doc("http://h/p.png", "<img src=p.png>", "[]", "image/png"), "http://h/p.png");
    ASSERT_TRUE(image.document);
    EXPECT_EQ(TitleOf(image.document.Get()), "<not html>");
    EXPECT_EQ(image.completed.size(), 1u);

    for (std::string text : {"", "null", "[1,2]", "{\"html\": 3", "not json"}) {
        PageSnapshot broken = BuildPageSnapshot(text, "http://h/");
        EXPECT_FALSE(broken.document) << text;
        EXPECT_TRUE(broken.completed.empty()) << text;
    }
    // Text the page wrote is kept as written, markup repaired as a browser would.
    PageSnapshot odd =
        BuildPageSnapshot(Doc("http://h/", "<title>x\\u00e9<\\/title><p>unclosed"), "http://h/");
    EXPECT_EQ(odd.title, "x\xc3\xa9");
}

}  // namespace
}  // namespace wys::browser_host
