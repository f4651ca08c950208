#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <filesystem>

#include "WYSCHelper/CIndexFile.h"
#include "WYSCHelper/CUrlRecordList.h"
#include "Wayscribe/AdvancedTree/CAdvancedTree.h"
#include "Wayscribe/AdvancedTree/CSortedTreeItem.h"
#include "Wayscribe/AdvancedTree/NodeCast.h"
#include "Wayscribe/band/BandMenus.h"
#include "Wayscribe/band/CBandWindow.h"
#include "Wayscribe/band/CSurfBand.h"
#include "Wayscribe/band/NodeCommands.h"
#include "Wayscribe/historymodel/CDayTreeItem.h"
#include "Wayscribe/historymodel/CHMSTreeItem.h"
#include "Wayscribe/historymodel/CMonthTreeItem.h"
#include "Wayscribe/historymodel/CUrlTreeItem.h"
#include "Wayscribe/tools/dialogs/CExportDialog.h"
#include "Wayscribe/tools/dialogs/CExportPanel.h"
#include "Wayscribe/tools/dialogs/CHistoryFileDialog.h"
#include "tests/band/BandTesting.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

using AdvancedTree::CTreeItem;
using AdvancedTree::NodeCast;
using RecordList = std::vector<std::pair<std::int64_t, std::string>>;

// The items of a menu: texts, "-" for separators.
std::vector<std::string> Items(QMenu& menu)
{
    std::vector<std::string> items;
    for (QAction* action : menu.actions())
        items.push_back(action->isSeparator() ? "-" : action->text().toStdString());
    return items;
}

class NodeCommandTest : public BandServerTest {
public:
    CTreeItem* Month(int index) { return m_band->Root()->GetChild(index); }
    // April the 5th and its pages.
    CTreeItem* Fifth() { return Month(1)->GetChild(0); }
    CUrlTreeItem* PageP() { return NodeCast<CUrlTreeItem>(Fifth()->GetChild(0)); }

protected:
    void SetUp() override
    {
        BandServerTest::SetUp();
        m_previousTracker = BandMenus::SetMenuTracker([this](QMenu& menu, const QPoint&, QWidget*) {
            m_lastMenu = Items(menu);
            m_lastDefault = menu.defaultAction() ? menu.defaultAction()->text().toStdString() : std::string();
            return m_choice;
        });
        NodeCommands::SetProcessStarter([this](const std::string& commandLine) {
            m_started.push_back(commandLine);
            return true;
        });
    }
    void TearDown() override
    {
        BandMenus::SetMenuTracker(std::move(m_previousTracker));
        NodeCommands::SetProcessStarter(nullptr);
        CExportDialog::SetShowHook(nullptr);
        if (m_band)
            m_band->SetSite(nullptr);
        m_band = nullptr;
        BandServerTest::TearDown();
    }

    // Visits on 2024-04-05 (three of one page, one of another), one on
    // 2024-04-06, one in May and one in March.
    void AddHistory()
    {
        ASSERT_EQ(Visit(LocalTime(2024, 3, 31, 23, 59, 59), "http://p.example/", "P"), S_OK);
        ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 8), "http://p.example/", "P"), S_OK);
        ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 9), "http://p.example/", "P"), S_OK);
        ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 9, 0, 1), "http://p.example/", "P"), S_OK);
        ASSERT_EQ(Visit(LocalTime(2024, 4, 5, 9), "http://q.example/", "Q"), S_OK);
        ASSERT_EQ(Visit(LocalTime(2024, 4, 6, 0), "http://p.example/", "P"), S_OK);
        ASSERT_EQ(Visit(LocalTime(2024, 5, 1, 0), "http://q.example/", "Q"), S_OK);
    }

    CSurfBand* Open()
    {
        m_band = ComPtr<CSurfBand>(new CSurfBand());
        EXPECT_EQ(m_band->SetSite(m_site->GetUnknown()), S_OK);
        return m_band.Get();
    }

    // Chooses `command` from the node's context menu, answering the
    // confirmation with `answer` when one is asked.
    void Choose(CTreeItem* node, int command, int answer = IDYES)
    {
        m_choice = command;
        if (command == BandMenus::kRemove)
            m_boxes->PushAnswer(answer);
        node->ShowContextMenu(m_band->BandWindow(), 10, 10);
    }

    // A page counts once, or once per time node under it.
    std::size_t VisitsInTree()
    {
        std::size_t visits = 0;
        for (CTreeItem* month : m_band->Root()->GetChildren())
            for (CTreeItem* day : month->GetChildren())
                for (CTreeItem* page : day->GetChildren())
                    visits += std::max<std::size_t>(1, page->GetChildCount());
        return visits;
    }

    // Waits until the tree has taken the events of a removal.
    void SettleAfterRemoval(std::size_t expectedRecords)
    {
        EXPECT_TRUE(PumpUntil([&] { return Count() == expectedRecords; }));
        PumpFor(std::chrono::milliseconds(50));
    }

    ComPtr<CSurfBand> m_band;
    BandMenus::MenuTracker m_previousTracker;
    int m_choice = 0;
    std::vector<std::string> m_lastMenu;
    std::string m_lastDefault;
    std::vector<std::string> m_started;
};

