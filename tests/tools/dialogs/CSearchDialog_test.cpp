#include <gtest/gtest.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include <map>

#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CAdvancedTreeModel.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/historymodel/CQXServiceProvider.h"
#include "Wayscribe/tools/dialogs/CSearchDialog.h"
#include "Wayscribe/tools/dialogs/CSearchSettings.h"
#include "platform/registry/Registry.h"
#include "platform/ui/MessageBox.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

class CProvider final : public CQXServiceProvider {
public:
    void ExportSelection(std::int64_t, std::int64_t, const std::string&,
                         const std::set<std::string>&) override
    {
    }
    std::string GetBaseDirectory() override { return "/history"; }
    void Navigate(const std::string& target) override { navigations.push_back(target); }
    int IsTitleView() override { return 1; }
    std::vector<std::string> navigations;
};

// The rows the tree shows, indented by depth.
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

std::string Binary(std::uint32_t value)
{
    return std::string(reinterpret_cast<const char*>(&value), 4);
}

constexpr std::int64_t kNov25 = 1069718400;  // 2003-11-25 00:00 UTC
// Backtracks for ages over a long run of "a"s that is not at the end.
constexpr const char* kSlowExpression = "(a+)+$";

class SearchPane : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        if (HasFatalFailure())
            return;
        StartServer();
        m_server->Run([](IWYSCURLBase* base) { base->put_HistoricalRange(0); });
    }

    std::unique_ptr<CSearchDialog> Open()
    {
        auto pane = std::make_unique<CSearchDialog>(&m_provider);
        pane->resize(320, 480);
        pane->show();
        return pane;
    }

    void Check(CSearchDialog* pane, bool url, bool title, bool content, const char* expression)
    {
        Control<QCheckBox>(pane, 250)->setChecked(url);
        Control<QCheckBox>(pane, 251)->setChecked(title);
        Control<QCheckBox>(pane, 252)->setChecked(content);
        Control<QLineEdit>(pane, 245)->setText(expression);
    }

    // Presses "Search now" and waits for the controls to come back.
    void SearchToTheEnd(CSearchDialog* pane)
    {
        Control<QPushButton>(pane, 243)->click();
        EXPECT_TRUE(WaitUntil([pane] { return !pane->IsSearching(); }));
    }

    static std::string Results(CSearchDialog* pane) { return Rows(*pane->ResultTree()->GetModel()); }

    // A history of `pages` visits over three days, with `slow` visits at its
    // middle whose pages keep the matcher busy until their budgets end.
    void MakeLargeHistory(int pages, int slow)
    {
        // Ordinary pages end in a few "a"s, which the slow expression matches at once.
        const std::string text =
            "<html><head><title>Page</title></head><body>" + std::string(2000, 'x') + "</body></html>aaa";
        // A slow page backtracks for ever until the budget of its test ends
        // it, some 30 ms (several times that in a sanitizer build) for this
        // one; a run of them keeps the walk busy for a good part of a
        // second, and each is read in a moment.
        const std::string slowText = std::string(128 << 10, 'a') + "c";
        for (int n = 0; n < pages; ++n) {
            const bool isSlow = n >= pages / 2 && n < pages / 2 + slow;
            ASSERT_EQ(m_server->AddVisit(kNov25 + n * 60, "http://site.example/" + std::to_string(n),
                                         "2003/November/p" + std::to_string(n) + ".htm",
                                         "Page " + std::to_string(n), isSlow ? slowText : text),
                      S_OK);
        }
    }

    CProvider m_provider;
};

