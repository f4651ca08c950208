#include <gtest/gtest.h>

#include <QApplication>
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QToolTip>

#include <memory>
#include <string>
#include <vector>

#include "Wayscribe/tools/tabstrip/CDotNetTabCtrl.h"
#include "Wayscribe/tools/tabstrip/CTabbedChildWindow.h"
#include "Wayscribe/tools/tabstrip/TabStripMetrics.h"
#include "Wayscribe/tools/widgets/BandIcons.h"
#include "tests/support/QtTestSupport.h"

namespace {

// Records the strip's notifications in order; may handle clicks and
// cancel changes.
struct CNotifications {
    std::vector<std::string> log;
    bool cancel = false;
    bool handleClicks = false;

    void Attach(CDotNetTabCtrl& tabs)
    {
        auto add = [this](const std::string& name, int index) {
            log.push_back(name + " " + std::to_string(index));
        };
        QObject::connect(&tabs, &CDotNetTabCtrl::SelectionChanging, [=, this](int i, bool* c) {
            add("changing", i);
            *c = cancel;
        });
        QObject::connect(&tabs, &CDotNetTabCtrl::SelectionChanged, [=](int i) { add("changed", i); });
        QObject::connect(&tabs, &CDotNetTabCtrl::Clicked, [=, this](int i, bool* h) {
            add("click", i);
            *h = handleClicks;
        });
        QObject::connect(&tabs, &CDotNetTabCtrl::RightClicked, [=, this](int i, bool* h) {
            add("rclick", i);
            *h = handleClicks;
        });
        QObject::connect(&tabs, &CDotNetTabCtrl::DoubleClicked, [=](int i) { add("dblclick", i); });
        QObject::connect(&tabs, &CDotNetTabCtrl::RightDoubleClicked, [=](int i) { add("rdblclick", i); });
    }
    std::vector<std::string> Take() { return std::exchange(log, {}); }
};

using Log = std::vector<std::string>;

class TabStripTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wys::test::EnsureApplication();
        m_tabs = std::make_unique<CDotNetTabCtrl>();
        m_tabs->resize(400, m_tabs->GetStripHeight());
        m_tabs->show();
        const int history = m_tabs->AddImage(BandIcons::Icon(BandIcons::kProduct));
        const int search = m_tabs->AddImage(BandIcons::Icon(BandIcons::kSearch));
        m_tabs->AddItem(std::make_unique<CCustomTabItem>("History", history));
        m_tabs->AddItem(std::make_unique<CCustomTabItem>("Search", search, "Search the history"));
        m_tabs->AddItem(std::make_unique<CCustomTabItem>("Third"));
        m_notes.Attach(*m_tabs);
    }
    QPoint CentreOf(int index) const { return m_tabs->GetItem(index)->GetRect().center(); }
    int WidthOf(int index) const { return m_tabs->GetItem(index)->GetRect().width(); }

    std::unique_ptr<CDotNetTabCtrl> m_tabs;
    CNotifications m_notes;
};

