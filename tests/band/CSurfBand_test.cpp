#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CUrlRecordList.h"
#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/band/BandSettings.h"
#include "Wayscribe/band/CBandWindow.h"
#include "Wayscribe/band/CSurfBand.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/tools/tabstrip/CDotNetTabCtrl.h"
#include "Wayscribe/tools/tabstrip/CTabbedChildWindow.h"
#include "common/Identifiers.h"
#include "platform/com/ComError.h"
#include "platform/com/Utf.h"
#include "platform/registry/Registry.h"
#include "platform/rpc/Activation.h"
#include "platform/rpc/Apartment.h"
#include "tests/band/BandTesting.h"
#include "tests/support/UrlBaseFake.h"
#include "tests/tools/dialogs/UrlBaseServerThread.h"

namespace wys::test {
namespace {

using AdvancedTree::CTreeItem;
using AdvancedTree::NodeCast;

// The page nodes of the whole tree as "month/day/text", in tree order.
std::vector<std::string> Pages(CTreeItem* root)
{
    std::vector<std::string> pages;
    for (CTreeItem* month : root->GetChildren())
        for (CTreeItem* day : month->GetChildren())
            for (CTreeItem* page : day->GetChildren())
                pages.push_back(month->GetText() + "/" + day->GetText() + "/" + page->GetText());
    return pages;
}

using VisitKeys = std::set<std::pair<std::int64_t, std::string>>;

// Every visit the tree shows: a page's time nodes, or the page itself.
VisitKeys TreeVisits(CTreeItem* root)
{
    VisitKeys visits;
    for (CTreeItem* month : root->GetChildren())
        for (CTreeItem* day : month->GetChildren())
            for (CTreeItem* node : day->GetChildren()) {
                auto* page = NodeCast<CUrlTreeItem>(node);
                if (!page)
                    continue;
                if (!page->HasVisits())
                    visits.emplace(page->GetSingleVisit().Time, page->GetSingleVisit().Url);
                for (CHMSTreeItem* visit : page->GetVisits())
                    visits.emplace(visit->GetTime(), visit->GetUrl());
            }
    return visits;
}

class SurfBand : public BandServerTest {
protected:
    void TearDown() override
    {
        if (m_band)
            m_band->SetSite(nullptr);
        m_band = nullptr;
        BandServerTest::TearDown();
    }

    CSurfBand* Open()
    {
        m_band = ComPtr<CSurfBand>(new CSurfBand());
        EXPECT_EQ(m_band->SetSite(m_site->GetUnknown()), S_OK);
        return m_band.Get();
    }

    ComPtr<CSurfBand> m_band;
};

TEST_F(SurfBand, OpensOnTheLastMonthDayAndPageOfTheHistory)
{
    ASSERT_EQ(Visit(LocalTime(2024, 3, 10, 10), "http://a.example/", "Alpha"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 4, 2, 9), "http://b.example/", "Bravo"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 8), "http://c.example/", "Charlie"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 11), "http://d.example/", "Delta"), S_OK);
    CSurfBand* band = Open();
    ASSERT_NE(band->BandWindow(), nullptr);
    EXPECT_TRUE(m_boxes->Shown().empty());

    EXPECT_EQ(Pages(band->Root()), (std::vector<std::string>{"March/10/Alpha", "April/2/Bravo",
                                                             "April/5/Charlie", "April/5/Delta"}));
    CTreeItem* april = band->Root()->GetLastChild();
    CTreeItem* march = band->Root()->GetChild(0);
    EXPECT_TRUE(april->IsExpanded());
    EXPECT_FALSE(march->IsExpanded());
    CTreeItem* fifth = april->GetLastChild();
    EXPECT_TRUE(fifth->IsExpanded());
    EXPECT_FALSE(april->GetChild(0)->IsExpanded());
    // The rows of the opened branch exist in the tree view.
    auto* model = band->BandWindow()->HistoryTree()->GetModel();
    EXPECT_TRUE(model->HasRow(fifth->GetLastChild()));
    EXPECT_FALSE(model->HasRow(march->GetChild(0)));
}

