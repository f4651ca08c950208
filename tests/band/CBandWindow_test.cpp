#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QToolButton>
#include <QTreeView>

#include <functional>

#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/band/BandMenus.h"
#include "Wayscribe/band/CBandWindow.h"
#include "Wayscribe/band/CSurfBand.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/tools/dialogs/CSearchDialog.h"
#include "Wayscribe/tools/help/Help.h"
#include "Wayscribe/tools/tabstrip/CTabbedChildWindow.h"
#include "tests/band/BandTesting.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

using AdvancedTree::CTreeItem;
using AdvancedTree::NodeCast;

void ExpandAll(CTreeItem* node)
{
    node->Expand();
    for (CTreeItem* child : node->GetChildren())
        ExpandAll(child);
}

// The text of every page row the tree view has, with the node's Url and
// title, walking the rows as the view does.
struct PageRow {
    std::string text;
    std::string url;
    std::string title;
};

void CollectRows(AdvancedTree::CAdvancedTreeModel* model, const QModelIndex& parent,
                 std::vector<PageRow>& rows)
{
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (auto* page = NodeCast<CUrlTreeItem>(model->NodeOf(index)))
            rows.push_back({model->data(index, Qt::DisplayRole).toString().toStdString(), page->GetData().Url,
                            page->GetData().Title});
        CollectRows(model, index, rows);
    }
}

std::vector<PageRow> PageRows(AdvancedTree::CAdvancedTree* tree)
{
    std::vector<PageRow> rows;
    CollectRows(tree->GetModel(), QModelIndex(), rows);
    return rows;
}

class BandWindowTest : public BandServerTest {
protected:
    void SetUp() override
    {
        BandServerTest::SetUp();
        m_previousTracker = BandMenus::SetMenuTracker([this](QMenu& menu, const QPoint&, QWidget*) {
            m_lastMenu.clear();
            for (QAction* action : menu.actions())
                m_lastMenu.push_back({action->text().toStdString(), action->isChecked()});
            return m_choice;
        });
    }
    void TearDown() override
    {
        BandMenus::SetMenuTracker(std::move(m_previousTracker));
        Help::SetProcessStarter(nullptr);
        Close();
        BandServerTest::TearDown();
    }

    // A month of browsing: April 2024, a few pages a day.
    void AddMonth()
    {
        const char* sites[] = {"news", "mail", "wiki", "shop", "maps", "docs", "blog"};
        for (int day = 1; day <= 30; day += 2)
            for (int i = 0; i < 3; ++i) {
                const std::string site = sites[(day + i) % 7];
                ASSERT_EQ(Visit(LocalTime(2024, 4, day, 8 + 3 * i, 5 * day % 60),
                                "https://" + site + ".example.org/day" + std::to_string(day),
                                "The " + site + " page of day " + std::to_string(day)),
                          S_OK);
            }
    }

    CSurfBand* Open()
    {
        m_band = ComPtr<CSurfBand>(new CSurfBand());
        EXPECT_EQ(m_band->SetSite(m_site->GetUnknown()), S_OK);
        m_band->ShowDW(TRUE);
        m_sideArea->show();
        return m_band.Get();
    }
    void Close()
    {
        if (!m_band)
            return;
        m_band->CloseDW(0);
        m_band->SetSite(nullptr);
        m_band = nullptr;
    }

    QToolButton* Button(int id)
    {
        return m_band->BandWindow()->Toolbar()->findChild<QToolButton*>(QString::number(id));
    }

    // Searches the Urls for `expression` and waits for the results.
    void SearchUrls(const std::string& expression)
    {
        CSearchDialog* search = m_band->BandWindow()->SearchDialog();
        Control<QCheckBox>(search, CSearchDialog::kUrlId)->setChecked(true);
        Control<QCheckBox>(search, CSearchDialog::kTitleId)->setChecked(false);
        Control<QCheckBox>(search, CSearchDialog::kContentId)->setChecked(false);
        Control<QLineEdit>(search, CSearchDialog::kExpressionId)->setText(QString::fromStdString(expression));
        search->SearchNow();
        ASSERT_TRUE(PumpUntil([&] { return !search->IsSearching(); }));
        ExpandAll(search->ResultRoot());
    }

    ComPtr<CSurfBand> m_band;
    BandMenus::MenuTracker m_previousTracker;
    int m_choice = 0;
    std::vector<std::pair<std::string, bool>> m_lastMenu;
};

