#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QContextMenuEvent>
#include <QTest>
#include <QTreeView>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/AdvancedTree/CTreeItemComparer.h"
#include "tests/AdvancedTree/CTreeMirror.h"
#include "tests/support/QtTestSupport.h"

using namespace AdvancedTree;
using wys::test::CTreeMirror;

namespace {

// What the nodes were asked to do, in order: "open X", "menu X".
struct CActions {
    std::vector<std::string> log;
    HWND menuOwner = nullptr;
    int menuX = 0;
    int menuY = 0;
};

class CTestNode : public CSortedTreeItem, public CTreeItemComparer {
public:
    CTestNode(int key, std::string name, CActions* actions,
              AutoDeleteMode mode = AutoDeleteMode::WhenDetached)
        : CSortedTreeItem(mode), key(key), name(std::move(name)), m_actions(actions)
    {
    }
    std::string GetText() override
    {
        ++textAsked;
        return name;
    }
    int GetImage() override { return image; }
    void Open() override { m_actions->log.push_back("open " + name); }
    void ShowContextMenu(HWND owner, int x, int y) override
    {
        m_actions->log.push_back("menu " + name);
        m_actions->menuOwner = owner;
        m_actions->menuX = x;
        m_actions->menuY = y;
    }
    bool IsLess(const CTreeItem* other) const override { return key < Of(other).key; }
    bool IsEqual(const CTreeItem* other) const override { return key == Of(other).key; }

    int key;
    std::string name;
    int image = 0;
    int textAsked = 0;

private:
    static const CTestNode& Of(const CTreeItem* other)
    {
        const auto* node = dynamic_cast<const CTestNode*>(other);
        if (!node)
            throw CTreeItemComparerException();
        return *node;
    }
    CActions* m_actions;
};

// The rows of a model in the mirror's format: two blanks per level, text.
void DumpRows(const QAbstractItemModel& model, const QModelIndex& parent, int depth, std::string* out)
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        out->append(static_cast<std::size_t>(depth) * 2, ' ');
        out->append(index.data().toString().toStdString());
        out->push_back('\n');
        DumpRows(model, index, depth + 1, out);
    }
}

std::string Rows(const QAbstractItemModel& model)
{
    std::string out;
    DumpRows(model, QModelIndex(), 0, &out);
    return out;
}

class AdvancedTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wys::test::EnsureApplication();
        m_root = std::make_unique<CSortedTreeItem>();
        m_root->Expand();
        m_tree = std::make_unique<CAdvancedTree>();
        m_tree->resize(300, 400);
        m_tree->SetRoot(m_root.get());
    }
    void TearDown() override
    {
        m_tree.reset();
        m_root.reset();
    }

    CTestNode* Add(CTreeItem* parent, int key, const std::string& name,
                   AutoDeleteMode mode = AutoDeleteMode::WhenDetached)
    {
        auto* node = new CTestNode(key, name, &m_actions, mode);
        EXPECT_TRUE(parent->AddChild(node)) << name;
        return node;
    }
    const CAdvancedTreeModel& Model() const { return *m_tree->GetModel(); }
    QTreeView& View() const { return *m_tree->GetTreeView(); }
    QModelIndex IndexOf(const CTreeItem* node) const { return Model().IndexOf(node); }
    // The middle of a row's rectangle in the view's viewport.
    QPoint CentreOf(const CTreeItem* node) const { return View().visualRect(IndexOf(node)).center(); }

    CActions m_actions;
    std::unique_ptr<CSortedTreeItem> m_root;
    std::unique_ptr<CAdvancedTree> m_tree;
};