TEST_F(TabStripTest, MouseAndKeysChangeTheCurrentTabWithNotificationsThatMayCancel)
{
    // The first tab became current on its own, silently.
    EXPECT_EQ(m_tabs->GetCurSel(), 0);
    EXPECT_TRUE(m_notes.log.empty());

    QTest::mouseClick(m_tabs.get(), Qt::LeftButton, {}, CentreOf(1));
    EXPECT_EQ(m_notes.Take(), (Log{"click 1", "changing 1", "changed 1"}));
    EXPECT_EQ(m_tabs->GetCurSel(), 1);

    QTest::mousePress(m_tabs.get(), Qt::RightButton, {}, CentreOf(2));
    EXPECT_EQ(m_notes.Take(), (Log{"rclick 2", "changing 2", "changed 2"}));

    // Double-clicks report the tab under the mouse.
    QTest::mouseDClick(m_tabs.get(), Qt::LeftButton, {}, CentreOf(0));
    QTest::mouseDClick(m_tabs.get(), Qt::RightButton, {}, CentreOf(1));
    EXPECT_EQ(m_notes.Take(), (Log{"dblclick 0", "rdblclick 1"}));
    EXPECT_EQ(m_tabs->GetCurSel(), 2);

    // The receiver cancels: nothing changes and no change is reported.
    m_notes.cancel = true;
    QTest::mouseClick(m_tabs.get(), Qt::LeftButton, {}, CentreOf(0));
    EXPECT_EQ(m_notes.Take(), (Log{"click 0", "changing 0"}));
    EXPECT_EQ(m_tabs->GetCurSel(), 2);
    EXPECT_FALSE(m_tabs->SetCurSel(1));
    m_notes.cancel = false;
    m_notes.Take();

    // A handled click selects nothing; clicking the current tab changes nothing.
    m_notes.handleClicks = true;
    QTest::mouseClick(m_tabs.get(), Qt::LeftButton, {}, CentreOf(0));
    QTest::mousePress(m_tabs.get(), Qt::RightButton, {}, CentreOf(1));
    m_notes.handleClicks = false;
    QTest::mouseClick(m_tabs.get(), Qt::LeftButton, {}, CentreOf(2));
    EXPECT_EQ(m_notes.Take(), (Log{"click 0", "rclick 1", "click 2"}));
    EXPECT_EQ(m_tabs->GetCurSel(), 2);

    // Beside the tabs: the click is reported with -1 and selects nothing.
    QTest::mouseClick(m_tabs.get(), Qt::LeftButton, {}, QPoint(m_tabs->width() - 2, 10));
    EXPECT_EQ(m_notes.Take(), (Log{"click -1"}));

    // Arrow keys move to the neighbours and stop at the ends.
    QTest::keyClick(m_tabs.get(), Qt::Key_Right);
    EXPECT_EQ(m_tabs->GetCurSel(), 2);
    QTest::keyClick(m_tabs.get(), Qt::Key_Left);
    QTest::keyClick(m_tabs.get(), Qt::Key_Left);
    QTest::keyClick(m_tabs.get(), Qt::Key_Left);
    EXPECT_EQ(m_notes.Take(), (Log{"changing 1", "changed 1", "changing 0", "changed 0"}));
    EXPECT_EQ(m_tabs->GetCurSel(), 0);

    // Without notifying: no signals at all; a bad index changes nothing.
    EXPECT_TRUE(m_tabs->SetCurSel(2, CDotNetTabCtrl::Notify::No));
    EXPECT_FALSE(m_tabs->SetCurSel(3));
    EXPECT_FALSE(m_tabs->SetCurSel(-1));
    EXPECT_TRUE(m_notes.log.empty());
    EXPECT_EQ(m_tabs->GetCurSel(), 2);

    // Removing tabs keeps the current one where it is, or leaves none.
    m_tabs->SetCurSel(1, CDotNetTabCtrl::Notify::No);
    EXPECT_TRUE(m_tabs->DeleteItem(0));
    EXPECT_EQ(m_tabs->GetCurSel(), 0);
    EXPECT_EQ(m_tabs->GetItem(0)->GetText(), "Search");
    EXPECT_TRUE(m_tabs->DeleteItem(0));
    EXPECT_EQ(m_tabs->GetCurSel(), -1);
    EXPECT_FALSE(m_tabs->DeleteItem(5));
}

TEST_F(TabStripTest, NarrowingShrinksTheOtherTabsFirstAndFinallyMakesThemEqual)
{
    m_tabs->DeleteItem(2);
    const int history = WidthOf(0);
    const int search = WidthOf(1);
    EXPECT_EQ(m_tabs->GetItem(1)->GetRect().left(), TabStrip::kIndent + history);

    m_tabs->resize(history + search + 2 * TabStrip::kIndent - 8, m_tabs->height());
    EXPECT_EQ(WidthOf(0), history);
    EXPECT_EQ(WidthOf(1), search - 8);

    m_tabs->resize(history + 2 * TabStrip::kIndent + 10, m_tabs->height());
    EXPECT_EQ(WidthOf(0), WidthOf(1));
    EXPECT_LT(WidthOf(0), history);

    // Making the other tab current lets it keep its width instead.
    m_tabs->resize(history + search + 2 * TabStrip::kIndent - 8, m_tabs->height());
    m_tabs->SetCurSel(1);
    EXPECT_EQ(WidthOf(1), search);
    EXPECT_LT(WidthOf(0), history);
}