TEST_F(SearchPane, ControlsStartFromTheRegistry)
{
    const char* key = CSearchSettings::kKey;
    struct Case {
        const char* name;
        std::function<void()> setup;
        bool url, title, content;
        const char* expression;
    };
    const Case cases[] = {
        {"no key", [] {}, false, false, false, ""},
        {"mixed",
         [&] {
             SetUserValue(key, "SearchUrl", REG_BINARY, Binary(0));
             SetUserValue(key, "SearchTitle", REG_DWORD, Binary(0));  // wrong type: checked
             SetUserValue(key, "SearchExpression", REG_EXPAND_SZ, std::string("%HOME%/x\0", 9));
         },
         false, true, true, "%HOME%/x"},
        {"all set",
         [&] {
             SetUserValue(key, "SearchUrl", REG_BINARY, Binary(1));
             SetUserValue(key, "SearchTitle", REG_BINARY, Binary(0));
             SetUserValue(key, "SearchContent", REG_BINARY, Binary(0));
             SetUserValue(key, "SearchExpression", REG_BINARY, "abc");  // not a string: left empty
         },
         true, false, false, ""},
    };
    for (const Case& c : cases) {
        c.setup();
        auto pane = Open();
        EXPECT_EQ(Control<QCheckBox>(pane.get(), 250)->isChecked(), c.url) << c.name;
        EXPECT_EQ(Control<QCheckBox>(pane.get(), 251)->isChecked(), c.title) << c.name;
        EXPECT_EQ(Control<QCheckBox>(pane.get(), 252)->isChecked(), c.content) << c.name;
        EXPECT_EQ(Control<QLineEdit>(pane.get(), 245)->text(), c.expression) << c.name;
        EXPECT_TRUE(Control(pane.get(), 243)->isVisible());
        EXPECT_FALSE(Control(pane.get(), 244)->isEnabled());
        EXPECT_FALSE(Control(pane.get(), 261)->isVisible());
        EXPECT_FALSE(Control(pane.get(), 262)->isVisible());
        EXPECT_FALSE(Control(pane.get(), 249)->isVisible());
        EXPECT_TRUE(Control(pane.get(), 106)->isVisible());
        EXPECT_EQ(Control<QLabel>(pane.get(), 256)->text(), "Search in:");
        EXPECT_EQ(Control<QLabel>(pane.get(), 262)->text(), "Searching...");
        pane.reset();
        SetUserValue(key, "SearchUrl", REG_NONE, "");
        SetUserValue(key, "SearchTitle", REG_NONE, "");
        SetUserValue(key, "SearchContent", REG_NONE, "");
        SetUserValue(key, "SearchExpression", REG_NONE, "");
    }
}

TEST_F(SearchPane, ResizingStretchesTheEditAndTreeAndKeepsTheButtonsAtTheRightEdge)
{
    auto pane = Open();
    RunEventsFor(std::chrono::milliseconds(50));
    const auto geometry = [&](int id) { return Control(pane.get(), id)->geometry(); };
    const int stretched[] = {245, 247, 261, 262, 106};
    const int moved[] = {243, 244, 250, 251, 252};
    std::map<int, QRect> before;
    for (int id : {245, 247, 261, 262, 106, 243, 244, 250, 251, 252, 256})
        before[id] = geometry(id);
    pane->resize(pane->width() + 100, pane->height() + 80);
    RunEventsFor(std::chrono::milliseconds(50));
    for (int id : stretched) {
        EXPECT_EQ(geometry(id).left(), before[id].left()) << id;
        EXPECT_EQ(geometry(id).width(), before[id].width() + 100) << id;
    }
    EXPECT_EQ(geometry(106).height(), before[106].height() + 80);
    for (int id : moved) {
        EXPECT_EQ(geometry(id).left(), before[id].left() + 100) << id;
        EXPECT_EQ(geometry(id).size(), before[id].size()) << id;
    }
    EXPECT_EQ(geometry(256).topLeft(), before[256].topLeft());
    // The pane cannot be made smaller than its controls need.
    pane->resize(10, 10);
    EXPECT_GE(pane->width(), pane->minimumSizeHint().width());
    EXPECT_GE(pane->height(), pane->minimumSizeHint().height());
}

TEST_F(SearchPane, ClosingWritesTheBoxesAndTheExpression)
{
    auto pane = Open();
    Check(pane.get(), true, false, true, "news|weather");
    pane.reset();
    const char* key = CSearchSettings::kKey;
    EXPECT_EQ(GetUserValue(key, "SearchUrl"), std::make_pair(REG_BINARY, Binary(1)));
    EXPECT_EQ(GetUserValue(key, "SearchTitle"), std::make_pair(REG_BINARY, Binary(0)));
    EXPECT_EQ(GetUserValue(key, "SearchContent"), std::make_pair(REG_BINARY, Binary(1)));
    EXPECT_EQ(GetUserValue(key, "SearchExpression"),
              std::make_pair(REG_SZ, std::string("news|weather\0", 13)));
    // And the next pane starts from them.
    pane = Open();
    EXPECT_TRUE(Control<QCheckBox>(pane.get(), 250)->isChecked());
    EXPECT_FALSE(Control<QCheckBox>(pane.get(), 251)->isChecked());
    EXPECT_EQ(Control<QLineEdit>(pane.get(), 245)->text(), "news|weather");
}