TEST_F(AdvancedTreeTest, RowsFollowEveryChangeOfTheModelAndSatisfyTheModelTester)
{
    wys::test::CQtMessageCatcher catcher;
    QAbstractItemModelTester tester(m_tree->GetModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Warning);

    // Random changes over a small key space, so that nodes meet themselves,
    // their siblings and their ancestors; after each, the rows must be those
    // the model calls for, and the window must listen to exactly the nodes
    // that have rows.
    std::mt19937 random(20240611);
    std::vector<CTestNode*> nodes;
    auto pick = [&]() { return nodes[random() % nodes.size()]; };
    CActions dead;
    struct CForget : CTreeItemEvents {
        std::vector<CTestNode*>* nodes;
        void OnItemDestroyed(CTreeItem* item) override { std::erase(*nodes, static_cast<CTestNode*>(item)); }
    } forget;
    forget.nodes = &nodes;

    for (int step = 0; step < 1500; ++step) {
        const int action = static_cast<int>(random() % 8);
        std::string what;
        if (nodes.empty() || action == 0 || action == 1) {
            CTreeItem* parent =
                nodes.empty() || random() % 3 == 0 ? static_cast<CTreeItem*>(m_root.get()) : pick();
            const int key = static_cast<int>(random() % 5);
            auto mode =
                random() % 4 == 0 ? AutoDeleteMode::WhenDetachedOrEmpty : AutoDeleteMode::WhenDetached;
            auto* node = new CTestNode(key, "n" + std::to_string(step), &dead, mode);
            node->AddListener(&forget);
            nodes.push_back(node);
            what = "add " + node->name;
            if (!parent->AddChild(node))
                delete node;
        } else if (action == 2) {
            CTestNode* node = pick();
            what = "remove " + node->name;
            if (CTreeItem* parent = node->GetParent())
                parent->RemoveChild(node);
        } else if (action == 3 || action == 4) {
            CTestNode* node = pick();
            what = "expand " + node->name;
            node->Expand();
        } else if (action == 5) {
            CTestNode* node = pick();
            what = "collapse " + node->name;
            node->Collapse();
        } else if (action == 6) {
            CTestNode* node = pick();
            CTestNode* parent = pick();
            what = "move " + node->name + " under " + parent->name;
            parent->AddChild(node);
        } else {
            CTestNode* node = pick();
            what = "moved " + node->name;
            // As a node whose place changed would announce itself.
            if (CTreeItem* parent = node->GetParent())
                m_tree->GetModel()->OnItemMoved(node, parent);
        }
        ASSERT_EQ(Rows(Model()), CTreeMirror::ExpectedRows(m_root.get())) << "step " << step << ": " << what;
        for (CTestNode* node : nodes) {
            ASSERT_EQ(Model().HasRow(node), node->HasListener(m_tree->GetModel()))
                << "step " << step << ": " << what << ", node " << node->name;
        }
        ASSERT_TRUE(catcher.Messages().isEmpty())
            << "step " << step << ": " << what << ": " << catcher.Messages().join("\n").toStdString();
    }
    m_root->RemoveAllChildren();
    EXPECT_EQ(Model().GetRowTotal(), 0u);
    EXPECT_EQ(Model().rowCount(), 0);
    for (CTestNode* node : std::vector<CTestNode*>(nodes)) {
        node->RemoveListener(&forget);
        delete node;
    }
}

TEST_F(AdvancedTreeTest, ChildrenOfCollapsedNodesHaveNoRowsButTheirParentShowsAnExpandButton)
{
    CTestNode* march = Add(m_root.get(), 3, "March", AutoDeleteMode::Never);
    CTestNode* day = Add(march, 5, "5");
    EXPECT_EQ(Rows(Model()), "March\n");
    EXPECT_FALSE(Model().HasRow(day));
    EXPECT_FALSE(day->HasListener(m_tree->GetModel()));
    EXPECT_TRUE(Model().hasChildren(IndexOf(march)));
    EXPECT_EQ(Model().rowCount(IndexOf(march)), 0);

    // A childless node has no button.
    CTestNode* april = Add(m_root.get(), 4, "April", AutoDeleteMode::Never);
    EXPECT_FALSE(Model().hasChildren(IndexOf(april)));

    // The view's expansion reaches the node, which makes the rows.
    View().expand(IndexOf(march));
    EXPECT_TRUE(march->IsExpanded());
    EXPECT_EQ(Rows(Model()), "March\n  5\nApril\n");
    Add(march, 2, "2");
    Add(march, 9, "9");
    EXPECT_EQ(Rows(Model()), "March\n  2\n  5\n  9\nApril\n");

    // Text is asked anew each time it is wanted.
    day->name = "05";
    EXPECT_EQ(Model().data(IndexOf(day)).toString(), "05");

    // Collapsing in the view collapses the node and deletes the child rows;
    // the rows return in current child order, with children added meanwhile.
    View().collapse(IndexOf(march));
    EXPECT_FALSE(march->IsExpanded());
    EXPECT_EQ(Rows(Model()), "March\nApril\n");
    EXPECT_FALSE(day->HasListener(m_tree->GetModel()));
    Add(march, 7, "7");
    EXPECT_EQ(Model().GetRowTotal(), 2u);
    march->Expand();
    EXPECT_TRUE(View().isExpanded(IndexOf(march)));
    EXPECT_EQ(Rows(Model()), "March\n  2\n  05\n  7\n  9\nApril\n");

    // A stale index yields nothing.
    QModelIndex stale = IndexOf(day);
    march->RemoveChild(day);
    EXPECT_EQ(Model().NodeOf(stale), nullptr);
    EXPECT_FALSE(Model().data(stale).isValid());

    delete april;
    delete march;
}