TEST_F(SurfBand, OpensOnTheLatestVisitAcrossAYearBoundary)
{
    // January holds two years; the latest visit is in the first month of
    // the tree, not under the last month's last day. Times before 1970
    // are visits too.
    ASSERT_EQ(Visit(LocalTime(2023, 1, 5, 10), "http://last-year.example/", "Last January"), S_OK);
    ASSERT_EQ(Visit(-86400 + 3600, "http://before-1970.example/", "Before"), S_OK);
    ASSERT_EQ(Visit(0, "http://epoch.example/", "Epoch"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2023, 12, 20, 9), "http://december.example/", "December"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 1, 5, 9), "http://latest.example/", "Latest"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 1, 5, 9), "http://latest.example/", "Latest"), E_INVALIDARG);
    ASSERT_EQ(Visit(LocalTime(2024, 1, 5, 8), "http://latest.example/", "Latest"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2023, 12, 31, 23), "http://new-years-eve.example/", "Eve"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 1, 3, 12), "http://third.example/", "Third"), S_OK);
    CSurfBand* band = Open();
    ASSERT_NE(band->BandWindow(), nullptr);

    EXPECT_EQ(Pages(band->Root()),
              (std::vector<std::string>{"January/1/Epoch", "January/3/Third", "January/5/Last January",
                                        "January/5/Latest", "December/20/December", "December/31/Before",
                                        "December/31/Eve"}));
    CTreeItem* january = band->Root()->GetChild(0);
    CTreeItem* december = band->Root()->GetLastChild();
    EXPECT_EQ(january->GetChildCount(), 3u) << "one January for both years";
    EXPECT_TRUE(january->IsExpanded());
    EXPECT_FALSE(december->IsExpanded());
    CTreeItem* fifth = january->GetLastChild();
    EXPECT_TRUE(fifth->IsExpanded());
    EXPECT_FALSE(january->GetChild(0)->IsExpanded());
    CTreeItem* latest = fifth->GetLastChild();
    EXPECT_EQ(latest->GetText(), "Latest");
    EXPECT_TRUE(latest->IsExpanded()) << "its two visits show";
    auto* model = band->BandWindow()->HistoryTree()->GetModel();
    EXPECT_TRUE(model->HasRow(latest->GetLastChild()));
    EXPECT_FALSE(model->HasRow(december->GetChild(0)));
}

