#include <gtest/gtest.h>

#include <limits>

#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "tests/AdvancedTree/TestNodes.h"
#include "tests/historymodel/CalendarFixture.h"

using AdvancedTree::CTreeItem;
using AdvancedTree::CTreeItemComparerException;
using wys::test::CalendarTest;
using wys::test::CFakeUrlBase;
using wys::test::FakeRecord;

namespace {

constexpr std::int64_t kUnbreakable = std::numeric_limits<std::int64_t>::max();

// The node at a path of child indexes below `root`.
CTreeItem* NodeAt(CTreeItem* root, std::initializer_list<std::size_t> path)
{
    CTreeItem* node = root;
    for (std::size_t index : path)
        node = node ? node->GetChild(index) : nullptr;
    return node;
}

std::set<std::string> PathsOf(CTreeItem* node)
{
    std::set<std::string> paths;
    if (auto* item = dynamic_cast<CDIInitableItem*>(node))
        item->CollectPaths(paths);
    return paths;
}

}  // namespace

TEST_F(CalendarTest, NodesOpenCollectAndExportWhatTheyStandFor)
{
    const std::int64_t t10 = At(2024, 3, 5, 10), t11 = At(2024, 3, 5, 11), t12 = At(2024, 3, 5, 12);
    m_view.AddItem(Visit(t10, "a"));
    m_view.AddItem(Visit(t11, "a"));
    m_view.AddItem(Visit(t12, "b"));
    CTreeItem* month = NodeAt(m_root.get(), {0});
    CTreeItem* day = NodeAt(m_root.get(), {0, 0});
    CTreeItem* pageA = NodeAt(m_root.get(), {0, 0, 0});
    CTreeItem* visit11 = NodeAt(m_root.get(), {0, 0, 0, 1});
    const std::string base = m_provider.baseDirectory + "/";
    const std::string pathA10 = Visit(t10, "a").Path, pathA11 = Visit(t11, "a").Path;
    const std::string pathB = Visit(t12, "b").Path;

    EXPECT_EQ(month->GetImage(), 0);
    EXPECT_EQ(day->GetImage(), 1);
    EXPECT_EQ(pageA->GetImage(), 2);
    EXPECT_EQ(visit11->GetImage(), 3);

    EXPECT_EQ(PathsOf(month), (std::set<std::string>{pathA10, pathA11, pathB}));
    EXPECT_EQ(PathsOf(pageA), (std::set<std::string>{pathA10, pathA11}));
    EXPECT_EQ(PathsOf(NodeAt(m_root.get(), {0, 0, 1})), (std::set<std::string>{pathB}));

    month->Open();
    day->Open();
    pageA->Open();
    visit11->Open();
    EXPECT_EQ(m_provider.navigations, (std::vector<std::string>{base + pathA10, base + pathA11}));

    struct Expected {
        const char* node;
        CTreeItem* item;
        std::int64_t start, span;
        const char* filter;
    } exports[] = {
        {"month", month, At(2024, 3, 1, 0), 31 * 86400, ""},
        {"day", day, At(2024, 3, 5, 0), 86400, ""},
        {"page", pageA, At(2024, 3, 5, 0), 86400, "a"},
        {"visit", visit11, t11, 1, "a"},
    };
    for (const Expected& e : exports) {
        m_provider.exports.clear();
        dynamic_cast<CDIInitableItem*>(e.item)->Export();
        ASSERT_EQ(m_provider.exports.size(), 1u) << e.node;
        EXPECT_EQ(m_provider.exports[0].start, e.start) << e.node;
        EXPECT_EQ(m_provider.exports[0].span, e.span) << e.node;
        EXPECT_EQ(m_provider.exports[0].urlFilter, e.filter) << e.node;
        EXPECT_EQ(m_provider.exports[0].paths, PathsOf(e.item)) << e.node;
    }

    // Once the first visit has gone, its saved copy has gone with it.
    m_view.AddItem(Visit(t12, "a"));
    m_view.RemoveItem(Visit(t10, "a"));
    m_provider.navigations.clear();
    pageA->Open();
    EXPECT_EQ(PathsOf(pageA), (std::set<std::string>{pathA11, Visit(t12, "a").Path}));
    m_view.RemoveItem(Visit(t12, "a"));
    pageA->Open();
    EXPECT_EQ(PathsOf(pageA), (std::set<std::string>{pathA11}));
    EXPECT_EQ(m_provider.navigations, (std::vector<std::string>{base + pathA11, base + pathA11}));
    EXPECT_EQ(pageA->GetText(), "a");  // text and place stay with the first visit
}

