#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

#include "tests/AdvancedTree/CTreeMirror.h"
#include "tests/AdvancedTree/TestNodes.h"

using namespace AdvancedTree;
using wys::test::CGraveyard;
using wys::test::CKeyNode;
using wys::test::CRecorder;
using wys::test::CTreeMirror;

namespace {

const char* ModeName(AutoDeleteMode mode)
{
    switch (mode) {
        case AutoDeleteMode::Never:
            return "Never";
        case AutoDeleteMode::WhenDetached:
            return "WhenDetached";
        case AutoDeleteMode::WhenEmpty:
            return "WhenEmpty";
        case AutoDeleteMode::WhenDetachedAndEmpty:
            return "WhenDetachedAndEmpty";
        case AutoDeleteMode::WhenDetachedOrEmpty:
            return "WhenDetachedOrEmpty";
    }
    return "?";
}

bool Buried(const CGraveyard& graveyard, const std::string& name)
{
    return std::find(graveyard.names.begin(), graveyard.names.end(), name) != graveyard.names.end();
}

// Calls back once, on the first OnChildAdded it hears.
class COnAdded : public CTreeItemEvents {
public:
    explicit COnAdded(std::function<void(CTreeItem*, CTreeItem*)> action) : m_action(std::move(action)) {}
    void OnChildAdded(CTreeItem* parent, CTreeItem* child) override
    {
        ++calls;
        if (auto action = std::exchange(m_action, nullptr))
            action(parent, child);
    }
    int calls = 0;

private:
    std::function<void(CTreeItem*, CTreeItem*)> m_action;
};

}  // namespace

TEST(CTreeItem, EachAutoDeleteModeDeletesExactlyWhenItSays)
{
    // A node N under a root, with one child L: N is either detached with L,
    // left empty while attached, or detached after being emptied.
    enum class Event { DetachWithChild, EmptyWhileAttached, DetachWhenEmpty };
    struct Case {
        AutoDeleteMode mode;
        Event event;
        bool deleted;
    } cases[] = {
        {AutoDeleteMode::Never, Event::DetachWithChild, false},
        {AutoDeleteMode::Never, Event::EmptyWhileAttached, false},
        {AutoDeleteMode::Never, Event::DetachWhenEmpty, false},
        {AutoDeleteMode::WhenDetached, Event::DetachWithChild, true},
        {AutoDeleteMode::WhenDetached, Event::EmptyWhileAttached, false},
        {AutoDeleteMode::WhenDetached, Event::DetachWhenEmpty, true},
        {AutoDeleteMode::WhenEmpty, Event::DetachWithChild, false},
        {AutoDeleteMode::WhenEmpty, Event::EmptyWhileAttached, true},
        {AutoDeleteMode::WhenDetachedAndEmpty, Event::DetachWithChild, false},
        {AutoDeleteMode::WhenDetachedAndEmpty, Event::EmptyWhileAttached, false},
        {AutoDeleteMode::WhenDetachedAndEmpty, Event::DetachWhenEmpty, true},
        {AutoDeleteMode::WhenDetachedOrEmpty, Event::DetachWithChild, true},
        {AutoDeleteMode::WhenDetachedOrEmpty, Event::EmptyWhileAttached, true},
        {AutoDeleteMode::WhenDetachedOrEmpty, Event::DetachWhenEmpty, true},
    };
    for (const Case& c : cases) {
        const std::string what =
            std::string(ModeName(c.mode)) + " event " + std::to_string(static_cast<int>(c.event));
        CGraveyard graveyard;
        {
            CSortedTreeItem root;
            auto* node = new CKeyNode(1, "N", &graveyard, c.mode);
            auto* leaf = new CKeyNode(2, "L", &graveyard, AutoDeleteMode::WhenDetached);
            ASSERT_TRUE(root.AddChild(node));
            ASSERT_TRUE(node->AddChild(leaf));
            switch (c.event) {
                case Event::DetachWithChild:
                    root.RemoveChild(node);
                    break;
                case Event::EmptyWhileAttached:
                    node->RemoveChild(leaf);
                    break;
                case Event::DetachWhenEmpty:
                    node->SetAutoDeleteMode(AutoDeleteMode::Never);
                    node->RemoveChild(leaf);
                    node->SetAutoDeleteMode(c.mode);
                    root.RemoveChild(node);
                    break;
            }
            EXPECT_EQ(Buried(graveyard, "N"), c.deleted) << what;
            if (!Buried(graveyard, "N"))
                delete node;  // left to its owner
        }
        EXPECT_EQ(graveyard.live, 0) << what;
    }
}