TEST_F(SurfBand, TreeEqualsTheFinalListWhenAnotherClientChangesItDuringTheFill)
{
    // Enough visits for many windows of the fill, loaded by the server.
    constexpr int kVisits = 12000;
    const std::int64_t start = LocalTime(2024, 1, 1);
    CUrlRecordList list;
    for (int i = 0; i < kVisits; ++i) {
        CUrlRecord record;
        record.Time = start + i * 60;
        record.AttachUrl(NarrowToBstr("http://site.example/" + std::to_string(i % 700)));
        record.AttachPath(NarrowToBstr("pages/" + std::to_string(i) + ".htm"));
        list.Append(std::move(record));
    }
    ASSERT_TRUE(CIndexFile::Write(CIndexFile::PathIn(HistoryFolder()), list));
    constexpr int kAdded = 200;
    for (int i = 0; i < kAdded; ++i)
        WriteFile(HistoryFolder() + "/new/" + std::to_string(i) + ".htm", "<html></html>");
    ASSERT_EQ(Count(), static_cast<ULONG>(kVisits));

    // The other client removes a visit anywhere and adds one, over and over,
    // from before the band is sited until after its fill.
    std::atomic<bool> filled{false};
    std::atomic<int> changesDuringFill{0};
    std::atomic<bool> filling{false};
    std::atomic<bool> stopped{false};
    std::thread other([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            ComPtr<IWYSCURLBase> history = CreateHistory();
            std::mt19937 random(16);
            for (int i = 0; history && i < kAdded && !filled; ++i) {
                ULONG count = 0;
                history->get_DataCount(&count);
                const bool during = filling;
                if (count > 0 && SUCCEEDED(history->RemoveData(random() % count)) && during && filling)
                    ++changesDuringFill;
                _URL_DATE_ visit{start + 86400 * 40 + i,
                                 NarrowToBstr("http://added.example/" + std::to_string(i)),
                                 NarrowToBstr("new/" + std::to_string(i) + ".htm"), nullptr};
                if (SUCCEEDED(history->AddData(visit)) && during && filling)
                    ++changesDuringFill;
                FreeUrlDate(&visit);
            }
        }
        CoUninitialize();
        stopped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    filling = true;
    CSurfBand* band = Open();
    filling = false;
    filled = true;
    // Its last change waits for the band's sink, which this thread serves.
    EXPECT_TRUE(PumpUntil([&] { return stopped.load(); }));
    other.join();
    ASSERT_NE(band->BandWindow(), nullptr);
    EXPECT_GT(changesDuringFill.load(), 0) << "the other client changed nothing while the band filled";

    // The events still on their way reach the tree through Qt's loop.
    const std::vector<std::pair<std::int64_t, std::string>> records = Records();
    const VisitKeys final(records.begin(), records.end());
    EXPECT_TRUE(PumpUntil([&] { return TreeVisits(band->Root()) == final; }, std::chrono::seconds(10)));
    const VisitKeys shown = TreeVisits(band->Root());
    EXPECT_EQ(shown.size(), final.size());
    std::vector<std::pair<std::int64_t, std::string>> missing;
    std::set_difference(final.begin(), final.end(), shown.begin(), shown.end(), std::back_inserter(missing));
    EXPECT_TRUE(missing.empty()) << missing.size() << " visits of the list are not shown, the first at "
                                 << (missing.empty() ? 0 : missing[0].first);
}

TEST_F(SurfBand, VisitsAddedOrExpiredByAnotherClientShowAtOnce)
{
    const std::int64_t now = Now();
    ASSERT_EQ(Visit(now - 3 * 86400, "http://old.example/", "Old"), S_OK);
    ASSERT_EQ(Visit(now - 60, "http://recent.example/", "Recent"), S_OK);
    CSurfBand* band = Open();
    ASSERT_EQ(Pages(band->Root()).size(), 2u);

    const std::string path = "other/new.htm";
    WriteFile(HistoryFolder() + "/" + path, "<html></html>");
    FromAnotherClient([&](IWYSCURLBase* other) {
        _URL_DATE_ record{now, NarrowToBstr("http://new.example/"), NarrowToBstr(path), NarrowToBstr("New")};
        EXPECT_EQ(other->AddData(record), S_OK);
        FreeUrlDate(&record);
    });
    EXPECT_TRUE(PumpUntil([&] { return Pages(band->Root()).size() == 3; }));
    bool shown = false;
    for (const std::string& page : Pages(band->Root()))
        shown = shown || page.ends_with("/New");
    EXPECT_TRUE(shown);

    // Keeping one day of history expires the old visit at once.
    FromAnotherClient([](IWYSCURLBase* other) { EXPECT_EQ(other->put_HistoricalRange(86400), S_OK); });
    EXPECT_TRUE(PumpUntil([&] { return Pages(band->Root()).size() == 2; }));
    for (const std::string& page : Pages(band->Root()))
        EXPECT_EQ(page.find("/Old"), std::string::npos) << page;
    EXPECT_EQ(Count(), 2u);
}

TEST_F(SurfBand, StaysResponsiveWhileAnotherClientImportsALargeHistory)
{
    // A history file of many visits, made from this history and then taken
    // out of it again.
    const int kVisits = 4000;
    const std::int64_t start = LocalTime(2024, 1, 1, 8);
    for (int i = 0; i < kVisits; ++i)
        ASSERT_EQ(Visit(start + i * 600, "http://import.example/" + std::to_string(i), "Imported"), S_OK);
    const std::string file = std::filesystem::path(HistoryFolder()).parent_path().string() + "/large.hef";
    CComBSTR exportPath{std::string_view(file)};
    ASSERT_EQ(History()->Export(exportPath), S_OK);
    ASSERT_EQ(History()->RemoveRange(start, static_cast<LONGLONG>(kVisits) * 600, nullptr), S_OK);
    ASSERT_EQ(Count(), 0u);

    CSurfBand* band = Open();
    ASSERT_NE(band->BandWindow(), nullptr);
    ASSERT_TRUE(Pages(band->Root()).empty());

    // Only Qt's event loop runs on this thread: the band serves its events
    // from it, and a timer shows whether the loop ever stood still.
    std::atomic<bool> finished{false};
    std::atomic<HRESULT> imported{E_FAIL};
    std::thread client([&] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            ComPtr<IWYSCURLBase> other = CreateHistory();
            if (other) {
                CComBSTR path{std::string_view(file)};
                imported = other->Import(path);
            }
        }
        CoUninitialize();
        finished = true;
    });
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, clock.elapsed() - lastTick);
        lastTick = clock.elapsed();
    });
    ticker.start(10);
    while ((!finished || Pages(band->Root()).size() < static_cast<std::size_t>(kVisits)) &&
           clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ticker.stop();
    client.join();

    EXPECT_EQ(imported.load(), S_OK);
    EXPECT_EQ(Pages(band->Root()).size(), static_cast<std::size_t>(kVisits));
    EXPECT_LT(longestGap, 1000) << "the band's thread stood still for " << longestGap << " ms";
    EXPECT_GT(lastTick, 0) << "the timer never ran";
}

