// Whole visits in the browser window with the real pieces: the registered
// libWYSCbho.so captures the pages the window completes and the real
// WYSCHelper records them; the saved copies open in the window and look
// like the live pages (screenshots kept in the build's screenshots folder).
#include <dlfcn.h>
#include <signal.h>

#include <gtest/gtest.h>

#include <QWebEnginePage>
#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "common/Identifiers.h"
#include "common/StringConvert.h"
#include "hosts/browser/ApartmentPump.h"
#include "hosts/browser/CBrowserWindow.h"
#include "platform/browser/BrowserExtensions.h"
#include "platform/com/Bstr.h"
#include "platform/com/ComObject.h"
#include "platform/com/DispatchStubs.h"
#include "tests/WYSCbho/CaptureSite.h"
#include "tests/WYSCbho/FidelitySite.h"
#include "tests/hosts/browser/support/GuiTestEnvironment.h"
#include "tests/server/ServerProcessTest.h"

namespace wys::test {
namespace {

using namespace wys::browser_host;

class BrowserCaptureTest : public ServerProcessTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(EnsureGuiApplication());
        ServerProcessTest::SetUp();
        void* library = ::dlopen(WYS_CAPTURE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(library, "DllRegisterServer"));
        ASSERT_EQ(registerServer(), S_OK);
        ASSERT_EQ(AddBrowserHelperObject(CLSID_WYSCSaver, "WYSCbho"), ERROR_SUCCESS);
        EnterApartment();
        m_pump = std::make_unique<ApartmentPump>();
        m_history = CreateHistory();
        ASSERT_TRUE(m_history);
    }
    void TearDown() override
    {
        if (m_window) {
            m_window->close();
            m_window.reset();
        }
        m_history = nullptr;
        m_pump.reset();
        ServerProcessTest::TearDown();
    }

    bool Load(const std::string& target)
    {
        int before = m_loads;
        m_window->NavigateTo(QString::fromStdString(target));
        bool loaded = WaitUntil([&] { return m_loads > before; }, 20000);
        Pump(800);  // the last paint after the load
        return loaded;
    }
    // Waits for the record of `url`; its Path, empty when none came.
    std::string WaitForRecord(const std::string& url, int timeoutMs = 20000)
    {
        std::string path;
        WaitUntil(
            [&] {
                ULONG count = CountOf(m_history.Get());
                for (ULONG i = 0; i < count && count != kNoRecord && path.empty(); ++i) {
                    CUrlDateHolder data;
                    if (SUCCEEDED(m_history->GetData(data.Receive(), i)) && BstrToNarrow(data.Url) == url)
                        path = BstrToNarrow(data.Path);
                }
                return !path.empty();
            },
            timeoutMs);
        return path;
    }

    CaptureSite m_site;
    std::unique_ptr<ApartmentPump> m_pump;
    ComPtr<IWYSCURLBase> m_history;
    std::unique_ptr<CBrowserWindow> m_window;
    int m_loads = 0;
};

TEST_F(BrowserCaptureTest, VisitsAreRecordedWithinSecondsAndTheirSavedCopiesRenderLikeThePage)
{
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->resize(1000, 700);
    m_window->show();
    ASSERT_EQ(m_window->HelperCount(), 1u);

    // ".html" takes the single-file (MHTML) route, ".php" the HTML route.
    for (const char* route : {"html", "php"}) {
        SCOPED_TRACE(route);
        const std::string url = m_site.Url(std::string("/site/page.") + route);
        ASSERT_TRUE(Load(url));
        QImage live = SaveScreenshot(m_window->View(), std::string("live-page-") + route);
        QImage blank(live.size(), QImage::Format_RGB32);
        blank.fill(Qt::white);
        ASSERT_GT(DifferingShare(live, blank), 0.005) << "the live page shows nothing";
        const std::string path = WaitForRecord(url);
        ASSERT_FALSE(path.empty()) << "no record of " << url;
        EXPECT_EQ(path.ends_with(".mht"), std::string(route) == "html") << path;
        EXPECT_TRUE(
            WaitUntil([&] { return m_window->StatusText().startsWith("Saved to the history: "); }, 5000))
            << m_window->StatusText().toStdString();
        const std::string saved = History() + "/" + path;
        ASSERT_TRUE(std::filesystem::exists(saved)) << saved;

        ASSERT_TRUE(Load(saved));
        QImage copy = SaveScreenshot(m_window->View(), std::string("saved-copy-") + route);
        double share = DifferingShare(live, copy);
        EXPECT_LT(share, 0.05) << "saved copy " << saved << " differs from the live page in " << share * 100
                               << "% of its pixels";
    }

    // The frameset page: one record for the page, none for its frames.
    const std::string frames = m_site.Url("/site/frames.html");
    ASSERT_TRUE(Load(frames));
    EXPECT_FALSE(WaitForRecord(frames).empty());
    EXPECT_TRUE(WaitForRecord(m_site.Url("/site/left.html"), 0).empty());
}

