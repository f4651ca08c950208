#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "Wayscribe/historymodel/CTreeDataView.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/propertypages/NodePropertySheet.h"
#include "Wayscribe/tools/widgets/CPropertyPage.h"
#include "Wayscribe/tools/widgets/CPropertySheet.h"
#include "common/LocalTime.h"
#include "tests/support/QtTestSupport.h"

using AdvancedTree::CTreeItem;

namespace {

class CProvider : public CQXServiceProvider {
public:
    void ExportSelection(std::int64_t, std::int64_t, const std::string&,
                         const std::set<std::string>&) override
    {
    }
    std::string GetBaseDirectory() override { return "/home/u/Collected IE History"; }
    void Navigate(const std::string&) override {}
    int IsTitleView() override { return 1; }
};

class NodePropertySheetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wys::test::EnsureApplication();
        ::setenv("TZ", "UTC0", 1);
        ::tzset();
        m_root = std::make_unique<AdvancedTree::CSortedTreeItem>();
        m_root->Expand();
        m_view.SetRoot(m_root.get());
    }
    void TearDown() override { m_view.SetRoot(nullptr); }

    static std::int64_t At(int month, int day, int hour, int minute = 0, int second = 0)
    {
        return wys::ComposeLocalTime(1995, month, day, hour, minute, second);
    }
    CDataItem Visit(std::int64_t time, const std::string& url, const std::string& title = "A title")
    {
        CDataItem data;
        data.Time = time;
        data.Url = url;
        data.Path = "1995/March/14/" + std::to_string(time) + ".htm";
        data.Provider = &m_provider;
        data.Title = title;
        return data;
    }
    void Add(const CDataItem& visit) { m_view.AddItem(visit); }

    CTreeItem* Month(std::size_t index = 0) const { return m_root->GetChild(index); }
    CTreeItem* Day(std::size_t index = 0, std::size_t month = 0) const
    {
        return Month(month)->GetChild(index);
    }
    CTreeItem* Page(std::size_t index = 0, std::size_t day = 0) const { return Day(day)->GetChild(index); }

    // Opens the node's sheet as a user would see it and reads one control.
    std::unique_ptr<CPropertySheet> Open(const CTreeItem* node)
    {
        auto sheet = CreateNodePropertySheet(node, nullptr);
        if (sheet)
            sheet->show();
        return sheet;
    }
    static std::string Text(const CPropertySheet& sheet, int id)
    {
        const QString name = QString::number(id);
        if (auto* edit = sheet.findChild<QLineEdit*>(name))
            return edit->text().toStdString();
        if (auto* label = sheet.findChild<QLabel*>(name))
            return label->text().toStdString();
        return "<no control " + std::to_string(id) + ">";
    }

    CProvider m_provider;
    CTreeDataView m_view;
    std::unique_ptr<AdvancedTree::CSortedTreeItem> m_root;
};

TEST_F(NodePropertySheetTest, AVisitShowsItsLongTimeTitleAddressAndFullPath)
{
    Add(Visit(At(3, 14, 9), "http://a.example/", "First <b>visit</b>"));
    Add(Visit(At(3, 14, 12, 41, 29), "http://a.example/", "Again"));
    CTreeItem* visit = Page()->GetChild(1);
    ASSERT_NE(visit, nullptr);

    auto sheet = CreateNodePropertySheet(visit, nullptr);
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->windowTitle(), "Time Properties");
    ASSERT_EQ(sheet->GetPageCount(), 1);
    EXPECT_EQ(sheet->GetPage(0)->GetTitle(), "General");
    EXPECT_EQ(sheet->GetPage(0)->objectName(), "107");
    // No Apply: OK and Cancel only.
    EXPECT_EQ(sheet->GetButtons()->buttons().size(), 2);
    EXPECT_EQ(sheet->GetButtons()->button(QDialogButtonBox::Apply), nullptr);
    // Until the page becomes active the template's texts stand.
    EXPECT_EQ(Text(*sheet, 205), "Visited Date");

    sheet->show();
    EXPECT_EQ(Text(*sheet, 205), "Tuesday, March 14, 1995, 12:41:29");
    EXPECT_EQ(Text(*sheet, 211), "Again");
    EXPECT_EQ(Text(*sheet, 206), "http://a.example/");
    EXPECT_EQ(Text(*sheet, 207),
              "/home/u/Collected IE History/1995/March/14/" + std::to_string(At(3, 14, 12, 41, 29)) + ".htm");
    EXPECT_TRUE(sheet->findChild<QLineEdit*>("211")->isReadOnly());

    // Titles are shown as typed, never as markup.
    auto first = Open(Page()->GetChild(0));
    EXPECT_EQ(first->findChild<QLineEdit*>("211")->text(), "First <b>visit</b>");
}

