#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QTest>
#include <QTreeView>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "Wayscribe/historymodel/CTreeDataView.h"
#include "Wayscribe/tools/widgets/BandIcons.h"
#include "common/LocalTime.h"
#include "tests/AdvancedTree/CTreeMirror.h"
#include "tests/support/QtTestSupport.h"

namespace {

class CProvider : public CQXServiceProvider {
public:
    void ExportSelection(std::int64_t, std::int64_t, const std::string&,
                         const std::set<std::string>&) override
    {
    }
    std::string GetBaseDirectory() override { return "/home/u/Collected IE History"; }
    void Navigate(const std::string& target) override { navigations.push_back(target); }
    int IsTitleView() override { return titleView; }

    int titleView = 1;
    std::vector<std::string> navigations;
};

std::string Rows(const QAbstractItemModel& model, const QModelIndex& parent = QModelIndex(), int depth = 0)
{
    std::string out;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + index.data().toString().toStdString() +
               "\n";
        out += Rows(model, index, depth + 1);
    }
    return out;
}

// The history calendar in the tree window, as the band shows it: filled
// from visits, opened on the latest one, kept in step as visits come and go.
TEST(HistoryTree, ACalendarOfVisitsOpensOnItsLatestVisitAndFollowsChanges)
{
    wys::test::EnsureApplication();
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    CProvider provider;
    auto root = std::make_unique<AdvancedTree::CSortedTreeItem>();
    root->Expand();
    CTreeDataView view;
    view.SetRoot(root.get());
    AdvancedTree::CAdvancedTree tree;
    QAbstractItemModelTester tester(tree.GetModel(), QAbstractItemModelTester::FailureReportingMode::Warning);
    wys::test::CQtMessageCatcher catcher;
    tree.SetImageList(BandIcons::HistoryTreeImages());
    tree.SetRoot(root.get());

    struct Page {
        int month, day, hour, minute;
        const char* url;
        const char* title;
    };
    const Page visits[] = {
        {2, 27, 9, 15, "https://news.example.org/", "Morning news"},
        {3, 1, 8, 2, "https://mail.example.com/inbox", "Inbox (3)"},
        {3, 1, 13, 40, "https://en.wikipedia.org/wiki/Calendar", "Calendar - Wikipedia"},
        {3, 4, 10, 5, "https://docs.qt.io/qt-6/qtreeview.html", "QTreeView Class | Qt Widgets 6"},
        {3, 4, 10, 48, "https://example.com/recipes/bread", "Sourdough bread"},
        {3, 4, 11, 3, "https://docs.qt.io/qt-6/qtreeview.html", "QTreeView Class | Qt Widgets 6"},
        {3, 4, 16, 27, "https://docs.qt.io/qt-6/qtreeview.html", "QTreeView Class | Qt Widgets 6"},
        {3, 4, 17, 30, "https://weather.example.net/?city=Oslo", ""},
    };
    for (const Page& page : visits) {
        CDataItem data;
        data.Time = wys::ComposeLocalTime(2024, page.month, page.day, page.hour, page.minute, 0);
        data.Url = page.url;
        data.Title = page.title;
        data.Path = "2024/March/" + std::to_string(page.day) + "/" + std::to_string(data.Time) + ".htm";
        data.Provider = &provider;
        view.AddItem(data);
    }
    view.ExpandLatestVisit();
    EXPECT_EQ(Rows(*tree.GetModel()), wys::test::CTreeMirror::ExpectedRows(root.get()));
    EXPECT_EQ(Rows(*tree.GetModel()),
              "February\n"
              "March\n"
              "  1\n"
              "  4\n"
              "    QTreeView Class | Qt Widgets 6\n"
              "    Sourdough bread\n"
              "    https://weather.example.net/?city=Oslo\n");

    // The last page visited several times: open it too, as a user would.
    tree.resize(340, 300);
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    AdvancedTree::CTreeItem* day = root->GetChild(1)->GetChild(1);
    ASSERT_TRUE(tree.SelectNode(day->GetChild(0)));
    EXPECT_EQ(provider.navigations.back(), "/home/u/Collected IE History/2024/March/4/" +
                                               std::to_string(wys::ComposeLocalTime(2024, 3, 4, 10, 5, 0)) +
                                               ".htm");
    EXPECT_TRUE(tree.GetTreeView()->isExpanded(tree.GetModel()->IndexOf(day->GetChild(0))));
    EXPECT_FALSE(wys::test::SaveScreenshot(&tree, "history-tree").isEmpty());

    // URL view: the same rows, asked again, show addresses.
    provider.titleView = 0;
    tree.Invalidate();
    EXPECT_EQ(tree.GetModel()->data(tree.GetModel()->IndexOf(day->GetChild(0))).toString(),
              "https://docs.qt.io/qt-6/qtreeview.html");
    EXPECT_FALSE(wys::test::SaveScreenshot(&tree, "history-tree-urls").isEmpty());

    // A removed visit leaves a single-visit page; removing the month's last
    // visits takes the month with it.
    CDataItem gone;
    gone.Url = "https://docs.qt.io/qt-6/qtreeview.html";
    for (int hour : {11, 16}) {
        gone.Time = wys::ComposeLocalTime(2024, 3, 4, hour, hour == 11 ? 3 : 27, 0);
        view.RemoveItem(gone);
    }
    EXPECT_EQ(Rows(*tree.GetModel()), wys::test::CTreeMirror::ExpectedRows(root.get()));
    gone.Url = "https://news.example.org/";
    gone.Time = wys::ComposeLocalTime(2024, 2, 27, 9, 15, 0);
    view.RemoveItem(gone);
    EXPECT_EQ(root->GetChildCount(), 1u);
    EXPECT_EQ(Rows(*tree.GetModel()), wys::test::CTreeMirror::ExpectedRows(root.get()));
    EXPECT_TRUE(catcher.Messages().isEmpty()) << catcher.Messages().join("\n").toStdString();

    tree.SetRoot(nullptr);
    view.SetRoot(nullptr);
}

}  // namespace