// The share of pixels that differ between two screenshots as ImageMagick
// counts them at 2% fuzz; 1 when they cannot be compared.
double DifferingShareAt2Percent(const std::string& a, const std::string& b, int pixels)
{
    std::string output;
    std::string errors;
    RunProgram({"/usr/bin/compare", "-metric", "AE", "-fuzz", "2%", a, b, "null:"}, &output, &errors, 60000);
    try {
        return std::stod(errors) / pixels;
    } catch (const std::exception&) {
        ADD_FAILURE() << "compare said: " << errors;
        return 1.0;
    }
}

TEST_F(BrowserCaptureTest, TheStatusLineSaysWhenACaptureEndedWithoutARecord)
{
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->show();

    // A picture is no HTML document.
    ASSERT_TRUE(Load(m_site.Url("/site/img/logo.png")));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return m_window->StatusText() == "Not saved to the history: the page is not an HTML document";
        },
        10000))
        << m_window->StatusText().toStdString();

    // A history folder below a file cannot be made.
    const std::string blocker = m_home.Path() + "/blocker";
    WriteFile(blocker, "a file, not a folder");
    ASSERT_EQ(m_history->put_BaseDirectory(CComBSTR(blocker + "/history")), S_OK);
    ASSERT_TRUE(Load(m_site.Url("/site/page.php")));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return m_window->StatusText() == "Not saved to the history: the history folder cannot be written";
        },
        10000))
        << m_window->StatusText().toStdString();
    EXPECT_EQ(CountOf(m_history.Get()), 0u);
}

// Hears the window's DocumentComplete events after the helper object has:
// the window advised the helper first, when it attached it.
class CPageCompleteHook final : public CComObjectRoot<CPageCompleteHook, CDispatchNoTypeInfo<>> {
public:
    std::function<void(const std::string& url)> onComplete;

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override
    {
        if (id == DISPID_DOCUMENTCOMPLETE && params && params->cArgs >= 2 &&
            params->rgvarg[0].vt == VT_BSTR && onComplete)
            onComplete(CComBSTR::CopyOf(params->rgvarg[0].bstrVal).ToUtf8());
        return S_OK;
    }

protected:
    HRESULT QueryInterfaceMore(REFIID iid, void** object) override
    {
        if (iid != DIID_DWebBrowserEvents2)
            return E_NOINTERFACE;
        return QueryInterface(IID_IDispatch, object);
    }
};

TEST_F(BrowserCaptureTest, APageLeftBeforeItsCaptureReadItIsSavedAsShownAndTheNextPageToo)
{
    const std::string first = m_site.Url("/race/first.php");
    const std::string second = m_site.Url("/race/second.php");
    for (const char* which : {"first", "second"}) {
        HttpReply page;
        page.body = std::string("<html><head><title>") + which + "</title></head><body><p>the " + which +
                    " page as it was shown</p></body></html>";
        m_site.Server().Handle(std::string("/race/") + which + ".php", page);
    }
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->show();
    ASSERT_EQ(m_window->HelperCount(), 1u);
    int finished = 0;
    QObject::connect(m_window->View(), &QWebEngineView::loadFinished, [&](bool) { ++finished; });

    // The history stops answering the moment the first page's capture has
    // started: it cannot connect and read the window's document until the
    // window has gone on to the second page.
    const pid_t server = ServerPid();
    ASSERT_GT(server, 0);
    std::atomic<bool> stopped{false};
    std::atomic<bool> resumed{false};
    auto resume = [&] {
        if (stopped && !resumed.exchange(true))
            ::kill(server, SIGCONT);
    };
    std::thread watchdog;
    auto hook = ComPtr<CPageCompleteHook>(new CPageCompleteHook());
    hook->onComplete = [&](const std::string& url) {
        if (url != first || stopped)
            return;
        ASSERT_EQ(::kill(server, SIGSTOP), 0);
        stopped = true;
        // Whatever the window does meanwhile, the history answers again.
        watchdog = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2500));
            resume();
        });
    };
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    DWORD cookie = 0;
    ASSERT_EQ(m_window->BrowserObject()->QueryInterface(IConnectionPointContainer::Iid, container.PutVoid()),
              S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point.GetAddressOf()), S_OK);
    ASSERT_EQ(point->Advise(hook->GetUnknown(), &cookie), S_OK);
    struct Cleanup {
        std::function<void()> run;
        ~Cleanup() { run(); }
    } cleanup{[&] {
        resume();
        if (watchdog.joinable())
            watchdog.join();
        point->Unadvise(cookie);
    }};

    int before = m_loads;
    m_window->NavigateTo(QString::fromStdString(first));
    ASSERT_TRUE(WaitUntil([&] { return m_loads > before; }, 20000));
    ASSERT_TRUE(stopped);
    int finishedBefore = finished;
    m_window->NavigateTo(QString::fromStdString(second));
    ASSERT_TRUE(WaitUntil([&] { return finished > finishedBefore; }, 20000));
    Pump(400);  // the second page's snapshot is back
    resume();

    const std::string firstPath = WaitForRecord(first);
    const std::string secondPath = WaitForRecord(second);
    ASSERT_FALSE(firstPath.empty()) << "no record of the page left";
    ASSERT_FALSE(secondPath.empty()) << "no record of the page gone on to";
    const std::string firstCopy = ReadFile(History() + "/" + firstPath);
    const std::string secondCopy = ReadFile(History() + "/" + secondPath);
    EXPECT_NE(firstCopy.find("the first page as it was shown"), std::string::npos) << firstCopy;
    EXPECT_EQ(firstCopy.find("second page"), std::string::npos) << firstCopy;
    EXPECT_NE(secondCopy.find("the second page as it was shown"), std::string::npos) << secondCopy;
}