TEST_F(SurfBand, AnUnavailableHistoryIsReportedOncePerSiteAndBuildsNoWindow)
{
    // No server is registered for the class.
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(CLSID_WYSCURLBase)).c_str()),
              ERROR_SUCCESS);
    ComPtr<CSurfBand> band(new CSurfBand());
    for (int attempt = 1; attempt <= 2; ++attempt) {
        EXPECT_EQ(band->SetSite(m_site->GetUnknown()), S_OK);
        ASSERT_EQ(m_boxes->Count(), static_cast<std::size_t>(attempt));
        const ShownMessageBox box = m_boxes->Shown().back();
        EXPECT_EQ(box.text, "SB Cannot create TRKOB");
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.type, MB_OK | MB_ICONERROR);
        EXPECT_EQ(box.owner, nullptr);
    }
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(band->GetWindow(&window), S_OK);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(band->UrlBase(), nullptr);
    void* site = nullptr;
    EXPECT_EQ(band->GetSite(IID_IInputObjectSite, &site), E_FAIL);
    EXPECT_THROW(band->GetBaseDirectory(), ComError);
    EXPECT_EQ(band->SetSite(nullptr), S_OK);
}

// A history object that cannot deliver events: it offers no connection
// points.
class CSilentHistory final : public CComObjectRoot<CSilentHistory, UrlBaseFake> {
public:
    HRESULT GetData(_URL_DATE_*, ULONG) override { return E_INVALIDARG; }
    HRESULT get_DataCount(ULONG* count) override
    {
        *count = 0;
        return S_OK;
    }
};

