#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <stdexcept>

#include "tests/AdvancedTree/CTreeMirror.h"
#include "tests/AdvancedTree/TestNodes.h"

using namespace AdvancedTree;
using wys::test::CGraveyard;
using wys::test::CKeyNode;
using wys::test::COtherNode;
using wys::test::CRecorder;
using wys::test::CTreeMirror;

namespace {

std::string ChildNames(const CTreeItem& node)
{
    std::string names;
    for (CTreeItem* child : node.GetChildren())
        names += (names.empty() ? "" : " ") + child->GetText();
    return names;
}

// A node whose comparer fails in a way sorting must not swallow.
class CBrokenNode : public CSortedTreeItem, public CTreeItemComparer {
public:
    CBrokenNode() : CSortedTreeItem(AutoDeleteMode::Never) {}
    bool IsLess(const CTreeItem*) const override { throw std::runtime_error("broken"); }
    bool IsEqual(const CTreeItem*) const override { throw std::runtime_error("broken"); }
};

}  // namespace

TEST(CSortedTreeItem, OrdersChildrenByKeyEqualOnesInArrivalOrder)
{
    struct Case {
        std::vector<std::pair<int, const char*>> adds;
        const char* expected;
    } cases[] = {
        {{{3, "A"}, {1, "B"}, {2, "C"}}, "B C A"},
        {{{3, "A"}, {1, "B"}, {2, "C"}, {2, "D"}}, "B C D A"},
        {{{1, "x"}, {1, "y"}, {1, "z"}}, "x y z"},
        {{{5, "e"}, {4, "d"}, {3, "c"}, {2, "b"}, {1, "a"}}, "a b c d e"},
        {{{2, "m"}, {1, "a"}, {3, "z"}, {2, "n"}, {1, "b"}, {3, "y"}}, "a b m n z y"},
        {{{7, "only"}}, "only"},
    };
    for (const Case& c : cases) {
        CGraveyard graveyard;
        {
            CSortedTreeItem root;
            CTreeMirror mirror;
            root.Expand();
            mirror.SetRoot(&root);
            std::string input;
            for (auto [key, name] : c.adds) {
                input += std::to_string(key) + name + " ";
                ASSERT_TRUE(root.AddChild(new CKeyNode(key, name, &graveyard))) << input;
                ASSERT_EQ(mirror.Rows(), CTreeMirror::ExpectedRows(&root)) << input;
            }
            EXPECT_EQ(ChildNames(root), c.expected) << "adds: " << input;
        }
        EXPECT_EQ(graveyard.live, 0) << c.expected;
    }
}

TEST(CSortedTreeItem, ManyKeysKeepAStableOrderThroughAddsAndRemovals)
{
    std::mt19937 random(12345);
    CGraveyard graveyard;
    CSortedTreeItem root;
    std::vector<std::pair<int, std::string>> reference;  // key, name in stable sorted order
    for (int i = 0; i < 600; ++i) {
        if (i % 5 == 4 && !reference.empty()) {
            std::size_t victim = random() % reference.size();
            ASSERT_TRUE(root.RemoveChild(root.GetChild(victim))) << "step " << i;
            reference.erase(reference.begin() + static_cast<std::ptrdiff_t>(victim));
            continue;
        }
        int key = static_cast<int>(random() % 40);
        std::string name = "n" + std::to_string(i);
        root.AddChild(new CKeyNode(key, name, &graveyard));
        auto place = std::upper_bound(reference.begin(), reference.end(), key,
                                      [](int k, const auto& entry) { return k < entry.first; });
        reference.insert(place, {key, name});
        std::string expected;
        for (auto& entry : reference)
            expected += (expected.empty() ? "" : " ") + entry.second;
        ASSERT_EQ(ChildNames(root), expected) << "after adding key " << key << " as " << name;
    }
}

TEST(CSortedTreeItem, SkipsSiblingsOfAnotherClassWhenPlacing)
{
    struct Add {
        bool other;
        int key;
        const char* name;
    };
    struct Case {
        std::vector<Add> adds;
        const char* expected;
    } cases[] = {
        {{{false, 1, "K1"}, {true, 5, "O5"}, {false, 3, "K3"}}, "K1 O5 K3"},
        {{{false, 1, "K1"}, {true, 5, "O5"}, {false, 3, "K3"}, {false, 2, "K2"}}, "K1 O5 K2 K3"},
        {{{false, 1, "K1"}, {true, 5, "O5"}, {false, 3, "K3"}, {true, 0, "O0"}}, "K1 O0 O5 K3"},
        {{{false, 1, "K1"}, {true, 5, "O5"}, {false, 0, "K0"}}, "K0 K1 O5"},
        {{{true, 9, "O9"}, {false, 1, "K1"}, {true, 8, "O8"}}, "O8 O9 K1"},
        // The foreigner keeps its place; the others sort around it.
        {{{true, 9, "O9"}, {false, 4, "K4"}, {false, 2, "K2"}}, "O9 K2 K4"},
    };
    for (const Case& c : cases) {
        CGraveyard graveyard;
        CSortedTreeItem root;
        std::string input;
        for (const Add& a : c.adds) {
            input += std::string(a.name) + " ";
            CTreeItem* node = a.other ? static_cast<CTreeItem*>(new COtherNode(a.key, a.name, &graveyard))
                                      : new CKeyNode(a.key, a.name, &graveyard);
            ASSERT_TRUE(root.AddChild(node)) << input;
        }
        EXPECT_EQ(ChildNames(root), c.expected) << "adds: " << input;
    }
}

TEST(CSortedTreeItem, RefusesWhatCannotBeAChildAndRaisesNothing)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    auto* a = new CKeyNode(1, "A", &graveyard);
    auto* b = new CKeyNode(2, "B", &graveyard);
    ASSERT_TRUE(root.AddChild(a));
    ASSERT_TRUE(a->AddChild(b));
    CTreeItem plain;  // no comparer
    CRecorder recorder;
    recorder.Listen(&root);
    recorder.Listen(a);
    recorder.Listen(b);

    struct Case {
        const char* what;
        CTreeItem* parent;
        CTreeItem* child;
    } cases[] = {
        {"a child already there", &root, a},
        {"a node without comparer", &root, &plain},
        {"a node into itself", a, a},
        {"an ancestor into its descendant", b, a},
        {"the root into a descendant", b, &root},
        {"nothing", &root, nullptr},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.parent->AddChild(c.child)) << c.what;
        EXPECT_TRUE(recorder.log.empty()) << c.what << ": " << recorder.log.front();
        EXPECT_EQ(ChildNames(root), "A") << c.what;
        EXPECT_EQ(ChildNames(*a), "B") << c.what;
        EXPECT_EQ(a->GetParent(), &root) << c.what;
    }
    EXPECT_EQ(plain.GetParent(), nullptr);
    EXPECT_FALSE(root.HasListener(&plain));
    EXPECT_FALSE(plain.HasListener(&root));
}

TEST(CSortedTreeItem, AComparerFailureOtherThanAForeignClassLeavesNothingBehind)
{
    CGraveyard graveyard;
    CSortedTreeItem root;
    root.AddChild(new CKeyNode(1, "A", &graveyard));
    CRecorder recorder;
    recorder.Listen(&root);
    CBrokenNode broken;
    EXPECT_THROW(root.AddChild(&broken), std::runtime_error);
    EXPECT_EQ(ChildNames(root), "A");
    EXPECT_EQ(broken.GetParent(), nullptr);
    EXPECT_FALSE(root.HasListener(&broken));
    EXPECT_FALSE(broken.HasListener(&root));
    EXPECT_TRUE(recorder.log.empty());
}
