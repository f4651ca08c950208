// The browser window on Qt WebEngine, in-process under a private Xvfb
// display: IWebBrowser2 and its events as helper objects see them, pages
// that never become documents, helper objects and the explorer bar.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <atomic>
#include <fstream>
#include <sstream>

#include "common/Identifiers.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/browser/CBrowserWindow.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Bstr.h"
#include "platform/dom/HtmlDocument.h"
#include "platform/dom/HtmlElement.h"
#include "platform/dom/HtmlElementCollection.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Apartment.h"
#include "tests/hosts/browser/support/GuiTestEnvironment.h"
#include "tests/hosts/browser/support/TestBand.h"
#include "tests/hosts/capture/support/TestHelperObject.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/TempHome.h"

namespace wys::test {
namespace {

using namespace wys::browser_host;
using namespace std::chrono_literals;

constexpr CLSID kMissingClass = MakeGuid("{0D3B5E7A-1111-4222-8333-944455556666}");

void RegisterServer(REFCLSID clsid, const char* kind, const std::string& path)
{
    HKEY key = nullptr;
    std::string keyPath = "CLSID\\" + GuidToString(clsid) + "\\" + kind;
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueEx(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                  static_cast<DWORD>(path.size() + 1));
    RegCloseKey(key);
}

std::vector<std::string> Lines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& part)
{
    for (const auto& line : lines) {
        if (line.find(part) != std::string::npos)
            return true;
    }
    return false;
}

HttpReply Page(std::string body, std::chrono::milliseconds delay = 0ms)
{
    HttpReply reply;
    reply.body = std::move(body);
    reply.delay = delay;
    return reply;
}

class BrowserWindowTest : public TempHomeTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EnsureGuiApplication());
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        m_pump = std::make_unique<ApartmentPump>();
        ASSERT_TRUE(m_pump->Active());
        RegisterServer(CLSID_WYSCURLBase, "LocalServer32", WYS_TEST_URLBASE_SERVER);
        RegisterServer(CLSID_TestHelperObject, "InprocServer32", WYS_TEST_HELPER_OBJECT);
        RegisterServer(CLSID_TestBand, "InprocServer32", WYS_TEST_BAND);
        RegisterServer(CLSID_FailingHelperObject, "InprocServer32", WYS_TEST_BAND);
        RegisterServer(kMissingClass, "InprocServer32", m_home.Path() + "/no-such-library.so");
        m_helperLog = m_home.Path() + "/helper.log";
        m_bandLog = m_home.Path() + "/band.log";
        ::setenv("WYS_TEST_HELPER_LOG", m_helperLog.c_str(), 1);
        ::setenv("WYS_TEST_BAND_LOG", m_bandLog.c_str(), 1);
    }
    void TearDown() override
    {
        CloseWindow();
        m_pump.reset();
        CoUninitialize();
        ::unsetenv("WYS_TEST_HELPER_LOG");
        ::unsetenv("WYS_TEST_BAND_LOG");
    }

    CBrowserWindow& OpenWindow(std::vector<CLSID> helpers)
    {
        BrowserWindowOptions options;
        options.helperClasses = std::move(helpers);
        options.openNewWindow = [this](const QUrl& url) {
            m_newWindows.push_back(url.toString().toStdString());
        };
        m_window = std::make_unique<CBrowserWindow>(options);
        m_window->show();
        m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
        return *m_window;
    }
    void CloseWindow()
    {
        if (!m_window)
            return;
        m_window->close();
        m_window.reset();
    }
    // Navigates and waits for the DocumentComplete events of the page.
    bool Load(const std::string& url, int timeoutMs = 20000)
    {
        int before = m_loads;
        CComBSTR target(url);
        EXPECT_EQ(m_window->Browser()->Navigate(target, nullptr, nullptr, nullptr, nullptr), S_OK);
        return WaitUntil([&] { return m_loads > before; }, timeoutMs);
    }
    std::string Property(HRESULT (IWebBrowser2::*get)(BSTR*))
    {
        CComBSTR value;
        EXPECT_EQ((m_window->Browser()->*get)(&value), S_OK);
        return value.ToUtf8();
    }
    READYSTATE ReadyState()
    {
        READYSTATE state = READYSTATE_UNINITIALIZED;
        m_window->Browser()->get_ReadyState(&state);
        return state;
    }

    std::unique_ptr<ApartmentPump> m_pump;
    std::unique_ptr<CBrowserWindow> m_window;
    std::string m_helperLog;
    std::string m_bandLog;
    int m_loads = 0;
    std::vector<std::string> m_newWindows;
    LoopbackHttpServer m_server;
};