TEST_F(NodePropertySheetTest, APageCountsItsVisitsAndShowsTheLatest)
{
    // Visited once: one visit, the only one the latest.
    Add(Visit(At(3, 14, 9, 5), "http://once.example/", "Once"));
    auto once = Open(Page(0));
    EXPECT_EQ(once->windowTitle(), "Visit Properties");
    EXPECT_EQ(Text(*once, 206), "http://once.example/");
    EXPECT_EQ(Text(*once, 211), "Once");
    EXPECT_EQ(Text(*once, 209), "Tuesday, March 14, 1995, 09:05:00");
    EXPECT_EQ(Text(*once, 210), "1");

    // Visited three times: three, and the third is the last; title and path
    // from the first.
    Add(Visit(At(3, 14, 10), "http://thrice.example/", "First title"));
    Add(Visit(At(3, 14, 15, 30), "http://thrice.example/", "Third title"));
    Add(Visit(At(3, 14, 11), "http://thrice.example/", "Second title"));
    auto thrice = Open(Page(1));
    EXPECT_EQ(Text(*thrice, 210), "3");
    EXPECT_EQ(Text(*thrice, 209), "Tuesday, March 14, 1995, 15:30:00");
    EXPECT_EQ(Text(*thrice, 211), "First title");
    EXPECT_EQ(Text(*thrice, 207),
              "/home/u/Collected IE History/1995/March/14/" + std::to_string(At(3, 14, 10)) + ".htm");

    // Once the first visit is gone, its saved copy is gone too: the page
    // speaks of the earliest visit left.
    m_view.RemoveItem(Visit(At(3, 14, 10), "http://thrice.example/"));
    auto two = Open(Page(1));
    EXPECT_EQ(Text(*two, 210), "2");
    EXPECT_EQ(Text(*two, 211), "Second title");
    EXPECT_EQ(Text(*two, 207),
              "/home/u/Collected IE History/1995/March/14/" + std::to_string(At(3, 14, 11)) + ".htm");
    m_view.RemoveItem(Visit(At(3, 14, 11), "http://thrice.example/"));
    auto last = Open(Page(1));
    EXPECT_EQ(Text(*last, 210), "1");
    EXPECT_EQ(Text(*last, 209), "Tuesday, March 14, 1995, 15:30:00");
    EXPECT_EQ(Text(*last, 211), "Third title");
}

TEST_F(NodePropertySheetTest, DaysAndMonthsTotalTheirVisitsAndNameThePageFirstVisitedLatest)
{
    // Day 14: A once at 9, B at 10 and 17 (B is revisited after C's first
    // visit), C at 12: C is the page first visited latest.
    Add(Visit(At(3, 14, 9), "http://a.example/"));
    Add(Visit(At(3, 14, 10), "http://b.example/"));
    Add(Visit(At(3, 14, 17), "http://b.example/"));
    Add(Visit(At(3, 14, 12, 0, 7), "http://c.example/"));
    // Day 4 comes first in the month.
    Add(Visit(At(3, 4, 8), "http://d.example/"));

    auto day = Open(Day(1));
    EXPECT_EQ(day->windowTitle(), "Day Properties");
    EXPECT_EQ(Text(*day, 211), "Tuesday, March 14, 1995");
    EXPECT_EQ(Text(*day, 212), "4");
    EXPECT_EQ(Text(*day, 213), "http://c.example/");
    EXPECT_EQ(Text(*day, 214), "12:00:07");
    auto early = Open(Day(0));
    EXPECT_EQ(Text(*early, 211), "Saturday, March 04, 1995");
    EXPECT_EQ(Text(*early, 212), "1");

    auto month = Open(Month());
    EXPECT_EQ(month->windowTitle(), "Month Properties");
    EXPECT_EQ(Text(*month, 216), "March, 1995");
    EXPECT_EQ(Text(*month, 212), "5");
    EXPECT_EQ(Text(*month, 213), "http://c.example/");
    EXPECT_EQ(Text(*month, 214), "12:00:07");
}

TEST_F(NodePropertySheetTest, OnlyHistoryNodesHavePropertiesAndAMissingProviderLeavesAPlainPath)
{
    EXPECT_EQ(CreateNodePropertySheet(m_root.get(), nullptr), nullptr);
    EXPECT_EQ(CreateNodePropertySheet(nullptr, nullptr), nullptr);
    EXPECT_EQ(ShowNodeProperties(m_root.get()), -1);

    CDataItem lone = Visit(At(3, 14, 9), "http://a.example/");
    lone.Provider = nullptr;
    Add(lone);
    auto sheet = Open(Page());
    EXPECT_EQ(Text(*sheet, 207), "/" + lone.Path);
}

TEST_F(NodePropertySheetTest, Screenshots)
{
    Add(Visit(At(3, 14, 9, 12, 5), "http://www.example.org/news/2024/a-rather-long-address-of-a-page.html",
              "News of the day"));
    Add(Visit(At(3, 14, 16, 48, 51), "http://www.example.org/news/2024/a-rather-long-address-of-a-page.html",
              "News of the day"));
    Add(Visit(At(3, 14, 11), "http://example.com/"));
    const std::pair<const CTreeItem*, const char*> nodes[] = {
        {Page()->GetChild(1), "properties-time"},
        {Page(0), "properties-visit"},
        {Day(), "properties-day"},
        {Month(), "properties-month"},
    };
    for (const auto& [node, name] : nodes) {
        auto sheet = Open(node);
        ASSERT_TRUE(sheet) << name;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet.get()));
        EXPECT_FALSE(wys::test::SaveScreenshot(sheet.get(), name).isEmpty()) << name;
    }
}

}  // namespace