// Every file below `folder`, by path.
std::set<std::string> FilesBelow(const std::string& folder)
{
    std::set<std::string> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
        files.insert(it->path().string());
    return files;
}

TEST_F(BrowserCaptureTest, PagesLeadingIntoTheHistoryFolderAddNothingThere)
{
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->show();
    const std::string visited = m_site.Url("/site/page.php");
    ASSERT_TRUE(Load(visited));
    const std::string path = WaitForRecord(visited);
    ASSERT_FALSE(path.empty());
    Pump(500);
    const std::string copy = History() + "/" + path;
    const std::string copyUrl = QUrl::fromLocalFile(QString::fromStdString(copy)).toString().toStdString();
    const std::set<std::string> before = FilesBelow(History());
    const std::string copyText = ReadFile(copy);

    // A web page cannot send the window into local files: by a redirect,
    // by its script, by a refresh.
    m_site.Server().Redirect("/into-history", copyUrl);
    HttpReply scripted;
    scripted.body =
        "<html><body><p>away</p><script>location.href = '" + copyUrl + "';</script></body></html>";
    m_site.Server().Handle("/into-history-by-script.php", scripted);
    HttpReply refresh;
    refresh.body = "<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + copyUrl +
                   "\"></head><body><p>away</p></body></html>";
    m_site.Server().Handle("/into-history-by-refresh.php", refresh);
    for (const char* page :
         {"/into-history", "/into-history-by-script.php", "/into-history-by-refresh.php"}) {
        m_window->NavigateTo(QString::fromStdString(m_site.Url(page)));
        Pump(1500);
    }
    // A local page outside the folder can.
    const std::string outside = m_home.Path() + "/outside.html";
    WriteFile(outside, "<html><head><meta http-equiv=\"refresh\" content=\"0; url=" + copyUrl +
                           "\"><title>Outside</title></head><body><p>a local page</p></body></html>");
    m_window->NavigateTo(QString::fromStdString(outside));
    EXPECT_TRUE(WaitUntil([&] { return m_window->View()->url().toLocalFile().toStdString() == copy; }, 10000))
        << m_window->View()->url().toString().toStdString();
    Pump(1500);

    // The pages that tried are visits of their own (the local one left
    // before it finished, so it may have none); the copy is none.
    ULONG count = CountOf(m_history.Get());
    std::vector<std::string> stems;
    for (ULONG i = 0; i < count && count != kNoRecord; ++i) {
        CUrlDateHolder data;
        ASSERT_EQ(m_history->GetData(data.Receive(), i), S_OK);
        const std::string url = BstrToNarrow(data.Url);
        EXPECT_FALSE(url.starts_with("file://" + History())) << "recorded " << url;
        const std::string saved = BstrToNarrow(data.Path);
        stems.push_back(History() + "/" + saved.substr(0, saved.size() - 4));
    }
    EXPECT_GE(count, 3u);
    EXPECT_LE(count, 4u);
    // Nothing was written but those visits' own copies; the copy led to is
    // as it was.
    for (const std::string& file : FilesBelow(History())) {
        if (before.count(file) || file == History() + "/index.hif")
            continue;
        bool owned = false;
        for (const std::string& stem : stems)
            owned = owned || file.starts_with(stem + ".") || file.starts_with(stem + "_files");
        EXPECT_TRUE(owned) << "written: " << file;
    }
    EXPECT_EQ(ReadFile(copy), copyText);
}