TEST_F(TabStripTest, CurrentTabBreaksTheEdgeLineAndOnlyTabsBeforeTheLastHaveSeparators)
{
    m_tabs->SetCurSel(1, CDotNetTabCtrl::Notify::No);
    const QImage picture = m_tabs->grab().toImage();
    const QPalette& colours = m_tabs->palette();
    const QRgb face = colours.color(QPalette::Button).rgb();
    const QRgb text = colours.color(QPalette::ButtonText).rgb();
    const QRgb shadow = colours.color(QPalette::Dark).rgb();
    const QRgb background = m_tabs->GetBackground().color().rgb();
    const QRect first = m_tabs->GetItem(0)->GetRect();
    const QRect current = m_tabs->GetItem(1)->GetRect();
    const QRect last = m_tabs->GetItem(2)->GetRect();

    // The band of face along the top, the edge line under it...
    EXPECT_EQ(picture.pixel(first.center().x(), 1), face);
    EXPECT_EQ(picture.pixel(first.center().x(), 3), text);
    // ... which the current tab, drawn over it, replaces with its own face.
    EXPECT_EQ(picture.pixel(current.left() + 2, 3), face);
    EXPECT_EQ(picture.pixel(current.left() + 2, current.bottom() - 3), face);
    EXPECT_EQ(picture.pixel(current.right(), current.center().y()), text);
    EXPECT_EQ(picture.pixel(current.left() + 2, current.bottom() - 1), text);
    // Other tabs stand on the lightened background, parted by separators;
    // none after the last tab.
    EXPECT_EQ(picture.pixel(first.left() + 1, first.bottom() - 1), background);
    EXPECT_EQ(picture.pixel(first.right(), first.center().y()), shadow);
    EXPECT_EQ(picture.pixel(last.right(), last.center().y()), background);
    EXPECT_NE(background, face);
}

TEST_F(TabStripTest, TipsShowTheTooltipTextOrTheLabel)
{
    EXPECT_EQ(m_tabs->GetToolTipText(0), "History");
    EXPECT_EQ(m_tabs->GetToolTipText(1), "Search the history");
    EXPECT_EQ(m_tabs->GetToolTipText(7), "");

    // Without the tooltip style, no tip.
    CDotNetTabCtrl silent(CDotNetTabCtrl::kBottom);
    silent.AddItem(std::make_unique<CCustomTabItem>("History"));
    silent.resize(200, silent.GetStripHeight());
    silent.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&silent));
    const QPoint middle = silent.GetItem(0)->GetRect().center();
    QHelpEvent none(QEvent::ToolTip, middle, silent.mapToGlobal(middle));
    QApplication::sendEvent(&silent, &none);
    EXPECT_FALSE(QToolTip::isVisible());

    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_tabs.get()));
    QHelpEvent request(QEvent::ToolTip, CentreOf(1), m_tabs->mapToGlobal(CentreOf(1)));
    QApplication::sendEvent(m_tabs.get(), &request);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "Search the history");
    QToolTip::hideText();
}

