// The helper object in a real headless browser window on the test's thread,
// with the URL base object served from that thread as a registered class:
// capture threads reach both through marshalled pointers, as in a browser.
#include "WYSCbho/CWYSCSaver.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "WYSCHelper/CWYSCURLBase.h"
#include "common/StringConvert.h"
#include "platform/browser/HeadlessBrowser.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "platform/ui/CRecordingMessageBoxPresenter.h"
#include "platform/ui/IMessageBoxPresenter.h"
#include "platform/ui/MessageBox.h"
#include "tests/WYSCbho/CaptureSite.h"
#include "tests/WYSCbho/FakeUrlBase.h"
#include "tests/WYSCbho/SavedPageCheck.h"
#include "tests/support/TempHome.h"

namespace wys::capture {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kVisit = 1069941903;  // 2003-11-27 14:05:03 UTC
const std::string kDay = "2003/November/27";

// Hands out one object to every CreateInstance.
class CSingleObjectClass final : public CComObjectRoot<CSingleObjectClass, IClassFactory> {
public:
    explicit CSingleObjectClass(IUnknown* object) : m_object(object) {}
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** result) override
    {
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return m_object->QueryInterface(iid, result);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    ComPtr<IUnknown> m_object;
};

void Dispatch(std::chrono::milliseconds duration)
{
    auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        DWORD index = 0;
        CoWaitForMultipleHandles(0, 10, 0, nullptr, &index);
    }
}

class SaverTest : public wys::test::TempHomeTest {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        HeadlessBrowserOptions options;
        options.onNavigationEnded = [this](const NavigationOutcome&) { ++m_navigations; };
        ASSERT_EQ(CreateHeadlessBrowser(options, m_browser.ReleaseAndGetAddressOf()), S_OK);
    }
    void TearDown() override
    {
        if (m_saver) {
            m_saver->SetSite(nullptr);
            m_saver = nullptr;
        }
        m_browser = nullptr;
        if (m_classCookie)
            CoRevokeClassObject(m_classCookie);
        m_base = nullptr;
        CoUninitialize();
    }

    void ServeUrlBase()
    {
        CUrlBaseOptions options;
        options.Now = [this] { return m_now + 60; };
        ASSERT_EQ(CWYSCURLBase::Create(IID_IWYSCURLBase, m_base.PutVoid(), options), S_OK);
        ASSERT_EQ(m_base->put_TitledFileNames(VARIANT_FALSE), S_OK);
        CComBSTR folder;
        ASSERT_EQ(m_base->get_BaseDirectory(&folder), S_OK);
        m_history = BstrToNarrowZ(folder);
        Register(m_base.Get());
    }
    void Register(IUnknown* object)
    {
        ComPtr<CSingleObjectClass> factory(new CSingleObjectClass(object));
        ASSERT_EQ(CoRegisterClassObject(CLSID_WYSCURLBase, factory.Get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &m_classCookie),
                  S_OK);
    }
    void Attach()
    {
        m_saver = ComPtr<CWYSCSaver>(new CWYSCSaver([this] { return m_now; }));
        ASSERT_EQ(m_saver->SetSite(m_browser.Get()), S_OK);
    }
    // Loads the page and dispatches until its navigation has ended.
    void Load(const std::string& url)
    {
        int before = m_navigations;
        ASSERT_EQ(m_browser->Navigate(CComBSTR(url), nullptr, nullptr, nullptr, nullptr), S_OK);
        auto end = Clock::now() + 20s;
        while (m_navigations == before && Clock::now() < end)
            Dispatch(10ms);
        ASSERT_GT(m_navigations, before) << url;
    }
    ULONG Count()
    {
        ULONG count = 0;
        EXPECT_EQ(m_base->get_DataCount(&count), S_OK);
        return count;
    }
    // Dispatches until the URL base holds `count` records or `wait` passes.
    bool WaitForRecords(ULONG count, std::chrono::milliseconds wait = 20s)
    {
        auto end = Clock::now() + wait;
        while (Count() < count && Clock::now() < end)
            Dispatch(10ms);
        return Count() >= count;
    }
    std::string RecordPath(ULONG index)
    {
        CUrlDateHolder data;
        EXPECT_EQ(m_base->GetData(data.Receive(), index), S_OK);
        return BstrToNarrow(data.Path) + " | " + BstrToNarrow(data.Title) + " | " + std::to_string(data.Time);
    }

    wys::test::CaptureSite m_site;
    ComPtr<IWebBrowser2> m_browser;
    ComPtr<IWYSCURLBase> m_base;
    ComPtr<CWYSCSaver> m_saver;
    DWORD m_classCookie = 0;
    int m_navigations = 0;
    std::int64_t m_now = kVisit;
    std::string m_history;
};