TEST(CTreeItem, RemovingTheLastLeafDeletesEveryAncestorThatDeletesWhenEmpty)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    root.Expand();
    CTreeMirror mirror;
    mirror.SetRoot(&root);
    auto* keep = new CKeyNode(0, "keep", &graveyard, AutoDeleteMode::Never);
    auto* a = new CKeyNode(1, "A", &graveyard, AutoDeleteMode::WhenDetachedOrEmpty);
    auto* b = new CKeyNode(2, "B", &graveyard, AutoDeleteMode::WhenDetachedOrEmpty);
    auto* c = new CKeyNode(3, "C", &graveyard, AutoDeleteMode::WhenDetached);
    root.AddChild(keep);
    keep->AddChild(a);
    a->AddChild(b);
    b->AddChild(c);
    keep->Expand();
    a->Expand();
    b->Expand();
    EXPECT_EQ(mirror.Rows(), "keep\n  A\n    B\n      C\n");
    CRecorder recorder;
    recorder.Listen(keep);

    EXPECT_TRUE(b->RemoveChild(c));
    // Each parent dies while its child's death is being told, so the
    // destructors finish in nesting order.
    std::sort(graveyard.names.begin(), graveyard.names.end());
    EXPECT_EQ(graveyard.names, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(mirror.Rows(), "keep\n");
    EXPECT_EQ(mirror.Rows(), CTreeMirror::ExpectedRows(&root));
    EXPECT_FALSE(keep->HasChildren());
    EXPECT_EQ(recorder.log, (std::vector<std::string>{}));  // A left by dying, not by removal
    root.RemoveChild(keep);
    delete keep;
}

TEST(CTreeItem, DestroyingARootTakesTheWholeTreeAndEveryRowWithIt)
{
    CGraveyard graveyard;
    CTreeMirror mirror;
    CRecorder recorder;
    auto root = std::make_unique<CSortedTreeItem>();
    root->Expand();
    mirror.SetRoot(root.get());
    recorder.Listen(root.get());
    for (int m = 0; m < 4; ++m) {
        auto* month =
            new CKeyNode(m, "m" + std::to_string(m), &graveyard, AutoDeleteMode::WhenDetachedOrEmpty);
        root->AddChild(month);
        for (int d = 0; d < 5; ++d) {
            auto* day =
                new CKeyNode(d, "d" + std::to_string(d), &graveyard, AutoDeleteMode::WhenDetachedOrEmpty);
            month->AddChild(day);
            for (int p = 0; p < 3; ++p)
                day->AddChild(new CKeyNode(p, "p" + std::to_string(p), &graveyard));
            day->Expand();
        }
        month->Expand();
    }
    ASSERT_EQ(graveyard.live, 4 + 20 + 60);
    ASSERT_EQ(mirror.RowCount(), 84u);

    root.reset();
    EXPECT_EQ(graveyard.live, 0);
    EXPECT_EQ(mirror.RowCount(), 0u);
    EXPECT_EQ(mirror.GetRoot(), nullptr);
    EXPECT_EQ(recorder.log.back(), "destroyed " + std::string("Base tree item node"));
}

TEST(CTreeItem, DeletingAMiddleNodeDetachesItFromBothSides)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    auto* middle = new CKeyNode(1, "M", &graveyard, AutoDeleteMode::Never);
    auto* survivor = new CKeyNode(2, "S", &graveyard, AutoDeleteMode::WhenEmpty);
    root.AddChild(middle);
    middle->AddChild(new CKeyNode(1, "x", &graveyard));
    middle->AddChild(survivor);
    survivor->AddChild(new CKeyNode(1, "y", &graveyard));

    delete middle;
    EXPECT_FALSE(root.HasChildren());
    // x deletes itself when detached; S only when empty, so it is now its own.
    EXPECT_TRUE(Buried(graveyard, "x"));
    EXPECT_EQ(survivor->GetParent(), nullptr);
    EXPECT_EQ(survivor->GetChildCount(), 1u);
    delete survivor;
    EXPECT_EQ(graveyard.live, 0);
}

TEST(CTreeItem, ListenersMayComeAndGoWhileANotificationIsDelivered)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    auto late = std::make_unique<CRecorder>();
    CRecorder added;  // registered during the delivery
    COnAdded remover([&](CTreeItem* parent, CTreeItem*) {
        parent->RemoveListener(late.get());
        late.reset();  // gone for good: calling it now would be a use after free
        parent->RemoveListener(&remover);
        parent->AddListener(&added);
    });
    root.AddListener(&remover);
    late->Listen(&root);

    root.AddChild(new CKeyNode(1, "A", &graveyard));
    EXPECT_EQ(remover.calls, 1);
    EXPECT_TRUE(added.log.empty());  // joined after the change

    root.AddChild(new CKeyNode(2, "B", &graveyard));
    EXPECT_EQ(remover.calls, 1);
    EXPECT_EQ(added.log, (std::vector<std::string>{"added Base tree item node B"}));
    root.RemoveListener(&added);
}