TEST_F(AdvancedTreeTest, RowsGoWithTheirNodesAndTheWindowLeavesTheNodesItShowed)
{
    CTestNode* month = Add(m_root.get(), 3, "March", AutoDeleteMode::WhenDetachedOrEmpty);
    month->Expand();
    CTestNode* day = Add(month, 5, "5", AutoDeleteMode::WhenDetachedOrEmpty);
    day->Expand();
    CTestNode* page = Add(day, 1, "page");
    EXPECT_EQ(Rows(Model()), "March\n  5\n    page\n");

    // Removing the only leaf empties the day and the month: both delete
    // themselves, and their rows go with them.
    day->RemoveChild(page);
    EXPECT_EQ(Rows(Model()), "");
    EXPECT_EQ(Model().GetRowTotal(), 0u);
    EXPECT_FALSE(m_root->HasChildren());

    // A node that stays (mode Never) keeps its row when emptied.
    CTestNode* kept = Add(m_root.get(), 1, "kept", AutoDeleteMode::Never);
    kept->Expand();
    CTestNode* leaf = Add(kept, 1, "leaf");
    kept->RemoveChild(leaf);
    EXPECT_EQ(Rows(Model()), "kept\n");

    // Destroying the window leaves the nodes alive and unobserved.
    CTestNode* other = Add(kept, 2, "other");
    kept->Collapse();
    kept->Expand();
    const CTreeItemEvents* gone = m_tree->GetModel();
    ASSERT_TRUE(other->HasListener(gone));
    m_tree.reset();
    EXPECT_FALSE(kept->HasListener(gone));
    EXPECT_FALSE(other->HasListener(gone));
    EXPECT_FALSE(m_root->HasListener(gone));
    EXPECT_EQ(kept->GetChildCount(), 1u);
    CAdvancedTree again;
    again.SetRoot(m_root.get());
    EXPECT_EQ(Rows(*again.GetModel()), "kept\n  other\n");
    again.SetRoot(nullptr);
    EXPECT_FALSE(kept->HasListener(again.GetModel()));
    EXPECT_FALSE(m_root->HasListener(again.GetModel()));
    delete kept;
}

TEST_F(AdvancedTreeTest, DestroyingTheRootClearsTheWindow)
{
    auto* root = new CSortedTreeItem(AutoDeleteMode::Never);
    root->Expand();
    m_tree->SetRoot(root);
    Add(root, 1, "a")->Expand();
    Add(root, 2, "b");
    delete root;
    EXPECT_EQ(m_tree->GetRoot(), nullptr);
    EXPECT_EQ(Model().rowCount(), 0);
    EXPECT_EQ(Model().GetRowTotal(), 0u);
}

