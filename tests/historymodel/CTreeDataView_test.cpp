#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "tests/historymodel/CalendarFixture.h"

using wys::test::CalendarTest;

namespace {

constexpr std::int64_t kUnbreakable = std::numeric_limits<std::int64_t>::max();

}  // namespace

TEST_F(CalendarTest, FilesAndRemovesVisitsByMonthDayPageAndTime)
{
    const auto mar5 = [](int hour) { return At(2024, 3, 5, hour); };
    struct Op {
        char kind;  // '+' add, '-' remove
        std::int64_t time;
        const char* url;
    };
    struct Case {
        const char* name;
        std::vector<Op> ops;
        const char* model;
    } cases[] = {
        {"first visit of a page", {{'+', mar5(10), "a"}}, "March\n  5\n    a\n"},
        {"second visit gives a time node per visit, in time order",
         {{'+', mar5(11), "a"}, {'+', mar5(10), "a"}},
         "March\n  5\n    a\n      10:00:00\n      11:00:00\n"},
        {"a third visit adds one more",
         {{'+', mar5(10), "a"}, {'+', mar5(11), "a"}, {'+', mar5(12), "a"}},
         "March\n  5\n    a\n      10:00:00\n      11:00:00\n      12:00:00\n"},
        {"the same record twice under time nodes",
         {{'+', mar5(10), "a"}, {'+', mar5(11), "a"}, {'+', mar5(11), "a"}, {'+', mar5(10), "a"}},
         "March\n  5\n    a\n      10:00:00\n      11:00:00\n"},
        {"the same record twice for a single visit",
         {{'+', mar5(10), "a"}, {'+', mar5(10), "a"}},
         "March\n  5\n    a\n"},
        {"removing one of two visits leaves a single visit",
         {{'+', mar5(10), "a"}, {'+', mar5(11), "a"}, {'-', mar5(10), "a"}},
         "March\n  5\n    a\n"},
        {"removing one of three keeps two time nodes",
         {{'+', mar5(10), "a"}, {'+', mar5(11), "a"}, {'+', mar5(12), "a"}, {'-', mar5(11), "a"}},
         "March\n  5\n    a\n      10:00:00\n      12:00:00\n"},
        {"removing the only visit takes day and month", {{'+', mar5(10), "a"}, {'-', mar5(10), "a"}}, ""},
        {"removing a day's last page keeps the month's other days",
         {{'+', mar5(10), "a"}, {'+', At(2024, 3, 6), "b"}, {'-', mar5(10), "a"}},
         "March\n  6\n    b\n"},
        {"removing a month's last visit keeps the other months",
         {{'+', mar5(10), "a"}, {'+', At(2024, 4, 1), "b"}, {'-', At(2024, 4, 1), "b"}},
         "March\n  5\n    a\n"},
        {"pages in order of first visit, then Url",
         {{'+', mar5(10), "b"}, {'+', mar5(11), "a"}, {'+', mar5(10), "c"}, {'+', mar5(12), "b"}},
         "March\n  5\n    b\n      10:00:00\n      12:00:00\n    c\n    a\n"},
        {"months and days in calendar order whatever the arrival",
         {{'+', At(2024, 7, 3), "x"}, {'+', At(2024, 3, 20), "x"}, {'+', At(2024, 3, 4), "x"}},
         "March\n  4\n    x\n  20\n    x\nJuly\n  3\n    x\n"},
        {"March of two years shares one month node",
         {{'+', At(2023, 3, 5, 10), "a"}, {'+', At(2024, 3, 7, 10), "b"}},
         "March\n  5\n    a\n  7\n    b\n"},
        {"the same day of two years shares one day and page",
         {{'+', At(2023, 3, 5, 10), "a"}, {'+', At(2024, 3, 5, 9), "a"}},
         "March\n  5\n    a\n      10:00:00\n      09:00:00\n"},
        {"removal of a visit of another year leaves the one filed",
         {{'+', At(2023, 3, 5, 10), "a"}, {'-', At(2024, 3, 5, 10), "a"}},
         "March\n  5\n    a\n"},
        {"records that match no node change nothing",
         {{'+', mar5(10), "a"},
          {'+', mar5(11), "a"},
          {'+', At(2024, 3, 7), "b"},
          {'-', At(2024, 4, 5), "a"},
          {'-', At(2024, 3, 6), "a"},
          {'-', mar5(10), "z"},
          {'-', mar5(12), "a"},
          {'-', At(2024, 3, 7, 13), "b"}},
         "March\n  5\n    a\n      10:00:00\n      11:00:00\n  7\n    b\n"},
        {"a page stands for its remaining visit once its first is gone",
         {{'+', mar5(10), "a"}, {'+', mar5(11), "a"}, {'-', mar5(10), "a"}, {'+', mar5(12), "a"}},
         "March\n  5\n    a\n      11:00:00\n      12:00:00\n"},
        {"removing the remaining visit removes the page",
         {{'+', mar5(10), "a"}, {'+', mar5(11), "a"}, {'-', mar5(10), "a"}, {'-', mar5(11), "a"}},
         ""},
        {"times that cannot be broken down go under key 0 with empty texts",
         {{'+', mar5(10), "b"}, {'+', kUnbreakable, "a"}},
         "(empty)\n  (empty)\n    a\nMarch\n  5\n    b\n"},
        {"and can be removed again",
         {{'+', mar5(10), "b"}, {'+', kUnbreakable, "a"}, {'-', kUnbreakable, "a"}},
         "March\n  5\n    b\n"},
    };
    for (const Case& c : cases) {
        Reset();
        std::string done;
        for (const Op& op : c.ops) {
            done += std::string(1, op.kind) + op.url + "@" + std::to_string(op.time) + " ";
            if (op.kind == '+')
                m_view.AddItem(Visit(op.time, op.url));
            else
                m_view.RemoveItem(Visit(op.time, op.url));
            CheckRows(std::string(c.name) + " after " + done);
        }
        EXPECT_EQ(Model(), c.model) << c.name << "\nops: " << done;
        EXPECT_EQ(m_view.GetMonths().size(), m_root->GetChildCount()) << c.name;
    }
}