class CSilentHistoryFactory final : public CComObjectRoot<CSilentHistoryFactory, IClassFactory> {
public:
    HRESULT CreateInstance(IUnknown*, REFIID iid, void** object) override
    {
        ComPtr<CSilentHistory> history(new CSilentHistory());
        return history->QueryInterface(iid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

TEST_F(SurfBand, EventsThatCannotBeHookedAreReportedAndTheHistoryLetGo)
{
    ComPtr<CSilentHistoryFactory> factory(new CSilentHistoryFactory());
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_WYSCURLBase, factory->GetUnknown(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    ComPtr<CSurfBand> band(new CSurfBand());
    EXPECT_EQ(band->SetSite(m_site->GetUnknown()), S_OK);
    CoRevokeClassObject(cookie);
    ASSERT_EQ(m_boxes->Count(), 1u);
    EXPECT_EQ(m_boxes->Shown()[0].text, "SB Cannot hook TRKOB");
    EXPECT_EQ(m_boxes->Shown()[0].caption, "Error");
    EXPECT_EQ(m_boxes->Shown()[0].type & MB_ICONMASK, MB_ICONERROR);
    EXPECT_EQ(band->UrlBase(), nullptr);
    EXPECT_EQ(band->BandWindow(), nullptr);
    EXPECT_EQ(band->SetSite(nullptr), S_OK);
}

TEST_F(SurfBand, SitesWithoutAWindowOrNoSiteAtAllLeaveTheBandAsItWas)
{
    ComPtr<CSurfBand> band(new CSurfBand());
    // Never sited: nothing to release, nothing shown.
    EXPECT_EQ(band->SetSite(nullptr), S_OK);
    EXPECT_EQ(band->SetSite(nullptr), S_OK);
    void* site = nullptr;
    EXPECT_EQ(band->GetSite(IID_IUnknown, &site), E_FAIL);
    EXPECT_EQ(site, nullptr);

    // A handle that is no widget of this process is not used as one.
    int notAWindow = 0;
    ComPtr<CTestSite> stray(new CTestSite(&notAWindow, m_browser.Get()));
    EXPECT_EQ(band->SetSite(stray->GetUnknown()), S_OK);
    ComPtr<CTestSite> windowless(new CTestSite(nullptr, m_browser.Get()));
    EXPECT_EQ(band->SetSite(windowless->GetUnknown()), S_OK);
    EXPECT_EQ(band->BandWindow(), nullptr);
    EXPECT_EQ(band->UrlBase(), nullptr);
    EXPECT_TRUE(m_boxes->Shown().empty());
}

TEST_F(SurfBand, InterfaceResults)
{
    CSurfBand* band = Open();
    EXPECT_EQ(band->HasFocusIO(), S_FALSE);
    EXPECT_EQ(band->UIActivateIO(TRUE, nullptr), S_OK);
    EXPECT_EQ(band->TranslateAcceleratorIO(nullptr), S_OK);
    EXPECT_EQ(band->GetWindow(nullptr), E_INVALIDARG);
    HWND window = nullptr;
    ASSERT_EQ(band->GetWindow(&window), S_OK);
    ASSERT_EQ(window, static_cast<QWidget*>(band->BandWindow()));
    EXPECT_EQ(band->BandWindow()->parentWidget(), m_sideArea.get());

    // Hidden until shown; closing hides without destroying.
    EXPECT_FALSE(band->BandWindow()->isVisibleTo(m_sideArea.get()));
    EXPECT_EQ(band->ShowDW(TRUE), S_OK);
    EXPECT_TRUE(band->BandWindow()->isVisibleTo(m_sideArea.get()));
    EXPECT_EQ(band->CloseDW(0), S_OK);
    EXPECT_NE(band->BandWindow(), nullptr);
    EXPECT_FALSE(band->BandWindow()->isVisibleTo(m_sideArea.get()));

    // Only the members the mask asks for are filled.
    DESKBANDINFO info;
    std::memset(&info, 0x5A, sizeof info);
    info.dwMask = DBIM_TITLE;
    EXPECT_EQ(band->GetBandInfo(7, DBIF_VIEWMODE_VERTICAL, &info), S_OK);
    EXPECT_EQ(info.dwMask, DBIM_TITLE);
    EXPECT_EQ(Utf16ToUtf8(info.wszTitle), "Quillonix Trailbook Pro");
    EXPECT_EQ(info.ptMinSize.x, 0x5A5A5A5A);
    EXPECT_EQ(info.dwModeFlags, 0x5A5A5A5Au);
    EXPECT_EQ(band->BandId(), 7u);
    EXPECT_EQ(band->ViewMode(), DBIF_VIEWMODE_VERTICAL);

    std::memset(&info, 0x5A, sizeof info);
    info.dwMask = DBIM_MINSIZE | DBIM_MAXSIZE | DBIM_INTEGRAL | DBIM_ACTUAL | DBIM_MODEFLAGS | DBIM_BKCOLOR;
    EXPECT_EQ(band->GetBandInfo(1, 0, &info), S_OK);
    EXPECT_EQ(info.dwMask & DBIM_BKCOLOR, 0u);
    EXPECT_EQ(info.ptMinSize.x, 25);
    EXPECT_EQ(info.ptMinSize.y, 22);
    EXPECT_EQ(info.ptMaxSize.x, -1);
    EXPECT_EQ(info.ptMaxSize.y, -1);
    EXPECT_EQ(info.ptIntegral.x, 1);
    EXPECT_EQ(info.ptActual.x, 250);
    EXPECT_EQ(info.ptActual.y, 22);
    EXPECT_EQ(info.dwModeFlags, DBIMF_VARIABLEHEIGHT);
    EXPECT_EQ(info.crBkgnd, 0x5A5A5A5Au);
    EXPECT_EQ(static_cast<int>(info.wszTitle[0]), 0x5A5A);

    // The site kept is the input-object site; the browser was found.
    ComPtr<IInputObjectSite> site;
    EXPECT_EQ(band->GetSite(IID_IInputObjectSite, site.PutVoid()), S_OK);
    EXPECT_EQ(band->WebBrowser(), static_cast<IWebBrowser2*>(m_browser.Get()));
    ComPtr<ITypeInfo> classInfo;
    EXPECT_EQ(band->GetClassInfo(classInfo.ReleaseAndGetAddressOf()), S_OK);
}

TEST_F(SurfBand, NavigatesTheHostingBrowserToSavedCopies)
{
    ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 8), "http://c.example/", "Charlie"), S_OK);
    ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 9), "http://d.example/", "Delta"), S_OK);
    CSurfBand* band = Open();
    EXPECT_EQ(band->GetBaseDirectory(), HistoryFolder());
    CTreeItem* page = band->Root()->GetLastChild()->GetLastChild()->GetChild(0);
    ASSERT_TRUE(band->BandWindow()->HistoryTree()->SelectNode(page));
    ASSERT_FALSE(m_browser->Navigated.empty());
    EXPECT_EQ(m_browser->Navigated.back(), HistoryFolder() + "/pages/1.htm");
    EXPECT_TRUE(m_browser->LastWithoutOptions);

    // Unsited, the band keeps its window but has no history folder to read.
    EXPECT_EQ(band->SetSite(nullptr), S_OK);
    EXPECT_NE(band->BandWindow(), nullptr);
    EXPECT_THROW(band->GetBaseDirectory(), ComError);
    band->Navigate("http://x.example/");
    // Selecting another page then opens nothing, and the window lives on.
    CTreeItem* other = band->Root()->GetLastChild()->GetLastChild()->GetChild(1);
    EXPECT_TRUE(band->BandWindow()->HistoryTree()->SelectNode(other));
    EXPECT_EQ(m_browser->Navigated.size(), 1u);
}