TEST_F(NodeCommandTest, MenusOfPagesAndTimesDifferFromThoseOfDaysAndMonths)
{
    AddHistory();
    Open();
    Choose(PageP(), 0);
    EXPECT_EQ(m_lastMenu, (std::vector<std::string>{"Open", "Open in New Window", "-", "Open URL",
                                                    "Open URL in New Window", "-", "Copy URL ", "-", "Remove",
                                                    "-", "Export", "Properties"}));
    EXPECT_EQ(m_lastDefault, "Open");
    Choose(PageP()->GetChild(0), 0);
    EXPECT_EQ(m_lastMenu.front(), "Open");
    Choose(Fifth(), 0);
    EXPECT_EQ(m_lastMenu, (std::vector<std::string>{"Remove", "-", "Export", "Properties"}));
    EXPECT_EQ(m_lastDefault, "");
    Choose(Month(1), 0);
    EXPECT_EQ(m_lastMenu.size(), 4u);
    // A dismissed menu runs nothing.
    EXPECT_TRUE(m_boxes->Shown().empty());
    EXPECT_TRUE(m_browser->Navigated.empty());
}

struct RemovalCase {
    const char* name;
    std::function<CTreeItem*(NodeCommandTest&)> node;
    RecordList left;
};

TEST_F(NodeCommandTest, RemoveTakesAwayExactlyTheNodesRange)
{
    const std::int64_t march31 = LocalTime(2024, 3, 31, 23, 59, 59);
    const std::int64_t at8 = LocalTime(2024, 4, 5, 8);
    const std::int64_t at9 = LocalTime(2024, 4, 5, 9);
    const std::int64_t at901 = LocalTime(2024, 4, 5, 9, 0, 1);
    const std::int64_t april6 = LocalTime(2024, 4, 6);
    const std::int64_t may1 = LocalTime(2024, 5, 1);
    const std::string p = "http://p.example/";
    const std::string q = "http://q.example/";
    const RecordList all = {{march31, p}, {at8, p}, {at9, p}, {at901, p}, {at9, q}, {april6, p}, {may1, q}};
    const std::vector<RemovalCase> cases = {
        // The time node of 09:00:00 of page P: that second of P only, not Q's.
        {"time",
         [](NodeCommandTest& t) { return t.PageP()->GetChild(1); },
         {{march31, p}, {at8, p}, {at901, p}, {at9, q}, {april6, p}, {may1, q}}},
        // Page P on the 5th: every visit of P that day, not only the first.
        {"page",
         [](NodeCommandTest& t) { return t.PageP(); },
         {{march31, p}, {at9, q}, {april6, p}, {may1, q}}},
        // The 5th: all pages of that day, the 6th and the 31st stay.
        {"day", [](NodeCommandTest& t) { return t.Fifth(); }, {{march31, p}, {april6, p}, {may1, q}}},
        // April: the whole month, the last second of March stays.
        {"month", [](NodeCommandTest& t) { return t.Month(1); }, {{march31, p}, {may1, q}}},
    };
    for (const RemovalCase& c : cases) {
        // Start each case from the same history.
        if (m_band)
            m_band->SetSite(nullptr);
        m_band = nullptr;
        History()->RemoveRange(0, LocalTime(2100, 1, 1), nullptr);
        AddHistory();
        ASSERT_EQ(Records(), all);
        Open();
        m_boxes->Clear();
        Choose(c.node(*this), BandMenus::kRemove, IDYES);
        ASSERT_EQ(m_boxes->Count(), 1u) << c.name;
        const ShownMessageBox box = m_boxes->Shown()[0];
        EXPECT_EQ(box.text, "Remove selected item ?");
        EXPECT_EQ(box.caption, "Confirm");
        EXPECT_EQ(box.type, MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION);
        EXPECT_EQ(box.owner, nullptr);
        SettleAfterRemoval(c.left.size());
        EXPECT_EQ(Records(), c.left) << c.name;
        // The tree followed through the events alone.
        EXPECT_EQ(VisitsInTree(), c.left.size()) << c.name;
    }
}

