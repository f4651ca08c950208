// The headless browser against pages served on loopback: documents and
// their collections, frames, events and ready states, failures, character
// sets, and calls from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/browser/BandSite.h"
#include "platform/browser/ServiceProvider.h"
#include "platform/inet/InternetHandle.h"
#include "platform/inet/WinInet.h"
#include "platform/rpc/Apartment.h"
#include "platform/rpc/Marshal.h"
#include "tests/platform/browser/BrowserTestSupport.h"
#include "tests/platform/dom/DomTestSupport.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace wys::test {
namespace {

using namespace std::chrono_literals;

HttpReply Reply(std::string body, int status = 200, std::string contentType = "text/html",
                std::chrono::milliseconds delay = 0ms)
{
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.contentType = std::move(contentType);
    reply.delay = delay;
    return reply;
}

std::string Utf16LeWithMark(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

class HeadlessBrowserTest : public TempHomeTest {
protected:
    void SetUp() override { ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK); }
    void TearDown() override { CoUninitialize(); }

    ComPtr<IHTMLDocument2> HtmlDocument(IWebBrowser2* browser)
    {
        ComPtr<IDispatch> document;
        EXPECT_EQ(browser->get_Document(document.GetAddressOf()), S_OK);
        ComPtr<IHTMLDocument2> html;
        if (document) {
            EXPECT_EQ(document.As(&html), S_OK);
        }
        return html;
    }

    std::string Title(IHTMLDocument2* document)
    {
        return ReadString([&](BSTR* out) { return document->get_title(out); });
    }

    LoopbackHttpServer m_server;
};

TEST_F(HeadlessBrowserTest, PageCollectionsHoldTheResourcesWithTheirValuesAsWritten)
{
    m_server.Handle("/site/page.html", Reply(R"(<html><head><title>Resources</title>
        <link rel="stylesheet" href="css/main.css"><style>p{}</style>
        <script src="../js/app.js"></script><script>var inline = 1;</script></head>
        <body><img src="img/a.png"><img src="/abs/b.gif">
        <input type="image" src="btn.png"><input type="text">
        <object classid="CLSID:22D6F312-B0F6-11D0-94AB-0080C74C7E95"><param name="FileName" value="clip.wmv"></object>
        <iframe src="inner.html"></iframe></body></html>)"));
    m_server.Handle("/site/inner.html", Reply("<title>Inner</title><img src='deep.png'>"));
    CBrowserWindow window;
    auto outcome = window.Load(m_server.Url("/site/page.html"));
    ASSERT_TRUE(outcome && outcome->loaded) << (outcome ? outcome->failure : "no end");
    ComPtr<IHTMLDocument2> document = HtmlDocument(window.Browser());
    ASSERT_TRUE(document);

    ComPtr<IHTMLElementCollection> images;
    ASSERT_EQ(document->get_images(images.GetAddressOf()), S_OK);
    EXPECT_EQ(
        ReadEach<IHTMLImgElement>(images.Get(), [](IHTMLImgElement* e, BSTR* s) { return e->get_src(s); }),
        (std::vector<std::string>{"img/a.png", "/abs/b.gif"}));
    ComPtr<IHTMLElementCollection> scripts;
    ASSERT_EQ(document->get_scripts(scripts.GetAddressOf()), S_OK);
    EXPECT_EQ(ReadEach<IHTMLScriptElement>(scripts.Get(),
                                           [](IHTMLScriptElement* e, BSTR* s) { return e->get_src(s); }),
              (std::vector<std::string>{"../js/app.js", ""}));
    ComPtr<IHTMLStyleSheetsCollection> sheets;
    ASSERT_EQ(document->get_styleSheets(sheets.GetAddressOf()), S_OK);
    LONG sheetCount = 0;
    EXPECT_EQ(sheets->get_length(&sheetCount), S_OK);
    EXPECT_EQ(sheetCount, 2);
    CComVariant first(LONG{0});
    CComVariant sheet;
    ASSERT_EQ(sheets->item(&first, &sheet), S_OK);
    ComPtr<IHTMLStyleSheet> link;
    ASSERT_EQ(ComPtr<IDispatch>(sheet.pdispVal).As(&link), S_OK);
    EXPECT_EQ(ReadString([&](BSTR* s) { return link->get_href(s); }), "css/main.css");

    ComPtr<IHTMLElementCollection> inputs = Tags(All(document.Get()).Get(), u"INPUT");
    EXPECT_EQ(ReadEach<IHTMLInputElement>(inputs.Get(),
                                          [](IHTMLInputElement* e, BSTR* s) { return e->get_src(s); }),
              (std::vector<std::string>{"btn.png", ""}));
    ComPtr<IHTMLElementCollection> objects = Tags(All(document.Get()).Get(), u"OBJECT");
    ASSERT_EQ(Length(objects.Get()), 1);
    ComPtr<IHTMLObjectElement> object;
    ASSERT_EQ(Item(objects.Get(), 0).As(&object), S_OK);
    ComPtr<IDispatch> player;
    EXPECT_EQ(object->get_object(player.GetAddressOf()), S_OK);
    EXPECT_TRUE(player);

    ComPtr<IHTMLFramesCollection2> frames;
    ASSERT_EQ(document->get_frames(frames.GetAddressOf()), S_OK);
    LONG frameCount = 0;
    EXPECT_EQ(frames->get_length(&frameCount), S_OK);
    ASSERT_EQ(frameCount, 1);
    CComVariant window0;
    ASSERT_EQ(frames->item(&first, &window0), S_OK);
    ComPtr<IHTMLWindow2> frameWindow;
    ASSERT_EQ(ComPtr<IDispatch>(window0.pdispVal).As(&frameWindow), S_OK);
    ComPtr<IHTMLDocument2> inner;
    ASSERT_EQ(frameWindow->get_document(inner.GetAddressOf()), S_OK);
    EXPECT_EQ(Title(inner.Get()), "Inner");
    EXPECT_EQ(ReadString([&](BSTR* s) { return inner->get_URL(s); }), m_server.Url("/site/inner.html"));
}

TEST_F(HeadlessBrowserTest, FramesetCompletesInnermostFirstAndOnlyTheTopSeesComplete)
{
    m_server.Handle("/top.html", Reply(R"(<title>Top</title><frameset cols="50%,50%">
        <frame src="left.html"><frame src="right.html"></frameset>)"));
    m_server.Handle("/left.html", Reply("<title>Left</title><iframe src='nested.html'></iframe>"));
    m_server.Handle("/nested.html", Reply("<title>Nested</title>"));
    m_server.Handle("/right.html", Reply("<title>Right</title>"));
    CBrowserWindow window;
    auto outcome = window.Load(m_server.Url("/top.html"));
    ASSERT_TRUE(outcome && outcome->loaded);

    const auto& events = window.Events();
    std::vector<std::string> order;
    for (const DocumentCompleteEvent& event : events) {
        order.push_back(event.url);
        EXPECT_EQ(event.urlType, VT_BSTR);
        EXPECT_EQ(event.thread, GetCurrentThreadId());
        ComPtr<IHTMLDocument2> document;
        ASSERT_EQ(event.document.As(&document), S_OK);
        EXPECT_EQ(ReadString([&](BSTR* s) { return document->get_URL(s); }), event.url);
    }
    EXPECT_EQ(order, (std::vector<std::string>{m_server.Url("/nested.html"), m_server.Url("/left.html"),
                                               m_server.Url("/right.html"), m_server.Url("/top.html")}));
    ASSERT_EQ(events.size(), 4u);
    for (std::size_t i = 0; i + 1 < events.size(); ++i)
        EXPECT_EQ(events[i].readyState, READYSTATE_INTERACTIVE) << events[i].url;
    EXPECT_EQ(events.back().readyState, READYSTATE_COMPLETE);
    READYSTATE state = READYSTATE_UNINITIALIZED;
    EXPECT_EQ(window.Browser()->get_ReadyState(&state), S_OK);
    EXPECT_EQ(state, READYSTATE_COMPLETE);
    EXPECT_EQ(TakeBstr([&] {
                  BSTR s = nullptr;
                  window.Browser()->get_LocationName(&s);
                  return s;
              }()),
              "Top");
}

TEST_F(HeadlessBrowserTest, FrameCyclesAndDeepNestingAreLoadedOnlyWithinBounds)
{
    m_server.Handle("/self.html",
                    Reply("<iframe src='self.html#again'></iframe><iframe src='a.html'></iframe>"));
    m_server.Handle("/a.html", Reply("<iframe src='b.html'></iframe>"));
    m_server.Handle("/b.html", Reply("<iframe src='a.html'></iframe><iframe src='self.html'></iframe>"));
    for (int i = 0; i < 12; ++i) {
        m_server.Handle("/d" + std::to_string(i) + ".html",
                        Reply("<iframe src='d" + std::to_string(i + 1) + ".html'></iframe>"));
    }
    CBrowserWindow window;
    auto outcome = window.Load(m_server.Url("/self.html"));
    ASSERT_TRUE(outcome && outcome->loaded);
    EXPECT_EQ(m_server.RequestCount("/self.html"), 1);
    EXPECT_EQ(m_server.RequestCount("/a.html"), 1);
    EXPECT_EQ(m_server.RequestCount("/b.html"), 1);
    EXPECT_EQ(window.Events().size(), 3u);

    outcome = window.Load(m_server.Url("/d0.html"));
    ASSERT_TRUE(outcome && outcome->loaded);
    EXPECT_EQ(m_server.RequestCount("/d6.html"), 1) << "six levels of frames are loaded";
    EXPECT_EQ(m_server.RequestCount("/d7.html"), 0) << "deeper frames are not";
    EXPECT_EQ(window.Events().size(), 7u);
}

TEST_F(HeadlessBrowserTest, PagesThatCannotLoadEndWithAReasonAndNoEvents)
{
    int closedPort = 0;
    {
        LoopbackHttpServer closed;
        closedPort = closed.Port();
    }
    m_server.Redirect("/loop", "/loop");
    m_server.Handle("/slow.html", Reply("<title>late</title>", 200, "text/html", 3000ms));
    struct Case {
        std::string url;
        std::string failure;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(closedPort) + "/", "connection refused"},
        {m_server.Url("/loop"), "too many redirects"},
        {m_server.Url("/slow.html"), "timed out"},
        {"file:///nonexistent/wayscribe/page.html", "file not found"},
        {"gopher://127.0.0.1/", "unsupported URL scheme"},
    };
    for (const Case& c : cases) {
        CBrowserWindow window(c.url.ends_with("/slow.html") ? 500ms : 10000ms);
        auto outcome = window.Load(c.url);
        ASSERT_TRUE(outcome) << c.url;
        EXPECT_FALSE(outcome->loaded) << c.url;
        EXPECT_EQ(outcome->failure, c.failure) << c.url;
        EXPECT_TRUE(window.Events().empty()) << c.url;
        ComPtr<IDispatch> document;
        EXPECT_EQ(window.Browser()->get_Document(document.GetAddressOf()), S_FALSE) << c.url;
        READYSTATE state = READYSTATE_UNINITIALIZED;
        window.Browser()->get_ReadyState(&state);
        EXPECT_EQ(state, READYSTATE_COMPLETE) << c.url;
    }
}

TEST_F(HeadlessBrowserTest, ErrorPagesAndRedirectsCompleteAsDocuments)
{
    m_server.Handle("/missing-page", Reply("<title>Not here</title>", 404));
    m_server.Redirect("/old", "/new.html");
    m_server.Handle("/new.html", Reply("<title>New</title>"));
    CBrowserWindow window;
    auto outcome = window.Load(m_server.Url("/missing-page"));
    ASSERT_TRUE(outcome);
    EXPECT_TRUE(outcome->loaded);
    EXPECT_EQ(outcome->status, 404);
    ASSERT_EQ(window.Events().size(), 1u);
    EXPECT_EQ(Title(HtmlDocument(window.Browser()).Get()), "Not here");

    outcome = window.Load(m_server.Url("/old"));
    ASSERT_TRUE(outcome && outcome->loaded);
    EXPECT_EQ(outcome->finalUrl, m_server.Url("/new.html"));
    ASSERT_EQ(window.Events().size(), 1u);
    EXPECT_EQ(window.Events()[0].url, m_server.Url("/new.html"));
    EXPECT_EQ(TakeBstr([&] {
                  BSTR s = nullptr;
                  window.Browser()->get_LocationURL(&s);
                  return s;
              }()),
              m_server.Url("/new.html"));
}

TEST_F(HeadlessBrowserTest, CharacterSetsAreDecodedToUtf8)
{
    struct Case {
        const char* name;
        std::string contentType;
        std::string body;
    };
    const std::string title = "caf\xC3\xA9";  // "café" in UTF-8
    const Case cases[] = {
        {"header", "text/html; charset=ISO-8859-1", "<title>caf\xE9</title>"},
        {"header wins over meta", "text/html; charset=windows-1252",
         "<meta charset='utf-8'><title>caf\xE9</title>"},
        {"meta charset", "text/html", "<meta charset=\"windows-1252\"><title>caf\xE9</title>"},
        {"meta http-equiv", "text/html",
         "<meta http-equiv='Content-Type' content='text/html; charset=iso-8859-1'><title>caf\xE9</title>"},
        {"undeclared UTF-8", "text/html", "<title>caf\xC3\xA9</title>"},
        {"undeclared other bytes", "text/html", "<title>caf\xE9</title>"},
        {"byte-order mark", "text/html; charset=iso-8859-1", "\xEF\xBB\xBF<title>caf\xC3\xA9</title>"},
        {"unknown label", "text/html; charset=no-such-set", "<title>caf\xC3\xA9</title>"},
        {"UTF-16 with mark", "text/html", Utf16LeWithMark(u"<title>caf\u00E9</title>")},
    };
    CBrowserWindow window;
    for (const Case& c : cases) {
        m_server.Handle("/charset.html", Reply(c.body, 200, c.contentType));
        auto outcome = window.Load(m_server.Url("/charset.html"));
        ASSERT_TRUE(outcome && outcome->loaded) << c.name;
        EXPECT_EQ(Title(HtmlDocument(window.Browser()).Get()), title) << c.name;
    }
}

TEST_F(HeadlessBrowserTest, HostileMarkupAndNonHtmlDocumentsLoad)
{
    std::string hostile =
        "<title>Hostile</title><frameset><frame src='javascript:alert(1)'><frame src='file:///etc/passwd'>";
    for (int i = 0; i < 5000; ++i)
        hostile += "<div><b><i x=\"";
    static constexpr char kTail[] = "\0\xFF<script>while(1);</script>";
    hostile += std::string(kTail, sizeof kTail - 1);
    m_server.Handle("/hostile.html", Reply(hostile));
    m_server.Handle("/picture.png", Reply("\x89PNG\r\n\x1a\n", 200, "image/png"));
    CBrowserWindow window;
    auto outcome = window.Load(m_server.Url("/hostile.html"));
    ASSERT_TRUE(outcome && outcome->loaded);
    EXPECT_EQ(Title(HtmlDocument(window.Browser()).Get()), "Hostile");
    EXPECT_EQ(window.Events().size(), 1u) << "script and remote-to-file frames are not loaded";

    outcome = window.Load(m_server.Url("/picture.png"));
    ASSERT_TRUE(outcome && outcome->loaded);
    EXPECT_FALSE(outcome->isHtml);
    ASSERT_EQ(window.Events().size(), 1u);
    EXPECT_EQ(window.Events()[0].readyState, READYSTATE_COMPLETE);
    ComPtr<IHTMLDocument2> html;
    EXPECT_EQ(window.Events()[0].document.As(&html), E_NOINTERFACE);
    EXPECT_EQ(TakeBstr([&] {
                  BSTR s = nullptr;
                  window.Browser()->get_LocationName(&s);
                  return s;
              }()),
              m_server.Url("/picture.png"));
}

TEST_F(HeadlessBrowserTest, LocalPathsLoadAsFileUrls)
{
    std::string path = m_home.Path() + "/saved pages/day #1/page.htm";
    WriteFile(path, "<title>Saved</title><iframe src='frame.htm'></iframe>");
    WriteFile(m_home.Path() + "/saved pages/day #1/frame.htm", "<title>Saved frame</title>");
    CBrowserWindow window;
    auto outcome = window.Load(path);
    ASSERT_TRUE(outcome && outcome->loaded) << (outcome ? outcome->failure : "no end");
    EXPECT_EQ(Title(HtmlDocument(window.Browser()).Get()), "Saved");
    EXPECT_EQ(window.Events().size(), 2u) << "a local page may frame local files";
    EXPECT_TRUE(outcome->finalUrl.starts_with("file:///")) << outcome->finalUrl;
}

TEST_F(HeadlessBrowserTest, MarshalledBrowserIsServedOnTheWindowThread)
{
    m_server.Handle("/m.html", Reply("<title>Marshalled</title><iframe src='f.html'></iframe>"));
    m_server.Handle("/f.html", Reply("<title>Framed</title>"));
    CBrowserWindow window;
    ASSERT_TRUE(window.Load(m_server.Url("/m.html")));
    IStream* stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(IID_IWebBrowser2, window.Browser(), &stream), S_OK);

    std::atomic<bool> done{false}, unmarshalled{false}, windowBlocked{false};
    std::chrono::milliseconds firstCall{0};
    READYSTATE state = READYSTATE_UNINITIALIZED;
    std::string title, frameTitle, name;
    void* proxyAddress = nullptr;
    std::thread capture([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            ComPtr<IWebBrowser2> proxy;
            EXPECT_EQ(CoGetInterfaceAndReleaseStream(stream, IID_IWebBrowser2, proxy.PutVoid()), S_OK);
            unmarshalled = true;
            while (!windowBlocked)
                std::this_thread::sleep_for(1ms);
            if (proxy) {
                proxyAddress = proxy.Get();
                auto start = std::chrono::steady_clock::now();
                EXPECT_EQ(proxy->get_ReadyState(&state), S_OK);
                firstCall = std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start);
                ComPtr<IHTMLDocument2> document = HtmlDocument(proxy.Get());
                if (document) {
                    title = Title(document.Get());
                    ComPtr<IHTMLFramesCollection2> frames;
                    EXPECT_EQ(document->get_frames(frames.GetAddressOf()), S_OK);
                    CComVariant index(LONG{0});
                    CComVariant item;
                    EXPECT_EQ(frames->item(&index, &item), S_OK);
                    ComPtr<IHTMLWindow2> frame;
                    ComPtr<IHTMLDocument2> frameDocument;
                    if (item.vt == VT_DISPATCH && SUCCEEDED(ComPtr<IDispatch>(item.pdispVal).As(&frame)) &&
                        SUCCEEDED(frame->get_document(frameDocument.GetAddressOf())))
                        frameTitle = Title(frameDocument.Get());
                }
                BSTR text = nullptr;
                EXPECT_EQ(proxy->get_LocationName(&text), S_OK);
                name = TakeBstr(text);
            }
        }
        CoUninitialize();
        done = true;
    });
    while (!unmarshalled)
        DispatchFor(1ms);
    // The window's thread does not dispatch for a while: the capture's first
    // call has to wait for it.
    windowBlocked = true;
    std::this_thread::sleep_for(300ms);
    while (!done)
        DispatchFor(10ms);
    capture.join();
    EXPECT_NE(proxyAddress, static_cast<void*>(window.Browser()));
    EXPECT_GE(firstCall, 250ms);
    EXPECT_EQ(state, READYSTATE_COMPLETE);
    EXPECT_EQ(title, "Marshalled");
    EXPECT_EQ(frameTitle, "Framed");
    EXPECT_EQ(name, "Marshalled");
}