TEST_F(SaverTest, CompletedPagesAreCapturedOnTheirRoutes)
{
    ServeUrlBase();
    Attach();
    ASSERT_TRUE(m_saver->CollectEnabled());

    Load(m_site.Url("/site/page.html"));
    ASSERT_TRUE(WaitForRecords(1));
    EXPECT_EQ(RecordPath(0), kDay + "/14h 5m 3s.mht | Test: page | " + std::to_string(kVisit));

    m_now = kVisit + 1;
    Load(m_site.Url("/site/page.php"));
    ASSERT_TRUE(WaitForRecords(2));
    EXPECT_EQ(RecordPath(1), kDay + "/14h 5m 4s.htm | Test: page | " + std::to_string(kVisit + 1));
    const std::string files = m_history + "/" + kDay + "/14h 5m 4s_files";
    EXPECT_EQ(wys::test::FolderEntries(files), wys::test::CaptureSite::PageResourceNames());

    // A frameset completes once for the browser as a whole: one capture.
    // Starting it prunes the threads of the two captures that have ended.
    Dispatch(300ms);
    m_now = kVisit + 2;
    Load(m_site.Url("/site/frames.php"));
    EXPECT_EQ(m_saver->ThreadCount(), 1u);
    ASSERT_TRUE(WaitForRecords(3));
    Dispatch(300ms);
    EXPECT_EQ(Count(), 3u);
    EXPECT_EQ(wys::test::FolderEntries(m_history + "/" + kDay + "/14h 5m 5s_files"),
              wys::test::CaptureSite::FramesetNames());
}

// Every saved file below `folder` with its size, for comparing before and
// after (the index file is the URL base's and is saved when it likes).
std::map<std::string, std::uintmax_t> FilesBelow(const std::string& folder)
{
    std::map<std::string, std::uintmax_t> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        // The files directly in the folder are the server's own (its index and
        // caches, written in the background); captures write only below it.
        if (it.depth() == 0 && it->is_regular_file())
            continue;
        files[it->path().string()] = it->is_regular_file() ? it->file_size() : 0;
    }
    return files;
}

TEST_F(SaverTest, TheHistorysOwnSavedCopiesAreNeverCaptured)
{
    ServeUrlBase();
    Attach();
    Load(m_site.Url("/site/page.php"));
    ASSERT_TRUE(WaitForRecords(1));
    Dispatch(300ms);
    const std::string copy = m_history + "/" + kDay + "/14h 5m 3s.htm";
    ASSERT_TRUE(std::filesystem::exists(copy));
    const auto before = FilesBelow(m_history);
    const std::size_t threads = m_saver->ThreadCount();

    // The history folder named with a trailing slash and through a link,
    // the copy opened by path, by file URL, through ".." and through a link.
    const std::string link = m_home.Path() + "/history-link";
    std::filesystem::create_directory_symlink(m_history, link);
    const std::string outside = m_home.Path() + "/elsewhere";
    std::filesystem::create_directories(outside);
    std::filesystem::create_symlink(copy, outside + "/copy.htm");
    for (const std::string& folder : {m_history, m_history + "/", link + "/", m_history + "/2003/.."}) {
        SCOPED_TRACE(folder);
        ASSERT_EQ(m_base->put_BaseDirectory(CComBSTR(folder)), S_OK);
        EXPECT_EQ(Count(), 1u);
        for (const std::string& target :
             {copy, "file://" + copy, "file://localhost" + link + "/" + kDay + "/14h%205m%203s.htm",
              "file://" + m_history + "/2003/../" + kDay + "/14h 5m 3s.htm",
              "file://" + outside + "/copy.htm"}) {
            SCOPED_TRACE(target);
            m_now += 1;
            Load(target);
        }
    }
    // A page that redirects into the folder, to the copy and to the folder
    // itself: the window follows no web page into local files.
    m_site.Server().Redirect("/into-history", "file://" + copy);
    m_site.Server().Redirect("/into-history-folder", "file://" + m_history + "/");
    for (const char* path : {"/into-history", "/into-history-folder"}) {
        m_now += 1;
        Load(m_site.Url(path));
    }
    Dispatch(500ms);
    EXPECT_EQ(m_saver->ThreadCount(), threads);
    EXPECT_EQ(Count(), 1u);
    EXPECT_EQ(FilesBelow(m_history), before);

    // A page outside the folder is still a visit.
    std::filesystem::copy_file(copy, outside + "/page.htm");
    m_now += 1;
    Load("file://" + outside + "/page.htm");
    EXPECT_TRUE(WaitForRecords(2));
}