TEST_F(SearchPane, WithoutAFieldNothingStartsAndTheUserIsTold)
{
    auto pane = Open();
    Check(pane.get(), false, false, false, "x");
    Control<QPushButton>(pane.get(), 243)->click();
    EXPECT_FALSE(pane->IsSearching());
    ASSERT_EQ(m_boxes->Count(), 1u);
    const ShownMessageBox box = m_boxes->Shown()[0];
    EXPECT_EQ(box.text, "Specify one or more search flags (URL, Title, Content)");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.type, MB_OK);
    EXPECT_EQ(box.owner, static_cast<HWND>(static_cast<QWidget*>(pane.get())));
}

TEST_F(SearchPane, FoundVisitsAreFiledIntoTheirOwnCalendarTree)
{
    ASSERT_EQ(m_server->AddVisit(kNov25 + 36000, "http://news.example/", "2003/November/25/n.htm",
                                 "Morning news", "<p>Rain expected</p>"),
              S_OK);
    ASSERT_EQ(m_server->AddVisit(kNov25 + 86400 + 3600, "http://mail.example/", "2003/November/26/m.htm",
                                 "Inbox", "<p>Meeting about the weather</p>"),
              S_OK);
    ASSERT_EQ(m_server->AddVisit(kNov25 + 86400 + 7200, "http://mail.example/", "2003/November/26/m2.htm",
                                 "Inbox", "<p>Weather report</p>"),
              S_OK);
    ASSERT_EQ(m_server->AddVisit(kNov25 + 86400 + 9000, "http://shop.example/", "2003/November/26/s.htm",
                                 "Shop", "<p>Umbrellas</p>"),
              S_OK);
    auto pane = Open();
    Check(pane.get(), true, true, true, "(weather)|(umbrella)");
    SearchToTheEnd(pane.get());
    pane->ResultTree()->GetTreeView()->expandAll();
    EXPECT_EQ(Results(pane.get()),
              "November\n"
              "  26\n"
              "    Inbox\n"
              "      01:00:00\n"
              "      02:00:00\n"
              "    Shop\n");
    EXPECT_TRUE(Control(pane.get(), 243)->isVisible());
    EXPECT_FALSE(Control(pane.get(), 244)->isEnabled());
    EXPECT_FALSE(Control(pane.get(), 261)->isVisible());
    EXPECT_TRUE(Control(pane.get(), 263)->isVisible());
    EXPECT_EQ(Control<QLabel>(pane.get(), 263)->text(), "3 visits found");
    // A visit found by its page shows the text around the match in its tip.
    auto* shop = pane->ResultRoot()->GetChildren()[0]->GetChildren()[0]->GetChildren()[1];
    EXPECT_EQ(shop->GetToolTipText(), "Shop\nUmbrellas");
    EXPECT_FALSE(SaveDialogScreenshot(pane.get(), "search-pane").isEmpty());

    // The next search starts from an empty tree.
    Check(pane.get(), false, true, false, "NEWS");
    SearchToTheEnd(pane.get());
    pane->ResultTree()->GetTreeView()->expandAll();
    EXPECT_EQ(Results(pane.get()),
              "November\n"
              "  25\n"
              "    Morning news\n");
    // A visit found opens like one of the History tab.
    ASSERT_TRUE(pane->ResultTree()->SelectNode(
        pane->ResultRoot()->GetChildren()[0]->GetChildren()[0]->GetChildren()[0]));
    EXPECT_EQ(m_provider.navigations, std::vector<std::string>{"/history/2003/November/25/n.htm"});
    EXPECT_EQ(Control<QLabel>(pane.get(), 263)->text(), "1 visit found");
    // Found by its title, not its page: the tip is the text alone.
    EXPECT_EQ(pane->ResultRoot()->GetChildren()[0]->GetChildren()[0]->GetChildren()[0]->GetToolTipText(),
              "Morning news");

    Check(pane.get(), true, true, true, "snow");
    SearchToTheEnd(pane.get());
    EXPECT_EQ(Control<QLabel>(pane.get(), 263)->text(), "No visits found");

    // An expression that does not compile ends the search with no results
    // and says why, in words.
    Check(pane.get(), true, true, true, "[]");
    SearchToTheEnd(pane.get());
    EXPECT_EQ(Results(pane.get()), "");
    EXPECT_EQ(m_boxes->Count(), 0u);
    EXPECT_EQ(Control<QLabel>(pane.get(), 263)->text(),
              "The expression cannot be used: a set in \"[]\" holds nothing.");
    EXPECT_FALSE(SaveDialogScreenshot(pane.get(), "search-pane-parse-error").isEmpty());

    // A page whose test runs beyond its budget is left, and counted.
    ASSERT_EQ(m_server->AddVisit(kNov25 + 3 * 86400, "http://slow.example/", "2003/November/28/a.htm", "Slow",
                                 std::string(64, 'a') + "c"),
              S_OK);
    Check(pane.get(), false, false, true, "((a+)+$)|(umbrella)");
    SearchToTheEnd(pane.get());
    EXPECT_EQ(Control<QLabel>(pane.get(), 263)->text(), "1 visit found\n1 page was not searched to the end");
    EXPECT_FALSE(SaveDialogScreenshot(pane.get(), "search-pane-not-to-the-end").isEmpty());
}