TEST_F(NodeCommandTest, RemoveAndExportOfADayOrMonthTakeEveryYearFiledUnderItAndNothingElse)
{
    const std::string p = "http://p.example/";
    const std::string q = "http://q.example/";
    const std::int64_t april5of2023 = LocalTime(2023, 4, 5, 10);
    const std::int64_t april20of2023 = LocalTime(2023, 4, 20, 12);
    const std::int64_t may5of2023 = LocalTime(2023, 5, 5, 7);
    const std::int64_t march31 = LocalTime(2024, 3, 31, 23, 59, 59);
    const std::int64_t april5at8 = LocalTime(2024, 4, 5, 8);
    const std::int64_t april5at9 = LocalTime(2024, 4, 5, 9);
    const std::int64_t may1 = LocalTime(2024, 5, 1);
    const auto addHistory = [&] {
        ASSERT_EQ(Visit(april5of2023, p, "P"), S_OK);
        ASSERT_EQ(Visit(april20of2023, q, "Q"), S_OK);
        ASSERT_EQ(Visit(may5of2023, p, "P"), S_OK);
        ASSERT_EQ(Visit(march31, p, "P"), S_OK);
        ASSERT_EQ(Visit(april5at8, p, "P"), S_OK);
        ASSERT_EQ(Visit(april5at9, q, "Q"), S_OK);
        ASSERT_EQ(Visit(may1, q, "Q"), S_OK);
    };
    // The tree: March (31), April (5: p of both years and q, 20: q), May (1, 5).
    const auto april = [](NodeCommandTest& t) { return t.Month(1); };
    const std::vector<RemovalCase> cases = {
        {"page p on April 5th, visited in both years",
         [&](NodeCommandTest& t) { return april(t)->GetChild(0)->GetChild(0); },
         {{april20of2023, q}, {may5of2023, p}, {march31, p}, {april5at9, q}, {may1, q}}},
        {"April 5th of both years",
         [&](NodeCommandTest& t) { return april(t)->GetChild(0); },
         {{april20of2023, q}, {may5of2023, p}, {march31, p}, {may1, q}}},
        {"April of both years", april, {{may5of2023, p}, {march31, p}, {may1, q}}},
    };
    for (const RemovalCase& c : cases) {
        if (m_band)
            m_band->SetSite(nullptr);
        m_band = nullptr;
        History()->RemoveRange(0, LocalTime(2100, 1, 1), nullptr);
        addHistory();
        Open();
        ASSERT_EQ(april(*this)->GetText(), "April");
        ASSERT_EQ(VisitsInTree(), 7u);
        m_boxes->Clear();
        Choose(c.node(*this), BandMenus::kRemove, IDYES);
        EXPECT_EQ(m_boxes->Count(), 1u) << "one confirmation: " << c.name;
        SettleAfterRemoval(c.left.size());
        EXPECT_EQ(Records(), c.left) << c.name;
        EXPECT_EQ(VisitsInTree(), c.left.size()) << c.name;
    }

    // Export of April, as the dialog presets it, writes the April visits of
    // both years and no other.
    m_band->SetSite(nullptr);
    m_band = nullptr;
    History()->RemoveRange(0, LocalTime(2100, 1, 1), nullptr);
    addHistory();
    Open();
    m_boxes->Clear();
    const std::string file = m_home.Path() + "/april.hef";
    CExportDialog::SetShowHook([&](CHistoryFileDialog* dialog, CExportPanel* panel) {
        QTimer::singleShot(0, dialog, [=] {
            EXPECT_EQ(panel->CheckedScope(ExportScope::All), ExportScope::SelectedItem);
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString(file));
            static_cast<QDialog*>(dialog)->accept();
        });
    });
    Choose(april(*this), BandMenus::kExport);
    CUrlRecordList exported;
    CIndexFile::Read(file, &exported);
    RecordList written;
    for (const CUrlRecord& record : exported)
        written.emplace_back(record.Time, BstrToNarrowZ(record.Url));
    EXPECT_EQ(written, (RecordList{{april5of2023, p}, {april20of2023, q}, {april5at8, p}, {april5at9, q}}));
    EXPECT_TRUE(m_boxes->Shown().empty()) << "an export that wrote its file says nothing";
}