TEST_F(CalendarTest, SavedCopyPathsUseSlashesWhateverTheRecordCarries)
{
    struct Case {
        const char* base;
        const char* path;
        const char* opened;
    } cases[] = {
        {"/h", "2024\\March\\5\\x.htm", "/h/2024/March/5/x.htm"},
        {"/h/", "2024/March/5/x.htm", "/h/2024/March/5/x.htm"},
        {"", "x.htm", "/x.htm"},
    };
    for (const Case& c : cases) {
        Reset();
        m_provider.baseDirectory = c.base;
        m_provider.navigations.clear();
        CDataItem data = Visit(At(2024, 3, 5), "u");
        data.Path = c.path;
        m_view.AddItem(data);
        NodeAt(m_root.get(), {0, 0, 0})->Open();
        EXPECT_EQ(m_provider.navigations, (std::vector<std::string>{c.opened})) << c.base << " + " << c.path;
    }
}

TEST_F(CalendarTest, NodesWithoutProviderOrBrokenDownTimeDoNothingVisible)
{
    CDataItem orphan = Visit(At(2024, 3, 5), "a");
    orphan.Provider = nullptr;
    m_view.AddItem(orphan);
    m_view.AddItem(Visit(kUnbreakable, "b"));
    // Key 0 (month, day, page b) first, then March, its day and page a.
    for (auto path : {std::initializer_list<std::size_t>{0}, {0, 0}, {0, 0, 0}, {1}, {1, 0}, {1, 0, 0}}) {
        auto* node = dynamic_cast<CDIInitableItem*>(NodeAt(m_root.get(), path));
        ASSERT_NE(node, nullptr);
        node->Open();
        node->Export();
    }
    EXPECT_EQ(m_provider.exports.size(), 0u);
    EXPECT_EQ(m_provider.navigations,
              (std::vector<std::string>{m_provider.baseDirectory + "/" + Visit(kUnbreakable, "b").Path}));
    EXPECT_EQ(NodeAt(m_root.get(), {1, 0, 0})->GetText(), "a");
}

TEST_F(CalendarTest, ComparersRefuseOtherClassesAndOrderTheirOwn)
{
    const std::int64_t t = At(2024, 3, 5, 10);
    CMonthTreeItem march, april;
    march.InitFromData(Visit(t, "a"));
    april.InitFromData(Visit(At(2023, 4, 9), "a"));
    CDayTreeItem day5, day9;
    day5.InitFromData(Visit(t, "a"));
    day9.InitFromData(Visit(At(2023, 4, 9), "a"));
    CUrlTreeItem pageA, pageB, pageLater;
    pageA.InitFromData(Visit(t, "a"));
    pageB.InitFromData(Visit(t, "b"));
    pageLater.InitFromData(Visit(t + 1, "a"));
    CHMSTreeItem visitA, visitB;
    visitA.InitFromData(Visit(t, "a"));
    visitB.InitFromData(Visit(t, "b"));

    struct Case {
        const char* what;
        const AdvancedTree::CTreeItemComparer* left;
        const CTreeItem* right;
        bool less, equal;
    } cases[] = {
        {"March < April of an earlier year", &march, &april, true, false},
        {"day 9 > day 5", &day9, &day5, false, false},
        {"same time, Url a < b", &pageA, &pageB, true, false},
        {"earlier time first", &pageLater, &pageB, false, false},
        {"same visit", &visitA, &visitA, false, true},
        {"visit Url order", &visitB, &visitA, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.left->IsLess(c.right), c.less) << c.what;
        EXPECT_EQ(c.left->IsEqual(c.right), c.equal) << c.what;
        EXPECT_EQ(c.left->IsGreater(c.right), !c.less && !c.equal) << c.what;
    }
    const AdvancedTree::CTreeItemComparer* comparers[] = {&march, &day5, &pageA, &visitA};
    const CTreeItem* strangers[] = {&day5, &visitA, &march, &pageA};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_THROW(comparers[i]->IsLess(strangers[i]), CTreeItemComparerException) << i;
        EXPECT_THROW(comparers[i]->IsEqual(nullptr), CTreeItemComparerException) << i;
    }
}