TEST_F(BrowserWindowTest, FramesCompleteBeforeThePageWithDocumentsOfTheLivePage)
{
    LoopbackHttpServer otherOrigin;
    otherOrigin.Handle("/c.html", Page("<title>C</title><p>elsewhere"));
    m_server.Handle("/top.html",
                    Page("<title>Top</title><div id=w></div>"
                         "<script>document.getElementById('w').textContent = 'written by script';</script>"
                         "<iframe src='a.html'></iframe><iframe src='" +
                         otherOrigin.Url("/c.html") + "'></iframe>"));
    m_server.Handle("/a.html", Page("<title>A</title><iframe src='b.html'></iframe>"));
    m_server.Handle("/b.html", Page("<title>B</title><p>inner"));
    OpenWindow({CLSID_TestHelperObject});
    ASSERT_EQ(m_window->HelperCount(), 1u);

    ASSERT_TRUE(Load(m_server.Url("/top.html")));
    std::vector<std::string> completes;
    for (const auto& line : Lines(m_helperLog)) {
        if (line.starts_with("complete"))
            completes.push_back(line.substr(line.find(" state=")));
    }
    // Readable frames, innermost first, then the page, which alone sees the page complete.
    EXPECT_EQ(completes, (std::vector<std::string>{" state=3 " + m_server.Url("/b.html"),
                                                   " state=3 " + m_server.Url("/a.html"),
                                                   " state=4 " + m_server.Url("/top.html")}));
    EXPECT_EQ(ReadyState(), READYSTATE_COMPLETE);
    EXPECT_EQ(Property(&IWebBrowser2::get_LocationURL), m_server.Url("/top.html"));
    EXPECT_EQ(Property(&IWebBrowser2::get_LocationName), "Top");
    EXPECT_EQ(m_window->windowTitle().toStdString(), "Top - Wayscribe");

    // The document is the live page's, script's work included.
    ComPtr<IDispatch> document;
    ASSERT_EQ(m_window->Browser()->get_Document(document.GetAddressOf()), S_OK);
    ComPtr<IHTMLDocument2> html;
    ASSERT_EQ(document.As(&html), S_OK);
    ComPtr<IHTMLElementCollection> all;
    ASSERT_EQ(html->get_all(all.GetAddressOf()), S_OK);
    CComVariant tag(std::string_view("HTML"));
    ComPtr<IDispatch> roots;
    ASSERT_EQ(all->tags(tag, roots.GetAddressOf()), S_OK);
    ComPtr<IHTMLElementCollection> rootList;
    ASSERT_EQ(roots.As(&rootList), S_OK);
    CComVariant first(LONG{0});
    CComVariant none;
    ComPtr<IDispatch> root;
    ASSERT_EQ(rootList->item(first, none, root.GetAddressOf()), S_OK);
    ComPtr<IHTMLElement> rootElement;
    ASSERT_EQ(root.As(&rootElement), S_OK);
    CComBSTR inner;
    ASSERT_EQ(rootElement->get_innerHTML(&inner), S_OK);
    EXPECT_NE(inner.ToUtf8().find("written by script"), std::string::npos);

    // The capture thread reached the window through the marshalled browser,
    // carried by the Qt event loop, and recorded the page.
    ASSERT_TRUE(
        WaitUntil([&] { return HasLine(Lines(m_helperLog), "added " + m_server.Url("/top.html")); }, 10000));
    EXPECT_TRUE(HasLine(Lines(m_helperLog), "title=Top unmarshal=S_OK"));
    EXPECT_TRUE(HasLine(Lines(m_helperLog), "added " + m_server.Url("/top.html") + " S_OK"));
}