TEST_F(AdvancedTreeTest, SelectingByMouseOrKeyboardExpandsSingleBranchesAndOpens)
{
    CTestNode* march = Add(m_root.get(), 3, "March", AutoDeleteMode::Never);
    CTestNode* april = Add(m_root.get(), 4, "April", AutoDeleteMode::Never);
    CTestNode* day5 = Add(march, 5, "5");
    Add(day5, 1, "page");
    Add(march, 6, "6");
    Add(april, 1, "1");
    m_tree->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_tree.get()));

    QTest::mouseClick(View().viewport(), Qt::LeftButton, {}, CentreOf(march));
    EXPECT_EQ(m_actions.log, std::vector<std::string>{"open March"});
    EXPECT_EQ(Rows(Model()), "March\n  5\n  6\nApril\n");
    EXPECT_EQ(m_tree->GetSelectedNode(), march);

    // Down to the day: its ancestor stays open.
    QTest::keyClick(&View(), Qt::Key_Down);
    EXPECT_EQ(m_actions.log.back(), "open 5");
    EXPECT_EQ(Rows(Model()), "March\n  5\n    page\n  6\nApril\n");

    // To another month: the old branch closes up to the root.
    QTest::mouseClick(View().viewport(), Qt::LeftButton, {}, CentreOf(april));
    EXPECT_EQ(m_actions.log.back(), "open April");
    EXPECT_FALSE(march->IsExpanded());
    EXPECT_FALSE(day5->IsExpanded());
    EXPECT_EQ(Rows(Model()), "March\nApril\n  1\n");

    // Collapsing the selected node and clicking it again opens it again.
    View().collapse(IndexOf(april));
    EXPECT_FALSE(april->IsExpanded());
    QTest::mouseClick(View().viewport(), Qt::LeftButton, {}, CentreOf(april));
    EXPECT_TRUE(april->IsExpanded());

    // With Ctrl held, the old branch stays open.
    QTest::mouseClick(View().viewport(), Qt::LeftButton, Qt::ControlModifier, CentreOf(march));
    EXPECT_EQ(m_actions.log.back(), "open March");
    EXPECT_TRUE(april->IsExpanded());

    // Selecting programmatically behaves as a click.
    EXPECT_TRUE(m_tree->SelectNode(april));
    EXPECT_EQ(m_actions.log.back(), "open April");
    EXPECT_FALSE(march->IsExpanded());
    EXPECT_FALSE(m_tree->SelectNode(day5));  // no row now

    m_tree->hide();
    m_tree->SetRoot(nullptr);
    delete march;
    delete april;
}

TEST_F(AdvancedTreeTest, ContextMenuGoesToTheNodeUnderTheCursorAndKeepsTheSelection)
{
    CTestNode* first = Add(m_root.get(), 1, "first", AutoDeleteMode::Never);
    CTestNode* second = Add(m_root.get(), 2, "second", AutoDeleteMode::Never);
    m_tree->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_tree.get()));
    m_tree->SelectNode(first);
    m_actions.log.clear();

    const QPoint local = CentreOf(second);
    const QPoint global = View().viewport()->mapToGlobal(local);
    QTest::mousePress(View().viewport(), Qt::RightButton, {}, local);
    QContextMenuEvent request(QContextMenuEvent::Mouse, local, global);
    QApplication::sendEvent(View().viewport(), &request);
    QTest::mouseRelease(View().viewport(), Qt::RightButton, {}, local);

    EXPECT_EQ(m_actions.log, std::vector<std::string>{"menu second"});
    EXPECT_EQ(m_actions.menuOwner, static_cast<QWidget*>(m_tree.get()));
    EXPECT_EQ(m_actions.menuX, global.x());
    EXPECT_EQ(m_actions.menuY, global.y());
    EXPECT_EQ(m_tree->GetSelectedNode(), first);

    // Below the last row nothing is asked.
    const QPoint empty(local.x(), View().viewport()->height() - 2);
    QContextMenuEvent nowhere(QContextMenuEvent::Mouse, empty, View().viewport()->mapToGlobal(empty));
    QApplication::sendEvent(View().viewport(), &nowhere);
    EXPECT_EQ(m_actions.log.size(), 1u);

    m_tree->hide();
    m_tree->SetRoot(nullptr);
    delete first;
    delete second;
}

}  // namespace