TEST_F(BrowserCaptureTest, APageThatKeepsChangingItselfIsSavedAsItStoodAtOneMoment)
{
    // Every task of its script changes the page twenty times; the two
    // counters agree between tasks only.
    HttpReply busy;
    busy.body =
        R"(<html><head><title>Busy</title></head><body><p id="a">0</p><div id="list"></div><p id="b">0</p>
<script>
var n = 0;
function step() {
  ++n;
  document.getElementById('a').textContent = 'first ' + n;
  var item = document.createElement('span');
  item.textContent = 'item ' + n + ' ';
  document.getElementById('list').appendChild(item);
  if (n % 200 == 0)
    document.getElementById('list').innerHTML = '';
  document.getElementById('b').textContent = 'second ' + n;
}
setInterval(function () { for (var i = 0; i < 20; ++i) step(); }, 0);
</script></body></html>)";
    m_site.Server().Handle("/busy.php", busy);
    m_site.Server().Handle("/busy.html", busy);
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->show();
    for (const char* route : {"php", "html"}) {
        SCOPED_TRACE(route);
        const std::string url = m_site.Url(std::string("/busy.") + route);
        ASSERT_TRUE(Load(url));
        const std::string path = WaitForRecord(url);
        ASSERT_FALSE(path.empty()) << "no record of a page that never stands still";
        if (std::string(route) != "php")
            continue;
        const std::string copy = ReadFile(History() + "/" + path);
        auto counter = [&](const std::string& word) {
            std::size_t at = copy.find(">" + word + " ");
            return at == std::string::npos ? -1L : std::stol(copy.substr(at + word.size() + 2));
        };
        EXPECT_GT(counter("first"), 0) << copy.substr(0, 2000);
        EXPECT_EQ(counter("first"), counter("second")) << copy.substr(0, 2000);
    }
}

TEST_F(BrowserCaptureTest, TestSitePagesSavedOnBothRoutesLookLikeTheLivePagesOffline)
{
    FidelitySite site;
    m_window = std::make_unique<CBrowserWindow>();
    m_window->BrowserObject()->onDocumentsReady = [this] { ++m_loads; };
    m_window->resize(1000, 700);
    m_window->show();

    // Signing in sets the session cookie in the window's profile; the
    // members' page then shows its style and pictures.
    ASSERT_TRUE(Load(site.Url("/site/login.html")));
    int before = m_loads;
    m_window->View()->page()->runJavaScript("document.getElementById('go').click()");
    ASSERT_TRUE(WaitUntil([&] { return m_loads > before; }, 20000));
    Pump(800);

    struct Visit {
        std::string url;
        std::string live;
        std::string copy;
    };
    std::vector<Visit> visits;
    for (const char* page : {"members/index", "styled", "script", "frames"}) {
        for (const char* route : {"html", "php"}) {
            const std::string path = std::string("/site/") + page + "." + route;
            const std::string name =
                "site-" + std::string(page == std::string("members/index") ? "members" : page) + "-" + route;
            // The members' page after signing in is the one the form led to.
            if (path != "/site/members/index.html") {
                ASSERT_TRUE(Load(site.Url(path))) << path;
            }
            Pump(700);  // web fonts and the last paint
            SaveScreenshot(m_window->View(), name + "-live");
            visits.push_back(
                {site.Url(path), std::string(WYS_SCREENSHOT_DIR) + "/" + name + "-live.png", name});
        }
    }
    // Every visit recorded under the address its navigation loaded (the
    // script page moves its address bar elsewhere), on its route.
    std::vector<std::string> copies;
    for (Visit& visit : visits) {
        const std::string path = WaitForRecord(visit.url);
        ASSERT_FALSE(path.empty()) << "no record of " << visit.url;
        EXPECT_EQ(path.ends_with(".mht"), visit.url.ends_with(".html")) << visit.url << " saved as " << path;
        copies.push_back(History() + "/" + path);
    }
    EXPECT_EQ(site.RefusedRequests(), 0) << "a download went without the window's session cookie";
    Pump(500);

    // Offline: the copies alone.
    site.Stop();
    const QSize size = m_window->View()->size();
    for (std::size_t i = 0; i < visits.size(); ++i) {
        SCOPED_TRACE(visits[i].url);
        ASSERT_TRUE(Load(copies[i]));
        Pump(700);
        SaveScreenshot(m_window->View(), visits[i].copy + "-saved");
        const std::string saved = std::string(WYS_SCREENSHOT_DIR) + "/" + visits[i].copy + "-saved.png";
        double share = DifferingShareAt2Percent(visits[i].live, saved, size.width() * size.height());
        EXPECT_LT(share, 0.005) << copies[i] << " differs from the live page in " << share * 100
                                << "% of its pixels";
    }
}

}  // namespace
}  // namespace wys::test