TEST_F(NodeCommandTest, RemoveAnsweredOtherwiseThanYesChangesNothing)
{
    AddHistory();
    Open();
    const RecordList before = Records();
    for (int answer : {IDNO, IDCANCEL, 0}) {
        for (CTreeItem* node : {static_cast<CTreeItem*>(PageP()->GetChild(0)),
                                static_cast<CTreeItem*>(PageP()), Fifth(), Month(1)}) {
            m_boxes->Clear();
            if (answer)
                Choose(node, BandMenus::kRemove, answer);
            else
                Choose(node, BandMenus::kRemove, IDOK);  // not offered: the default button, Cancel
            ASSERT_EQ(m_boxes->Count(), 1u);
            EXPECT_NE(m_boxes->Shown()[0].answer, IDYES);
        }
    }
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(Records(), before);
    EXPECT_EQ(VisitsInTree(), before.size());
}

TEST_F(NodeCommandTest, ExportOpensTheDialogOnTheNodesRangeWithItsVisitsSelected)
{
    AddHistory();
    Open();
    struct Expected {
        const char* name;
        std::function<CTreeItem*(NodeCommandTest&)> node;
        std::int64_t from;
        std::int64_t to;
        std::string url;
    };
    const std::vector<Expected> cases = {
        {"time", [](NodeCommandTest& t) { return t.PageP()->GetChild(1); }, LocalTime(2024, 4, 5, 9),
         LocalTime(2024, 4, 5, 9, 0, 1), "http://p.example/"},
        {"page", [](NodeCommandTest& t) { return t.PageP(); }, LocalTime(2024, 4, 5), LocalTime(2024, 4, 6),
         "http://p.example/"},
        {"day", [](NodeCommandTest& t) { return t.Fifth(); }, LocalTime(2024, 4, 5), LocalTime(2024, 4, 6),
         ""},
        {"month", [](NodeCommandTest& t) { return t.Month(1); }, LocalTime(2024, 4, 1), LocalTime(2024, 5, 1),
         ""},
    };
    for (const Expected& c : cases) {
        int shown = 0;
        CExportDialog::SetShowHook([&](CHistoryFileDialog* dialog, CExportPanel* panel) {
            ++shown;
            QTimer::singleShot(0, dialog, [&, dialog, panel] {
                EXPECT_EQ(panel->CheckedScope(ExportScope::All), ExportScope::SelectedItem) << c.name;
                EXPECT_EQ(panel->PickedRange().From, c.from) << c.name;
                EXPECT_EQ(panel->PickedRange().To, c.to) << c.name;
                EXPECT_EQ(panel->UrlFilter(), c.url) << c.name;
                dialog->reject();
            });
        });
        Choose(c.node(*this), BandMenus::kExport);
        EXPECT_EQ(shown, 1) << c.name;
    }
    EXPECT_TRUE(m_boxes->Shown().empty());
}

TEST_F(NodeCommandTest, PropertiesShowTheSheetOfTheNodesKind)
{
    AddHistory();
    Open();
    const std::vector<std::pair<CTreeItem*, std::string>> cases = {
        {PageP()->GetChild(0), "Time Properties"},
        {PageP(), "Visit Properties"},
        {Fifth(), "Day Properties"},
        {Month(1), "Month Properties"},
    };
    for (const auto& [node, title] : cases) {
        std::string shown;
        WithModalDialog([&](QWidget* dialog) {
            shown = dialog->windowTitle().toStdString();
            static_cast<QDialog*>(dialog)->reject();
        });
        Choose(node, BandMenus::kProperties);
        EXPECT_EQ(shown, title);
    }
}