TEST_F(BandWindowTest, ToolbarReadsOptionsImportExportViewHelp)
{
    Open();
    std::vector<std::string> texts;
    std::vector<std::string> ids;
    QLayout* row = m_band->BandWindow()->Toolbar()->layout();
    for (int i = 0; i < row->count(); ++i) {
        auto* button = qobject_cast<QToolButton*>(row->itemAt(i)->widget());
        if (!button)
            continue;  // the stretch after the buttons
        texts.push_back(button->text().toStdString());
        ids.push_back(button->objectName().toStdString());
        EXPECT_TRUE(button->isEnabled());
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Options", "Import", "Export", "View", "Help"}));
    EXPECT_EQ(ids, (std::vector<std::string>{"32792", "32794", "32778", "32791", "32783"}));
    // Left to right on screen as well, all within a pane of the usual width.
    m_band->BandWindow()->resize(330, 600);
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_LE(Button(32783)->geometry().right(), m_band->BandWindow()->width());
    EXPECT_LT(Button(32792)->x(), Button(32794)->x());
    EXPECT_LT(Button(32778)->x(), Button(32791)->x());
    EXPECT_LT(Button(32791)->x(), Button(32783)->x());
    // At the band's ideal width all five stay within reach, the icon
    // buttons without their texts; a wide pane gives the texts back.
    m_band->BandWindow()->resize(250, 600);
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_LE(Button(32783)->geometry().right(), m_band->BandWindow()->width());
    EXPECT_EQ(Button(32792)->toolButtonStyle(), Qt::ToolButtonIconOnly);
    EXPECT_EQ(Button(32792)->toolTip(), QStringLiteral("Options"));
    EXPECT_EQ(Button(32791)->text(), QStringLiteral("View"));
    m_band->BandWindow()->resize(500, 600);
    PumpFor(std::chrono::milliseconds(20));
    EXPECT_EQ(Button(32792)->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    CTabbedChildWindow* frame = m_band->BandWindow()->Frame();
    EXPECT_EQ(frame->GetTabCtrl()->GetItemCount(), 2);
    EXPECT_EQ(frame->GetView(0), m_band->BandWindow()->HistoryTree());
    EXPECT_EQ(frame->GetView(1), m_band->BandWindow()->SearchDialog());
}

TEST_F(BandWindowTest, ResizingKeepsTheToolbarFullWidthAndTheFrameBelowIt)
{
    Open();
    CBandWindow* window = m_band->BandWindow();
    for (QSize size : {QSize(300, 600), QSize(180, 400), QSize(520, 250)}) {
        window->resize(size);
        QWidget* rebar = window->Toolbar()->parentWidget();
        EXPECT_EQ(rebar->geometry().topLeft(), QPoint(0, 0));
        EXPECT_EQ(rebar->width(), size.width());
        EXPECT_EQ(window->Frame()->geometry(),
                  QRect(0, rebar->height(), size.width(), size.height() - rebar->height()));
    }
}

TEST_F(BandWindowTest, ViewSwitchesEveryPageRowOfBothTreesAndIsKeptForTheNextBand)
{
    AddMonth();
    m_sideArea->resize(340, 640);
    CSurfBand* band = Open();
    EXPECT_EQ(band->IsTitleView(), 1);  // first start: titles
    ExpandAll(band->Root());
    SearchUrls("day1");
    AdvancedTree::CAdvancedTree* history = band->BandWindow()->HistoryTree();
    AdvancedTree::CAdvancedTree* results = band->BandWindow()->SearchDialog()->ResultTree();
    ASSERT_EQ(PageRows(history).size(), 45u);
    ASSERT_GE(PageRows(results).size(), 3u);
    for (AdvancedTree::CAdvancedTree* tree : {history, results})
        for (const PageRow& row : PageRows(tree))
            EXPECT_EQ(row.text, row.title);
    // The picture shows the History tab.
    band->BandWindow()->Frame()->SetActiveTab(0);
    PumpFor(std::chrono::milliseconds(50));
    SaveDialogScreenshot(band->BandWindow(), "band_title_view");

    m_choice = BandMenus::kViewUrl;
    Button(CBandWindow::kViewId)->click();
    // The menu marked the mode in force when it opened.
    EXPECT_EQ(m_lastMenu, (std::vector<std::pair<std::string, bool>>{{"URL", false}, {"Title", true}}));
    EXPECT_EQ(band->IsTitleView(), 0);
    for (AdvancedTree::CAdvancedTree* tree : {history, results})
        for (const PageRow& row : PageRows(tree))
            EXPECT_EQ(row.text, row.url);
    SaveDialogScreenshot(band->BandWindow(), "band_url_view");

    // Dismissing the menu keeps the mode.
    m_choice = 0;
    Button(CBandWindow::kViewId)->click();
    EXPECT_EQ(m_lastMenu, (std::vector<std::pair<std::string, bool>>{{"URL", true}, {"Title", false}}));
    EXPECT_EQ(band->IsTitleView(), 0);

    Close();
    band = Open();
    EXPECT_EQ(band->IsTitleView(), 0);
    ExpandAll(band->Root());
    ASSERT_EQ(PageRows(band->BandWindow()->HistoryTree()).size(), 45u);
    for (const PageRow& row : PageRows(band->BandWindow()->HistoryTree()))
        EXPECT_EQ(row.text, row.url);

    m_choice = BandMenus::kViewTitle;
    Button(CBandWindow::kViewId)->click();
    for (const PageRow& row : PageRows(band->BandWindow()->HistoryTree()))
        EXPECT_EQ(row.text, row.title);
}

TEST_F(BandWindowTest, HelpIndexOpensTheHelpViewerOnItsIndexTopic)
{
    std::vector<std::string> started;
    Help::SetProcessStarter([&](const std::string& commandLine) {
        started.push_back(commandLine);
        return true;
    });
    Open();  // reads the help path of the registry: none here
    Help::SetHelpPath("/opt/help");
    m_choice = BandMenus::kHelpIndex;
    Button(CBandWindow::kHelpId)->click();
    EXPECT_EQ(m_lastMenu.size(), 3u);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0], Help::HelpViewerCommandLine(Help::GetHelpPath(), "About.htm"));
}

}  // namespace
}  // namespace wys::test