TEST_F(CalendarTest, PageShowsTitleOnlyInTitleViewAndWhenItHasOne)
{
    struct Case {
        int titleView;
        const char* title;
        const char* text;
    } cases[] = {
        {1, "Example page", "Example page"},
        {0, "Example page", "http://example.com/"},
        {1, "", "http://example.com/"},
        {0, "", "http://example.com/"},
    };
    for (const Case& c : cases) {
        Reset();
        m_provider.titleView = 0;
        m_view.AddItem(Visit(At(2024, 3, 5), "http://example.com/", c.title));
        ExpandAll();
        // Asked anew at each paint: switching the mode needs no rebuild.
        m_provider.titleView = c.titleView;
        EXPECT_EQ(Model(), std::string("March\n  5\n    ") + c.text + "\n")
            << "title view " << c.titleView << " title '" << c.title << "'";
    }
}

TEST_F(CalendarTest, DestroyingTheRootTakesTheCalendarWithIt)
{
    for (int month = 1; month <= 12; ++month)
        for (int day = 1; day <= 3; ++day)
            for (int page = 0; page < 4; ++page)
                for (int visit = 0; visit < 2; ++visit)
                    m_view.AddItem(Visit(At(2024, month, day, 9 + visit), "p" + std::to_string(page)));
    ExpandAll();
    ASSERT_EQ(m_view.GetMonths().size(), 12u);
    ASSERT_EQ(m_mirror.RowCount(), 12u * (1 + 3 * (1 + 4 * 3)));

    m_root.reset();
    EXPECT_EQ(m_view.GetRoot(), nullptr);
    EXPECT_TRUE(m_view.GetMonths().empty());
    EXPECT_EQ(m_mirror.RowCount(), 0u);
    m_view.AddItem(Visit(At(2024, 1, 1), "after"));  // no root: nothing happens
}

TEST_F(CalendarTest, ANewRootClearsTheOldOneAndAViewMayGoFirst)
{
    m_view.AddItem(Visit(At(2024, 3, 5), "a"));
    m_view.AddItem(Visit(At(2024, 4, 5), "b"));
    AdvancedTree::CSortedTreeItem other;
    m_view.SetRoot(&other);
    EXPECT_EQ(Model(), "");  // the months deleted themselves
    EXPECT_TRUE(m_view.GetMonths().empty());
    m_view.AddItem(Visit(At(2024, 5, 5), "c"));
    EXPECT_EQ(other.GetChildCount(), 1u);

    {
        CTreeDataView shortLived;
        shortLived.SetRoot(m_root.get());
        shortLived.AddItem(Visit(At(2024, 6, 1), "d"));
        EXPECT_EQ(Model(), "June\n  1\n    d\n");
    }
    // The tree outlives the view that built it, and no longer reaches it.
    m_view.SetRoot(m_root.get());
    m_view.RemoveItem(Visit(At(2024, 6, 1), "d"));  // not one of this view's months
    EXPECT_EQ(Model(), "June\n  1\n    d\n");
    m_root->RemoveAllChildren();
    EXPECT_EQ(Model(), "");
    m_view.SetRoot(nullptr);
    other.RemoveAllChildren();
}