TEST_F(SearchPane, StopDuringASearchOfALargeHistoryEndsItWithinAQuarterSecond)
{
    MakeLargeHistory(3000, 20);
    auto pane = Open();
    Check(pane.get(), false, false, true, kSlowExpression);
    Control<QPushButton>(pane.get(), 243)->click();
    ASSERT_TRUE(pane->IsSearching());
    EXPECT_FALSE(Control(pane.get(), 243)->isVisible());
    EXPECT_TRUE(Control(pane.get(), 244)->isEnabled());
    EXPECT_TRUE(Control(pane.get(), 261)->isVisible());
    EXPECT_TRUE(Control(pane.get(), 262)->isVisible());
    // The walk reaches the slow pages in the middle and stays there.
    EXPECT_TRUE(WaitUntil([&] { return Control<QProgressBar>(pane.get(), 261)->value() >= 49; }));
    RunEventsFor(std::chrono::milliseconds(300));
    EXPECT_TRUE(pane->IsSearching());
    const int progress = Control<QProgressBar>(pane.get(), 261)->value();
    EXPECT_GE(progress, 49);
    EXPECT_LE(progress, 51);
    EXPECT_FALSE(SaveDialogScreenshot(pane.get(), "search-pane-searching").isEmpty());

    QElapsedTimer clock;
    clock.start();
    Control<QPushButton>(pane.get(), 244)->click();
    ASSERT_TRUE(WaitUntil([&] { return !pane->IsSearching(); }));
    // The worker ends within a quarter second; the next timer tick, at most
    // one period later, restores the controls.
    EXPECT_LT(clock.elapsed(), 2 * CSearchDialog::kTimerPeriodMs + 50);
    EXPECT_TRUE(Control(pane.get(), 243)->isVisible());
    EXPECT_FALSE(Control(pane.get(), 244)->isEnabled());
    // The slow pages passed before the stop, if any, were not searched to the end.
    EXPECT_TRUE(Control<QLabel>(pane.get(), 263)->text().startsWith("Search stopped: 1480 visits found"))
        << Control<QLabel>(pane.get(), 263)->text().toStdString();
    EXPECT_FALSE(SaveDialogScreenshot(pane.get(), "search-pane-stopped").isEmpty());
    // What was found before the stop stays listed: the newer half of the
    // history, from the last record down to the slow pages.
    std::size_t pages = 0;
    for (auto* month : pane->ResultRoot()->GetChildren())
        for (auto* day : month->GetChildren())
            pages += day->GetChildCount();
    EXPECT_EQ(pages, 1500u - 20u);
}

TEST_F(SearchPane, ClosingThePaneDuringALongMatchEndsTheSearchWithinAQuarterSecond)
{
    MakeLargeHistory(2000, 20);
    auto pane = Open();
    Check(pane.get(), false, false, true, kSlowExpression);
    Control<QPushButton>(pane.get(), 243)->click();
    EXPECT_TRUE(WaitUntil([&] { return Control<QProgressBar>(pane.get(), 261)->value() >= 49; }));
    RunEventsFor(std::chrono::milliseconds(200));
    ASSERT_TRUE(pane->IsSearching());
    QElapsedTimer clock;
    clock.start();
    pane.reset();
    EXPECT_LT(clock.elapsed(), CSearchDialog::kTimerPeriodMs);
    // The settings were written on the way out.
    EXPECT_EQ(GetUserValue(CSearchSettings::kKey, "SearchExpression").second, std::string("(a+)+$\0", 7));
}

}  // namespace
}  // namespace wys::test