struct StoredSetting {
    const char* name;
    DWORD type;
    std::string bytes;
    int titleView;   // IsTitleView after opening
    int currentTab;  // the selected tab after opening
};

std::string Int32Bytes(std::int32_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

TEST_F(SurfBand, StoredSettingsAreTakenOnlyAsFourByteBinaryValues)
{
    const StoredSetting cases[] = {
        {"ItemViewMode", REG_NONE, "", 1, 0},
        {"ItemViewMode", REG_BINARY, Int32Bytes(0), 0, 0},
        {"ItemViewMode", REG_DWORD, Int32Bytes(0), 1, 0},
        {"ItemViewMode", REG_BINARY, std::string(2, '\0'), 1, 0},
        {"ItemViewMode", REG_SZ, std::string("0\0", 2), 1, 0},
        {"CurrentTab", REG_BINARY, Int32Bytes(1), 1, 1},
        {"CurrentTab", REG_DWORD, Int32Bytes(1), 1, 0},
        {"CurrentTab", REG_BINARY, Int32Bytes(5), 1, 0},
        {"CurrentTab", REG_BINARY, Int32Bytes(-1), 1, 0},
    };
    for (const StoredSetting& c : cases) {
        SetUserValue(BandSettings::kSettingsKey, "ItemViewMode", REG_NONE, "");
        SetUserValue(BandSettings::kSettingsKey, "CurrentTab", REG_NONE, "");
        if (c.type != REG_NONE)
            SetUserValue(BandSettings::kSettingsKey, c.name, c.type, c.bytes);
        CSurfBand* band = Open();
        ASSERT_NE(band->BandWindow(), nullptr);
        EXPECT_EQ(band->IsTitleView(), c.titleView)
            << c.name << " type " << c.type << " size " << c.bytes.size();
        EXPECT_EQ(band->BandWindow()->Frame()->GetTabCtrl()->GetCurSel(), c.currentTab)
            << c.name << " type " << c.type << " size " << c.bytes.size();
        m_band->SetSite(nullptr);
        m_band = nullptr;
        // Destroying the window writes both as 4-byte binary values.
        EXPECT_EQ(GetUserValue(BandSettings::kSettingsKey, "ItemViewMode"),
                  std::make_pair(DWORD(REG_BINARY), Int32Bytes(c.titleView)));
        EXPECT_EQ(GetUserValue(BandSettings::kSettingsKey, "CurrentTab"),
                  std::make_pair(DWORD(REG_BINARY), Int32Bytes(c.currentTab)));
    }
}

}  // namespace
}  // namespace wys::test