TEST(CTreeItem, ANodeEmptiedDuringItsOwnNotificationDiesAfterIt)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    auto* parent = new CKeyNode(1, "P", &graveyard, AutoDeleteMode::WhenEmpty);
    root.AddChild(parent);
    parent->AddChild(new CKeyNode(1, "first", &graveyard));
    // Undoes every addition at once: P is emptied while it is still notifying.
    COnAdded undo([](CTreeItem* p, CTreeItem*) { p->RemoveAllChildren(); });
    parent->AddListener(&undo);
    CRecorder recorder;
    recorder.Listen(parent);

    EXPECT_TRUE(parent->AddChild(new CKeyNode(2, "second", &graveyard)));
    EXPECT_EQ(graveyard.live, 0);
    EXPECT_FALSE(root.HasChildren());
    EXPECT_EQ(recorder.log.back(), "destroyed P");
}

TEST(CTreeItem, ExpandAndCollapseRaiseOnlyOnChangeAndRowsFollowTheModel)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    root.Expand();
    CTreeMirror mirror;
    mirror.SetRoot(&root);
    auto* a = new CKeyNode(1, "A", &graveyard, AutoDeleteMode::WhenDetached);
    root.AddChild(a);
    a->AddChild(new CKeyNode(5, "a5", &graveyard));
    CRecorder recorder;
    recorder.Listen(a);

    struct Step {
        const char* what;
        std::function<void()> action;
        const char* rows;
        const char* raised;  // last notification, "" for none
    } steps[] = {
        {"collapsed child under collapsed parent gets no row",
         [&] { a->AddChild(new CKeyNode(3, "a3", &graveyard)); }, "A\n", "added A a3"},
        {"expand shows children in order", [&] { a->Expand(); }, "A\n  a3\n  a5\n", "expanded A"},
        {"expanding again raises nothing", [&] { a->Expand(); }, "A\n  a3\n  a5\n", ""},
        {"new child lands in place", [&] { a->AddChild(new CKeyNode(4, "a4", &graveyard)); },
         "A\n  a3\n  a4\n  a5\n", "added A a4"},
        {"first child lands first", [&] { a->AddChild(new CKeyNode(1, "a1", &graveyard)); },
         "A\n  a1\n  a3\n  a4\n  a5\n", "added A a1"},
        {"collapse drops child rows", [&] { a->Collapse(); }, "A\n", "collapsed A"},
        {"collapsing again raises nothing", [&] { a->Collapse(); }, "A\n", ""},
        {"added while collapsed", [&] { a->AddChild(new CKeyNode(2, "a2", &graveyard)); }, "A\n",
         "added A a2"},
        {"expand again shows current order", [&] { a->Expand(); }, "A\n  a1\n  a2\n  a3\n  a4\n  a5\n",
         "expanded A"},
        {"removal drops the row", [&] { a->RemoveChild(a->GetChild(2)); }, "A\n  a1\n  a2\n  a4\n  a5\n",
         "removed A a3"},
    };
    for (auto& step : steps) {
        recorder.log.clear();
        step.action();
        EXPECT_EQ(mirror.Rows(), step.rows) << step.what;
        EXPECT_EQ(mirror.Rows(), CTreeMirror::ExpectedRows(&root)) << step.what;
        EXPECT_EQ(recorder.log.empty() ? "" : recorder.log.back(), step.raised) << step.what;
    }
}

TEST(CTreeItem, MovingAChildTellsBothParentsAndDeletesNeither)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    root.Expand();
    CTreeMirror mirror;
    mirror.SetRoot(&root);
    auto* from = new CKeyNode(1, "from", &graveyard, AutoDeleteMode::WhenDetachedOrEmpty);
    auto* to = new CKeyNode(2, "to", &graveyard, AutoDeleteMode::WhenDetachedOrEmpty);
    auto* moved = new CKeyNode(1, "moved", &graveyard);
    root.AddChild(from);
    root.AddChild(to);
    from->AddChild(moved);
    to->AddChild(new CKeyNode(2, "there", &graveyard));
    from->Expand();
    to->Expand();
    CRecorder recorder;
    recorder.Listen(from);
    recorder.Listen(to);

    EXPECT_TRUE(to->AddChild(moved));
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"removed from moved", "added to moved"}));
    EXPECT_EQ(moved->GetParent(), to);
    EXPECT_EQ(from->GetChildIndex(moved), from->GetChildCount());
    EXPECT_EQ(to->GetChildIndex(moved), 0u);
    EXPECT_FALSE(Buried(graveyard, "from"));  // moving runs no check on the old parent
    EXPECT_EQ(mirror.Rows(), "from\nto\n  moved\n  there\n");
    EXPECT_EQ(mirror.Rows(), CTreeMirror::ExpectedRows(&root));
}