TEST_F(SaverTest, CollectHistoryFollowsTheSettingWithoutReattaching)
{
    ServeUrlBase();
    ASSERT_EQ(m_base->put_CollectHistory(VARIANT_FALSE), S_OK);
    Attach();
    EXPECT_FALSE(m_saver->CollectEnabled());
    Load(m_site.Url("/site/page.php"));
    Dispatch(500ms);
    EXPECT_EQ(m_saver->ThreadCount(), 0u);
    EXPECT_EQ(Count(), 0u);

    ASSERT_EQ(m_base->put_CollectHistory(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(m_saver->CollectEnabled());
    m_now = kVisit + 1;
    Load(m_site.Url("/site/page.php"));
    ASSERT_TRUE(WaitForRecords(1));

    ASSERT_EQ(m_base->put_CollectHistory(VARIANT_FALSE), S_OK);
    EXPECT_FALSE(m_saver->CollectEnabled());
}

TEST_F(SaverTest, APageCompletedTwiceInOneSecondIsRecordedOnce)
{
    ServeUrlBase();
    Attach();
    // Twice at once: the second capture finds its record refused.
    Load(m_site.Url("/site/page.php"));
    Load(m_site.Url("/site/page.php"));
    ASSERT_TRUE(WaitForRecords(1));
    // Once more after the record: Find stops it before a thread starts.
    std::size_t threads = m_saver->ThreadCount();
    Load(m_site.Url("/site/page.php"));
    Dispatch(1000ms);
    EXPECT_EQ(m_saver->ThreadCount(), threads);
    EXPECT_EQ(Count(), 1u);
}

TEST_F(SaverTest, OnlyKnownSchemesAreCaptured)
{
    ServeUrlBase();
    Attach();
    Load(m_site.Url("/site/page.php"));
    ASSERT_TRUE(WaitForRecords(1));
    const std::size_t threads = m_saver->ThreadCount();
    for (const char* url : {"about:blank", "javascript:void(0)", "res://ieframe.dll/x.htm"}) {
        VARIANT text;
        VariantInit(&text);
        text.vt = VT_BSTR;
        text.bstrVal = SysAllocString(CComBSTR(url).m_str);
        m_saver->OnDocumentComplete(&text);
        VariantClear(&text);
    }
    VARIANT notText;
    VariantInit(&notText);
    notText.vt = VT_I4;
    m_saver->OnDocumentComplete(&notText);
    EXPECT_EQ(m_saver->ThreadCount(), threads);
}

TEST_F(SaverTest, AMissingUrlBaseShowsOneBoxAndCapturesNothing)
{
    auto presenter = std::make_shared<CRecordingMessageBoxPresenter>();
    ScopedMessageBoxPresenter scoped(presenter);
    Attach();
    ASSERT_EQ(presenter->Count(), 1u);
    EXPECT_EQ(presenter->Shown()[0].text, "BHO Cannot create TRKOB");
    EXPECT_EQ(presenter->Shown()[0].caption, "Error");
    EXPECT_EQ(presenter->Shown()[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(presenter->Shown()[0].owner, nullptr);
    EXPECT_FALSE(m_saver->CollectEnabled());
    Load(m_site.Url("/site/right.html"));
    EXPECT_EQ(m_saver->ThreadCount(), 0u);
}

TEST_F(SaverTest, AUrlBaseWithoutEventsShowsTheHookBox)
{
    auto presenter = std::make_shared<CRecordingMessageBoxPresenter>();
    ScopedMessageBoxPresenter scoped(presenter);
    ComPtr<wys::test::CFakeUrlBase> fake(new wys::test::CFakeUrlBase());
    Register(fake->GetUnknown());
    Attach();
    ASSERT_EQ(presenter->Count(), 1u);
    EXPECT_EQ(presenter->Shown()[0].text, "BHO Cannot hook TRKOB");
    EXPECT_FALSE(m_saver->CollectEnabled());
}

TEST_F(SaverTest, ACaptureStillRunningAtDestructionIsStoppedAfterItsGrace)
{
    ServeUrlBase();
    Attach();
    wys::test::HttpReply slow;
    slow.body = "SLOW";
    slow.delay = 30s;
    m_site.Server().Handle("/site/media/intro.swf", slow);
    const long locksBefore = CModuleLock::Count();

    Load(m_site.Url("/site/page.php"));
    Dispatch(300ms);
    ASSERT_EQ(m_saver->ThreadCount(), 1u);
    m_saver->SetSite(nullptr);
    auto start = Clock::now();
    m_saver = nullptr;
    auto waited = Clock::now() - start;
    EXPECT_GE(waited, 4900ms);
    EXPECT_LT(waited, 8000ms);

    // The stopped capture ends by itself soon after, and gives back its lock.
    auto end = Clock::now() + 5s;
    while (CModuleLock::Count() > locksBefore - 1 && Clock::now() < end)
        Dispatch(20ms);
    EXPECT_EQ(CModuleLock::Count(), locksBefore - 1);
    EXPECT_EQ(Count(), 0u);
    EXPECT_TRUE(std::filesystem::exists(m_history + "/" + kDay + "/14h 5m 3s_files/logo.png"));
}

}  // namespace
}  // namespace wys::capture