TEST_F(NodeCommandTest, ToolbarExportUsesTheSelectedNodeElseEverything)
{
    AddHistory();
    Open();
    ExportScope scope = ExportScope::Range;
    std::int64_t from = 0;
    CExportDialog::SetShowHook([&](CHistoryFileDialog* dialog, CExportPanel* panel) {
        QTimer::singleShot(0, dialog, [&, dialog, panel] {
            scope = panel->CheckedScope(ExportScope::Range);
            from = panel->PickedRange().From;
            dialog->reject();
        });
    });
    m_band->BandWindow()->OnExport();
    EXPECT_EQ(scope, ExportScope::All);
    Month(1)->Expand();  // the tree opened on May
    ASSERT_TRUE(m_band->BandWindow()->HistoryTree()->SelectNode(Fifth()));
    m_band->BandWindow()->OnExport();
    EXPECT_EQ(scope, ExportScope::SelectedItem);
    EXPECT_EQ(from, LocalTime(2024, 4, 5));
}

TEST_F(NodeCommandTest, OpenCopyAndNewWindowsUseTheVisitAsItStands)
{
    const std::int64_t time = LocalTime(2024, 4, 5, 8);
    const std::string path = "2024/April/5/a page with blanks.htm";
    WriteFile(HistoryFolder() + "/" + path, "<html></html>");
    _URL_DATE_ record{time, NarrowToBstr("http://r.example/a b"), NarrowToBstr(path), NarrowToBstr("R")};
    ASSERT_EQ(History()->AddData(record), S_OK);
    FreeUrlDate(&record);
    Open();
    CTreeItem* page = Month(0)->GetChild(0)->GetChild(0);
    const std::string fullPath = HistoryFolder() + "/" + path;

    Choose(page, BandMenus::kOpen);
    Choose(page, BandMenus::kOpenUrl);
    EXPECT_EQ(m_browser->Navigated, (std::vector<std::string>{fullPath, "http://r.example/a b"}));
    Choose(page, BandMenus::kOpenInNewWindow);
    Choose(page, BandMenus::kOpenUrlInNewWindow);
    EXPECT_EQ(m_started,
              (std::vector<std::string>{"iexplore.exe " + fullPath, "iexplore.exe http://r.example/a b"}));

    QApplication::clipboard()->setText("before");
    Choose(page, BandMenus::kCopyUrl);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "http://r.example/a b");
    EXPECT_TRUE(m_boxes->Shown().empty());
}

TEST_F(NodeCommandTest, NodesWithoutProviderOrHistoryFolderDoNothingHarmful)
{
    AddHistory();
    Open();
    // The band loses its history: the folder cannot be read any more.
    m_band->SetSite(nullptr);
    for (int command :
         {BandMenus::kOpen, BandMenus::kOpenInNewWindow, BandMenus::kOpenUrl, BandMenus::kCopyUrl})
        Choose(PageP(), command);
    EXPECT_TRUE(m_browser->Navigated.empty());
    EXPECT_TRUE(m_started.empty());

    // A page made without a provider: no navigation, no export; the full
    // path is the Path under the root folder.
    CDataItem data;
    data.Time = LocalTime(2024, 4, 5, 8);
    data.Url = "http://lone.example/";
    data.Path = "lone.htm";
    auto* lone = new CUrlTreeItem();
    lone->InitFromData(data);
    int shown = 0;
    CExportDialog::SetShowHook([&](CHistoryFileDialog*, CExportPanel*) { ++shown; });
    m_choice = BandMenus::kOpen;
    NodeCommands::RunCommand(*lone, BandMenus::kOpen);
    NodeCommands::RunCommand(*lone, BandMenus::kExport);
    NodeCommands::RunCommand(*lone, BandMenus::kOpenInNewWindow);
    EXPECT_TRUE(m_browser->Navigated.empty());
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(m_started, (std::vector<std::string>{"iexplore.exe /lone.htm"}));
    delete lone;
}

}  // namespace
}  // namespace wys::test

namespace wys::test {
namespace {

TEST(NodeCommands, WithoutAClipboardCopyChangesNothingAndSaysSo)
{
    // Each test runs in a process of its own under ctest; run alone, the
    // application of an earlier test would provide a clipboard.
    if (QCoreApplication::instance())
        GTEST_SKIP() << "an application with a clipboard already runs";
    EXPECT_FALSE(NodeCommands::CopyToClipboard("http://x.example/"));
}

}  // namespace
}  // namespace wys::test