TEST_F(CalendarTest, ForeignNodesAmongTheCalendarAreLeftInPlace)
{
    wys::test::CGraveyard graveyard;
    m_root->AddChild(new wys::test::CKeyNode(1, "foreign", &graveyard));
    m_view.AddItem(Visit(At(2024, 3, 5, 10), "a"));
    m_view.AddItem(Visit(At(2024, 1, 5, 10), "a"));
    // Months of the calendar sort among themselves; the foreigner keeps its place.
    CTreeItem* day = NodeAt(m_root.get(), {2, 0});
    ASSERT_EQ(day->GetParent()->GetText(), "March");
    day->AddChild(new wys::test::CKeyNode(1, "stranger", &graveyard));
    m_view.AddItem(Visit(At(2024, 3, 5, 9), "b"));
    m_view.AddItem(Visit(At(2024, 3, 5, 11), "a"));
    CheckRows("foreign nodes");
    EXPECT_EQ(Model(),
              "foreign\nJanuary\n  5\n    a\nMarch\n  5\n    b\n    a\n      10:00:00\n"
              "      11:00:00\n    stranger\n");

    m_view.RemoveItem(Visit(At(2024, 3, 5, 10), "a"));
    m_view.RemoveItem(Visit(At(2024, 3, 5, 11), "a"));
    m_view.RemoveItem(Visit(At(2024, 3, 5, 9), "b"));
    CheckRows("after removal");
    // The day keeps the node it did not make, and so keeps its month.
    EXPECT_EQ(Model(), "foreign\nJanuary\n  5\n    a\nMarch\n  5\n    stranger\n");
    EXPECT_EQ(m_view.GetMonths().size(), 2u);
    m_root.reset();
    EXPECT_EQ(graveyard.live, 0);
}

TEST_F(CalendarTest, InitialFillReadsEveryRecordThenOpensTheLatestBranch)
{
    auto* base = CreateComObject<CFakeUrlBase>(std::vector<FakeRecord>{
        {At(2024, 3, 5, 10), "a", "a10.htm", "Page A"},
        {At(2024, 3, 5, 10), "broken", "x.htm", "", true},
        {At(2024, 4, 2, 9), "b", "b.htm", ""},
        {At(2024, 3, 5, 11), "a", "a11.htm", "Page A"},
        {At(2024, 4, 7, 8), "c", "c.htm", ""},
        {At(2024, 4, 7, 9), "d", "d.htm", "Dee"},
    });
    m_root->Collapse();
    EXPECT_EQ(m_view.InitialFill(base, &m_provider), S_OK);
    EXPECT_EQ(base->reads, 6);
    EXPECT_EQ(Model(),
              "March\n  5\n    a\n      10:00:00\n      11:00:00\nApril\n  2\n    b\n  7\n    c\n    d\n");
    EXPECT_EQ(m_mirror.Rows(), "March\nApril\n  2\n  7\n    c\n    d\n");
    EXPECT_TRUE(NodeAt(m_root.get(), {1, 1, 1})->IsExpanded());
    EXPECT_FALSE(NodeAt(m_root.get(), {0})->IsExpanded());
    m_provider.titleView = 1;
    EXPECT_EQ(NodeAt(m_root.get(), {1, 1, 1})->GetText(), "Dee");
    EXPECT_EQ(NodeAt(m_root.get(), {1, 1, 0})->GetText(), "c");  // a null title
    NodeAt(m_root.get(), {1, 1, 1})->Open();
    EXPECT_EQ(m_provider.navigations, (std::vector<std::string>{m_provider.baseDirectory + "/d.htm"}));
    base->Release();
}

TEST_F(CalendarTest, InitialFillWithoutRecordsStillOpensTheRoot)
{
    auto* failing = CreateComObject<CFakeUrlBase>(std::vector<FakeRecord>{{At(2024, 3, 5), "a", "a", ""}});
    failing->countResult = E_FAIL;
    m_root->Collapse();
    EXPECT_EQ(m_view.InitialFill(failing, &m_provider), E_FAIL);
    EXPECT_EQ(failing->reads, 0);
    EXPECT_EQ(Model(), "");
    EXPECT_TRUE(m_root->IsExpanded());
    EXPECT_EQ(m_view.InitialFill(nullptr, &m_provider), E_POINTER);
    failing->Release();
}