TEST_F(BrowserWindowTest, PagesThatNeverBecomeDocumentsFireNothing)
{
    HttpReply download = Page(std::string(4096, 'x'));
    download.contentType = "application/octet-stream";
    download.headers = {{"Content-Disposition", "attachment; filename=\"data.bin\""}};
    m_server.Handle("/data.bin", download);
    m_server.Handle("/slow.html", Page("<title>Slow</title>", 60000ms));
    m_server.Handle("/good.html", Page("<title>Good</title>"));
    OpenWindow({CLSID_TestHelperObject});
    ASSERT_TRUE(Load(m_server.Url("/good.html")));
    auto completes = [&] {
        int count = 0;
        for (const auto& line : Lines(m_helperLog))
            count += line.starts_with("complete");
        return count;
    };
    ASSERT_EQ(completes(), 1);

    // Nobody listens on this port any more.
    std::string refused;
    {
        LoopbackHttpServer gone;
        refused = gone.Url("/nothing.html");
    }
    CComBSTR target(refused);
    ASSERT_EQ(m_window->Browser()->Navigate(target, nullptr, nullptr, nullptr, nullptr), S_OK);
    EXPECT_TRUE(WaitUntil([&] { return m_window->StatusText().contains("could not be loaded"); }, 15000));

    m_window->NavigateTo(QString::fromStdString(m_server.Url("/data.bin")));
    EXPECT_TRUE(WaitUntil([&] { return m_window->StatusText().contains("data.bin"); }, 15000))
        << m_window->StatusText().toStdString();

    target = CComBSTR(m_server.Url("/slow.html"));
    ASSERT_EQ(m_window->Browser()->Navigate(target, nullptr, nullptr, nullptr, nullptr), S_OK);
    Pump(2000);
    EXPECT_EQ(ReadyState(), READYSTATE_LOADING);
    VARIANT_BOOL busy = VARIANT_FALSE;
    m_window->Browser()->get_Busy(&busy);
    EXPECT_EQ(busy, VARIANT_TRUE);
    ASSERT_EQ(m_window->Browser()->Stop(), S_OK);
    m_window->Browser()->get_Busy(&busy);
    EXPECT_EQ(busy, VARIANT_FALSE);
    Pump(500);
    EXPECT_EQ(completes(), 1);

    // Browsing goes on.
    ASSERT_TRUE(Load(m_server.Url("/good.html")));
    EXPECT_EQ(completes(), 2);
    CComBSTR empty;
    EXPECT_EQ(m_window->Browser()->Navigate(empty, nullptr, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(BrowserWindowTest, HelperObjectsAreSitedAndLetGoAndNewWindowsAreHandedOn)
{
    m_server.Handle("/links.html",
                    Page("<title>Links</title><a id=l href='other.html' target=_blank>other</a>"));
    m_server.Handle("/other.html", Page("<title>Other</title>"));
    // One that works, one whose SetSite fails, one whose library is missing.
    OpenWindow({CLSID_FailingHelperObject, kMissingClass, CLSID_TestHelperObject});
    EXPECT_EQ(m_window->HelperCount(), 1u);
    EXPECT_TRUE(HasLine(Lines(m_bandLog), "failing helper sited"));
    ASSERT_TRUE(Load(m_server.Url("/links.html")));

    m_window->View()->page()->runJavaScript("document.getElementById('l').click();");
    ASSERT_TRUE(WaitUntil([&] { return !m_newWindows.empty(); }, 10000));
    EXPECT_EQ(m_newWindows, std::vector<std::string>{m_server.Url("/other.html")});
    EXPECT_EQ(Property(&IWebBrowser2::get_LocationURL), m_server.Url("/links.html"));

    EXPECT_FALSE(HasLine(Lines(m_helperLog), "unsite"));
    CloseWindow();
    EXPECT_TRUE(HasLine(Lines(m_helperLog), "unsite"));

    // The host's own list is what a window attaches by default.
    ASSERT_EQ(AddBrowserHelperObject(CLSID_TestHelperObject, "test"), ERROR_SUCCESS);
    BrowserWindowOptions options;
    CBrowserWindow listed(options);
    EXPECT_EQ(listed.HelperCount(), 1u);
    listed.close();
}

TEST_F(BrowserWindowTest, ExplorerBarIsOfferedShownSizedRememberedAndClosed)
{
    ASSERT_EQ(AddExplorerBar(CLSID_TestBand), ERROR_SUCCESS);
    ASSERT_EQ(AddExplorerBar(kMissingClass), ERROR_SUCCESS);
    m_server.Handle("/page.html", Page("<title>Page</title>"));
    OpenWindow({});
    ASSERT_TRUE(Load(m_server.Url("/page.html")));

    QMenu* bars = m_window->findChild<QMenu*>("explorerBarMenu");
    ASSERT_NE(bars, nullptr);
    std::vector<std::string> titles;
    for (QAction* action : bars->actions())
        titles.push_back(action->text().toStdString());
    EXPECT_NE(std::find(titles.begin(), titles.end(), kTestBandTitle), titles.end());
    EXPECT_EQ(titles.size(), 2u);

    // A band whose library is missing: the host says so and keeps browsing.
    EXPECT_FALSE(m_window->OpenExplorerBar(kMissingClass));
    EXPECT_TRUE(m_window->StatusText().contains("cannot be loaded")) << m_window->StatusText().toStdString();
    EXPECT_FALSE(m_window->ExplorerBarPane()->IsOpen());

    ASSERT_TRUE(m_window->OpenExplorerBar(CLSID_TestBand));
    std::vector<std::string> log = Lines(m_bandLog);
    EXPECT_TRUE(HasLine(log, "GetBandInfo mode=1"));
    EXPECT_TRUE(HasLine(log, "parent yes"));
    EXPECT_TRUE(HasLine(log, "input site yes"));
    EXPECT_TRUE(HasLine(log, "browser S_OK"));
    EXPECT_TRUE(HasLine(log, "ShowDW 1"));
    QWidget* bandWindow = m_window->findChild<QWidget*>("testBandWindow");
    ASSERT_NE(bandWindow, nullptr);
    Pump(300);
    EXPECT_TRUE(bandWindow->isVisible());
    int width = m_window->ExplorerBarPane()->widget()->width();
    EXPECT_GE(width, kTestBandMinWidth);
    EXPECT_NEAR(width, kTestBandIdealWidth, 40);
    EXPECT_EQ(m_window->ExplorerBarPane()->widget()->minimumWidth(), kTestBandMinWidth);
    SaveScreenshot(m_window.get(), "browser-with-test-band");
    ASSERT_TRUE(RememberedExplorerBar());
    EXPECT_EQ(*RememberedExplorerBar(), CLSID_TestBand);

    // Closing the window keeps the pane remembered as open...
    CloseWindow();
    log = Lines(m_bandLog);
    EXPECT_TRUE(HasLine(log, "CloseDW"));
    EXPECT_TRUE(HasLine(log, "SetSite null"));
    EXPECT_TRUE(HasLine(log, "destroyed"));
    ASSERT_TRUE(RememberedExplorerBar());

    // ...closing the pane forgets it.
    OpenWindow({});
    ASSERT_TRUE(m_window->OpenExplorerBar(CLSID_TestBand));
    m_window->ExplorerBarPane()->close();
    Pump(200);
    EXPECT_FALSE(m_window->ExplorerBarPane()->IsOpen());
    EXPECT_FALSE(RememberedExplorerBar());
}

}  // namespace
}  // namespace wys::test