TEST(TabbedChildWindow, TheCurrentTabsViewFillsTheWindowAboveTheStrip)
{
    wys::test::EnsureApplication();
    CTabbedChildWindow window;
    window.resize(300, 200);
    auto* history = new QLineEdit("history view");
    auto* search = new QLineEdit("search view");
    EXPECT_EQ(window.AddTab(history, "History"), 0);
    EXPECT_EQ(window.AddTab(search, "Search"), 1);
    EXPECT_EQ(window.AddTab(search, "again"), -1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const int strip = window.GetTabCtrl()->GetStripHeight();
    EXPECT_EQ(window.GetActiveView(), history);
    EXPECT_TRUE(history->isVisible());
    EXPECT_FALSE(search->isVisible());
    EXPECT_EQ(history->geometry(), QRect(0, 0, 300, 200 - strip));
    EXPECT_EQ(window.GetTabCtrl()->geometry(), QRect(0, 200 - strip, 300, strip));

    EXPECT_TRUE(window.SetActiveTab(1));
    EXPECT_EQ(window.GetActiveView(), search);
    EXPECT_TRUE(search->isVisible());
    EXPECT_FALSE(history->isVisible());
    EXPECT_TRUE(search->hasFocus());
    EXPECT_EQ(search->geometry(), QRect(0, 0, 300, 200 - strip));

    // A cancelled change keeps the view.
    auto veto = QObject::connect(window.GetTabCtrl(), &CDotNetTabCtrl::SelectionChanging,
                                 [](int, bool* cancel) { *cancel = true; });
    EXPECT_FALSE(window.SetActiveTab(0));
    EXPECT_EQ(window.GetActiveView(), search);
    QObject::disconnect(veto);

    // Removing the current tab shows the one that takes its place.
    EXPECT_TRUE(window.RemoveTab(search));
    EXPECT_EQ(search->parent(), nullptr);
    delete search;
    EXPECT_EQ(window.GetActiveView(), history);
    EXPECT_TRUE(history->isVisible());
    EXPECT_EQ(window.FindTab(history), 0);
    EXPECT_EQ(window.GetView(0), history);

    // A strip on top puts the view below it.
    CTabbedChildWindow top(CDotNetTabCtrl::kToolTips);
    top.resize(300, 200);
    auto* view = new QLabel("view");
    top.AddTab(view, "Only");
    EXPECT_EQ(top.GetTabCtrl()->geometry(), QRect(0, 0, 300, strip));
    EXPECT_EQ(view->geometry(), QRect(0, strip, 300, 200 - strip));
}

TEST(TabbedChildWindow, ALargerIconTitleFontMakesTheStripTallerAndTheViewShorter)
{
    wys::test::EnsureApplication();
    const QFont original = QApplication::font();
    CTabbedChildWindow window;
    window.resize(300, 200);
    auto* view = new QLabel("view");
    window.AddTab(view, "History");
    const int before = window.GetTabCtrl()->GetStripHeight();

    QFont larger = original;
    larger.setPixelSize(QFontMetrics(original).ascent() * 2 + 4);
    QApplication::setFont(larger);
    // What a running application sends its windows after such a change.
    QEvent change(QEvent::ApplicationFontChange);
    QApplication::sendEvent(&window, &change);
    const int after = window.GetTabCtrl()->GetStripHeight();
    const QRect strip = window.GetTabCtrl()->geometry();
    const int viewHeight = view->height();
    QApplication::setFont(original);
    QApplication::sendEvent(&window, &change);

    EXPECT_GT(after, before);
    EXPECT_EQ(after, TabStrip::StripHeight(QFontMetrics(larger).ascent()));
    EXPECT_EQ(strip, QRect(0, 200 - after, 300, after));
    EXPECT_EQ(viewHeight, 200 - after);
    EXPECT_EQ(window.GetTabCtrl()->GetStripHeight(), before);
}

TEST(TabbedChildWindow, Screenshot)
{
    wys::test::EnsureApplication();
    CTabbedChildWindow window;
    window.resize(360, 160);
    CDotNetTabCtrl& tabs = *window.GetTabCtrl();
    const int history = tabs.AddImage(BandIcons::Icon(BandIcons::kProduct));
    const int search = tabs.AddImage(BandIcons::Icon(BandIcons::kSearch));
    const int exportImage = tabs.AddImage(BandIcons::Icon(BandIcons::kExport));
    window.AddTab(new QLabel("  The History tab's view"), "History", history);
    window.AddTab(new QLabel("  The Search tab's view"), "Search", search, "Search the history");
    window.AddTab(new QLabel("  Exports"), "Exports", exportImage);
    window.AddTab(new QLabel("  Notes"), "Notes & more");
    window.SetActiveTab(1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(wys::test::SaveScreenshot(&window, "tabstrip-wide").isEmpty());
    // The strip four times as large, to judge single pixels.
    QLabel zoom;
    const QPixmap strip = tabs.grab();
    zoom.setPixmap(strip.scaled(strip.size() * 4, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    zoom.resize(zoom.pixmap().size());
    EXPECT_FALSE(wys::test::SaveScreenshot(&zoom, "tabstrip-zoomed").isEmpty());
    window.resize(200, 160);
    EXPECT_FALSE(wys::test::SaveScreenshot(&window, "tabstrip-narrow").isEmpty());
}

}  // namespace