TEST_F(HeadlessBrowserTest, SiteAnswersTheBrowserAndReleaseAbandonsALoad)
{
    m_server.Handle("/slow.html", Reply("<title>late</title>", 200, "text/html", 10000ms));
    bool ended = false;
    ComPtr<IWebBrowser2> browser;
    HeadlessBrowserOptions options;
    options.onNavigationEnded = [&](const NavigationOutcome&) { ended = true; };
    ASSERT_EQ(CreateHeadlessBrowser(options, browser.GetAddressOf()), S_OK);

    READYSTATE state = READYSTATE_COMPLETE;
    EXPECT_EQ(browser->get_ReadyState(&state), S_OK);
    EXPECT_EQ(state, READYSTATE_UNINITIALIZED);
    ComPtr<IServiceProvider> services;
    ASSERT_EQ(browser.As(&services), S_OK);
    ComPtr<IWebBrowser2> served;
    EXPECT_EQ(services->QueryService(SID_SWebBrowserApp, IID_IWebBrowser2, served.PutVoid()), S_OK);
    EXPECT_TRUE(IsSameObject(served.Get(), browser.Get()));
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(services->QueryService(IID_IOleWindow, IID_IUnknown, unknown.PutVoid()), E_NOINTERFACE);
    EXPECT_FALSE(unknown);
    ComPtr<IOleWindow> window;
    ASSERT_EQ(browser.As(&window), S_OK);
    HWND handle = reinterpret_cast<HWND>(1);
    EXPECT_EQ(window->GetWindow(&handle), E_FAIL);
    EXPECT_EQ(handle, nullptr);
    ComPtr<IInputObjectSite> inputSite;
    EXPECT_EQ(browser.As(&inputSite), S_OK);
    ComPtr<IOleCommandTarget> commands;
    EXPECT_EQ(browser.As(&commands), S_OK);

    CComBSTR url(m_server.Url("/slow.html"));
    CComVariant flags(LONG{4});
    EXPECT_EQ(browser->Navigate(url, &flags, nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(browser->Navigate(nullptr, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
    ASSERT_EQ(browser->Navigate(url, nullptr, nullptr, nullptr, nullptr), S_OK);
    VARIANT_BOOL busy = VARIANT_FALSE;
    EXPECT_EQ(browser->get_Busy(&busy), S_OK);
    EXPECT_EQ(busy, VARIANT_TRUE);
    DispatchFor(200ms);
    served.Reset();
    services.Reset();
    window.Reset();
    inputSite.Reset();
    commands.Reset();
    auto start = std::chrono::steady_clock::now();
    browser.Reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s) << "the load is abandoned, not awaited";
    DispatchFor(100ms);
    EXPECT_FALSE(ended);
}

TEST_F(HeadlessBrowserTest, ANewNavigateAbandonsTheLoadUnderWay)
{
    m_server.Handle("/slow.html",
                    Reply("<title>Slow</title><iframe src='f.html'></iframe>", 200, "text/html", 1500ms));
    m_server.Handle("/fast.html", Reply("<title>Fast</title>"));
    CBrowserWindow window;
    CComBSTR slow(m_server.Url("/slow.html"));
    ASSERT_EQ(window.Browser()->Navigate(slow, nullptr, nullptr, nullptr, nullptr), S_OK);
    DispatchFor(100ms);
    auto outcome = window.Load(m_server.Url("/fast.html"));
    ASSERT_TRUE(outcome && outcome->loaded);
    DispatchFor(1800ms);
    ASSERT_EQ(window.Events().size(), 1u);
    EXPECT_EQ(window.Events()[0].url, m_server.Url("/fast.html"));
    EXPECT_EQ(Title(HtmlDocument(window.Browser()).Get()), "Fast");
    EXPECT_EQ(m_server.RequestCount("/f.html"), 0);
}

// What a component asks the internet library for after the page loaded:
// the style sheets (with what they import, cycles included), scripts and
// images came with the page, with its cookies, and each is handed out once.
TEST_F(HeadlessBrowserTest, ResourcesLoadedWithThePageAreHandedOutOnce)
{
    HttpReply page = Reply(
        "<link rel=stylesheet href='a.css'><script src='s.js'></script>"
        "<img src='i.png'><p style='background: url(inline.png)'>text</p>");
    page.headers.push_back({"Set-Cookie", "session=opened; Path=/"});
    m_server.Handle("/page.html", page);
    m_server.Handle("/a.css", Reply("@import 'b.css'; body { background: url(bg.png) }", 200, "text/css"));
    m_server.Handle("/b.css",
                    Reply("@import 'a.css'; @import url(b.css); p { color: red }", 200, "text/css"));
    m_server.Handle("/s.js", Reply("var x;", 200, "text/javascript"));
    m_server.Handle("/bg.png", Reply("BG", 200, "image/png"));
    m_server.Handle("/inline.png", Reply("INLINE", 200, "image/png"));
    m_server.Handle("/i.png", [](const HttpRequest& request) {
        return request.Header("Cookie") == "session=opened" ? Reply("IMAGE", 200, "image/png")
                                                            : Reply("no session", 403, "text/plain");
    });
    auto window = std::make_unique<CBrowserWindow>();
    auto outcome = window->Load(m_server.Url("/page.html"));
    ASSERT_TRUE(outcome && outcome->loaded);

    CInternetHandle session(InternetOpen("QXPL", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    auto fetch = [&](const std::string& path, DWORD flags) {
        CInternetHandle request(
            InternetOpenUrl(session.Get(), m_server.Url(path).c_str(), nullptr, 0, flags, 1));
        EXPECT_TRUE(request) << path;
        std::string body;
        char buffer[4];
        DWORD read = 0;
        while (request && InternetReadFile(request.Get(), buffer, sizeof buffer, &read) && read > 0)
            body.append(buffer, read);
        DWORD status = 0;
        DWORD length = sizeof status;
        EXPECT_TRUE(request && HttpQueryInfo(request.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                                             &status, &length, nullptr))
            << path;
        return std::to_string(status) + " " + body;
    };
    const std::pair<const char*, const char*> loaded[] = {
        {"/a.css", "200 @import 'b.css'; body { background: url(bg.png) }"},
        {"/b.css", "200 @import 'a.css'; @import url(b.css); p { color: red }"},
        {"/bg.png", "200 BG"},
        {"/s.js", "200 var x;"},
        {"/i.png", "200 IMAGE"},
    };
    auto agentOf = [&](const std::string& path) {
        for (const HttpRequest& request : m_server.Requests()) {
            if (request.path == path)
                return request.Header("User-Agent");
        }
        return std::string();
    };
    EXPECT_FALSE(InternetIsUrlPreloaded(m_server.Url("/page.html?other").c_str()));
    for (const auto& [path, expected] : loaded) {
        EXPECT_TRUE(InternetIsUrlPreloaded(m_server.Url(path).c_str())) << path;
        EXPECT_EQ(fetch(path, INTERNET_FLAG_NEED_FILE), expected) << path;
        EXPECT_FALSE(InternetIsUrlPreloaded(m_server.Url(path).c_str())) << path << " is taken";
        EXPECT_EQ(m_server.RequestCount(path), 1) << path << " is asked for once";
        EXPECT_NE(agentOf(path).find("Wayscribe-Capture"), std::string::npos) << path << ": by the browser";
    }
    EXPECT_EQ(fetch("/a.css", 0).substr(0, 3), "200");
    EXPECT_EQ(m_server.RequestCount("/a.css"), 2) << "a response is handed out once";
    EXPECT_EQ(fetch("/s.js", INTERNET_FLAG_RELOAD), "200 var x;");
    EXPECT_EQ(m_server.RequestCount("/s.js"), 2) << "the latest version comes from the server";

    // A page shown no more leaves nothing behind for a later request.
    for (int i = 0; i < 500 && m_server.RequestCount("/inline.png") == 0; ++i)
        std::this_thread::sleep_for(10ms);
    window.reset();
    EXPECT_EQ(fetch("/inline.png", 0), "200 INLINE");
    EXPECT_EQ(m_server.RequestCount("/inline.png"), 2);
}

TEST(HeadlessBrowser, NeedsASingleThreadedApartment)
{
    ComPtr<IWebBrowser2> browser;
    EXPECT_EQ(CreateHeadlessBrowser({}, browser.GetAddressOf()), CO_E_NOTINITIALIZED);
    EXPECT_EQ(CreateHeadlessBrowser({}, nullptr), E_POINTER);
}

}  // namespace
}  // namespace wys::test
