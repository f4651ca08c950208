#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>

#include <filesystem>
#include <set>

#include "Wayscribe/tools/dialogs/CCheckedTimeEdit.h"
#include "Wayscribe/tools/dialogs/CExportDialog.h"
#include "Wayscribe/tools/dialogs/CExportPanel.h"
#include "Wayscribe/tools/dialogs/CExportRange.h"
#include "Wayscribe/tools/dialogs/CHistoryFileDialog.h"
#include "Wayscribe/tools/dialogs/HistoryImport.h"
#include "Wayscribe/tools/help/Help.h"
#include "common/LocalTime.h"
#include "common/UrlBaseConnection.h"
#include "tests/tools/dialogs/DialogTesting.h"

namespace wys::test {
namespace {

namespace fs = std::filesystem;

// Sets TZ for the life of the object.
class CZone {
public:
    explicit CZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_saved = old ? std::optional<std::string>(old) : std::nullopt;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~CZone()
    {
        if (m_saved)
            ::setenv("TZ", m_saved->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> m_saved;
};

TEST(CExportRange, PickedTimesAreLocalMidnightPlusTheTimeOfDay)
{
    {
        CZone zone("UTC0");
        EXPECT_EQ(CExportRange::PickedTime(2003, 11, 27, 0), 1069891200);
        EXPECT_EQ(CExportRange::PickedTime(2003, 11, 27, 14 * 3600 + 5 * 60 + 9), 1069941909);
    }
    {
        CZone zone("America/New_York");
        // Winter and summer midnights: daylight saving follows the zone.
        EXPECT_EQ(CExportRange::PickedTime(2021, 1, 15, 0), 1610686800);  // 05:00 UTC
        EXPECT_EQ(CExportRange::PickedTime(2021, 7, 1, 0), 1625112000);   // 04:00 UTC
        // On the day the clocks go forward, 03:00 counts three hours from
        // midnight (which was still standard time).
        EXPECT_EQ(CExportRange::PickedTime(2021, 3, 14, 3 * 3600), 1615698000 + 3 * 3600);
    }
}

TEST(CHistoryFileDialog, NamesWithoutAnExtensionGetTheDefaultOne)
{
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"/b/week", "/b/week.hef"},     {"/b/week.hef", "/b/week.hef"},
        {"/b/week.txt", "/b/week.txt"}, {"/b.d/week", "/b.d/week.hef"},
        {"/b/week.", "/b/week.hef"},    {"/b/.hidden", "/b/.hidden.hef"},
        {"week", "week.hef"},           {"/b/week.2003.hef", "/b/week.2003.hef"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CHistoryFileDialog::WithDefaultExtension(c.path, "hef"), c.expected) << c.path;
}

// Types a path into the file dialog's name field and presses its OK button.
void TypeFileName(QFileDialog* dialog, const std::string& path)
{
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QString::fromStdString(path));
    static_cast<QDialog*>(dialog)->accept();  // what the OK button calls
    EXPECT_FALSE(dialog->isVisible()) << path << " was not accepted";
}

// Visits on three days of November 2003 (UTC, as the tests run).
constexpr std::int64_t kNov25 = 1069718400;
constexpr std::int64_t kNov26 = kNov25 + 86400;
constexpr std::int64_t kNov27 = kNov26 + 86400;

class ExportDialog : public DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        if (HasFatalFailure())
            return;
        StartServer();
        // Nothing expires: the visits are old, and imports keep them.
        m_server->Run([](IWYSCURLBase* base) { base->put_HistoricalRange(0); });
        ASSERT_EQ(m_server->AddVisit(kNov25 + 36000, "http://a.example/", "2003/November/25/a.htm", "A"),
                  S_OK);
        ASSERT_EQ(m_server->AddVisit(kNov26 + 36000, "http://b.example/", "2003/November/26/b.htm", "B"),
                  S_OK);
        ASSERT_EQ(m_server->AddVisit(kNov26 + 64800, "http://c.example/", "2003/November/26/c.htm", "C"),
                  S_OK);
        ASSERT_EQ(m_server->AddVisit(kNov27 + 32400, "http://a.example/", "2003/November/27/a.htm", "A"),
                  S_OK);
        ASSERT_EQ(ConnectUrlBase(&m_base), S_OK);
    }

    void TearDown() override
    {
        CExportDialog::SetShowHook(nullptr);
        HistoryImport::SetShowHook(nullptr);
        m_base = nullptr;
        DialogTest::TearDown();
    }

    std::string Exports() const { return m_home.Path() + "/exports"; }

    // When the export dialog shows: `inspect` looks at it and sets the panel,
    // then the dialog is answered with `file` (cancelled when empty).
    void Answer(std::function<void(CHistoryFileDialog*, CExportPanel*)> inspect, const std::string& file)
    {
        fs::create_directories(Exports());
        m_shown = 0;
        CExportDialog::SetShowHook([this, inspect, file](CHistoryFileDialog* dialog, CExportPanel* panel) {
            ++m_shown;
            QTimer::singleShot(0, dialog, [=] {
                if (inspect)
                    inspect(dialog, panel);
                if (file.empty()) {
                    dialog->reject();
                } else {
                    TypeFileName(dialog, file);
                }
            });
        });
    }

    // The saved pages that landed in an export's companion folder.
    static std::set<std::string> Copied(const std::string& companion)
    {
        std::set<std::string> pages;
        if (!fs::is_directory(companion))
            return pages;
        for (const auto& entry : fs::recursive_directory_iterator(companion))
            if (entry.is_regular_file())
                pages.insert(fs::relative(entry.path(), companion).string());
        return pages;
    }

    static void SetRange(CExportPanel* panel, QDate from, std::optional<QTime> fromTime, QDate to,
                         std::optional<QTime> toTime)
    {
        Control<QRadioButton>(panel, 259)->setChecked(true);
        Control<QDateEdit>(panel, 231)->setDate(from);
        Control<QDateEdit>(panel, 232)->setDate(to);
        auto* fromPicker = Control<CCheckedTimeEdit>(panel, 234);
        auto* toPicker = Control<CCheckedTimeEdit>(panel, 235);
        fromPicker->SetHasTime(fromTime.has_value());
        toPicker->SetHasTime(toTime.has_value());
        if (fromTime)
            fromPicker->SetTime(*fromTime);
        if (toTime)
            toPicker->SetTime(*toTime);
    }

    ComPtr<IWYSCURLBase> m_base;  // the band's connection
    int m_shown = 0;
};

TEST_F(ExportDialog, FromTheToolbarEverythingIsExportedAndTheExtensionAdded)
{
    Answer(
        [this](CHistoryFileDialog* dialog, CExportPanel* panel) {
            EXPECT_EQ(dialog->windowTitle(), "Export History Files");
            EXPECT_TRUE(Control<QRadioButton>(panel, 257)->isChecked());
            EXPECT_FALSE(Control<QRadioButton>(panel, 258)->isEnabled());
            for (int id : {206, 231, 232, 234, 235})
                EXPECT_FALSE(Control(panel, id)->isEnabled()) << id;
            // From and To are now.
            EXPECT_EQ(Control<QDateEdit>(panel, 231)->date(), QDate::currentDate());
            EXPECT_EQ(Control<QDateEdit>(panel, 232)->date(), QDate::currentDate());
            EXPECT_TRUE(Control<QLineEdit>(panel, 206)->text().isEmpty());
            dialog->setDirectory(QString::fromStdString(Exports()));
            RunEventsFor(std::chrono::milliseconds(300));
            EXPECT_FALSE(SaveDialogScreenshot(dialog, "export-dialog").isEmpty());
        },
        Exports() + "/week");
    CExportDialog::ExportAll(nullptr, m_base.Get());
    EXPECT_EQ(m_shown, 1);
    EXPECT_TRUE(fs::is_regular_file(Exports() + "/week.hef"));
    EXPECT_EQ(Copied(Exports() + "/week_files"),
              (std::set<std::string>{"2003/November/25/a.htm", "2003/November/26/b.htm",
                                     "2003/November/26/c.htm", "2003/November/27/a.htm"}));
}

TEST_F(ExportDialog, ARangeRunsFromLocalMidnightAndItsEndsMayComeEitherWay)
{
    struct Case {
        const char* name;
        QDate from;
        std::optional<QTime> fromTime;
        QDate to;
        std::optional<QTime> toTime;
        const char* url;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        // Without a To time the To day itself is left out.
        {"day26",
         {2003, 11, 26},
         {},
         {2003, 11, 27},
         {},
         "",
         {"2003/November/26/b.htm", "2003/November/26/c.htm"}},
        {"swapped",
         {2003, 11, 27},
         {},
         {2003, 11, 26},
         {},
         "",
         {"2003/November/26/b.htm", "2003/November/26/c.htm"}},
        {"evening",
         {2003, 11, 26},
         QTime(12, 0, 0),
         {2003, 11, 27},
         QTime(9, 0, 1),
         "",
         {"2003/November/26/c.htm", "2003/November/27/a.htm"}},
        {"filtered",
         {2003, 11, 25},
         {},
         {2003, 11, 28},
         {},
         "http://a.example/",
         {"2003/November/25/a.htm", "2003/November/27/a.htm"}},
    };
    for (const Case& c : cases) {
        CExportRange picked;
        Answer(
            [&](CHistoryFileDialog*, CExportPanel* panel) {
                SetRange(panel, c.from, c.fromTime, c.to, c.toTime);
                Control<QLineEdit>(panel, 206)->setText(c.url);
                picked = panel->PickedRange();
            },
            Exports() + "/" + c.name + ".hef");
        CExportDialog::ExportAll(nullptr, m_base.Get());
        const auto seconds = [](const std::optional<QTime>& t) {
            return t ? t->msecsSinceStartOfDay() / 1000 : 0;
        };
        const std::int64_t from =
            ComposeLocalTime(c.from.year(), c.from.month(), c.from.day()) + seconds(c.fromTime);
        const std::int64_t to = ComposeLocalTime(c.to.year(), c.to.month(), c.to.day()) + seconds(c.toTime);
        EXPECT_EQ(picked.From, std::min(from, to)) << c.name;
        EXPECT_EQ(picked.To, std::max(from, to)) << c.name;
        EXPECT_EQ(Copied(Exports() + "/" + c.name + "_files"), c.expected) << c.name;
    }
}

TEST_F(ExportDialog, ANodeWithSavedCopiesPresetsTheSelectedItem)
{
    Answer(
        [](CHistoryFileDialog*, CExportPanel* panel) {
            EXPECT_TRUE(Control<QRadioButton>(panel, 258)->isEnabled());
            EXPECT_TRUE(Control<QRadioButton>(panel, 258)->isChecked());
            EXPECT_EQ(Control<QLineEdit>(panel, 206)->text(), "http://a.example/");
            EXPECT_EQ(Control<QDateEdit>(panel, 231)->date(), QDate(2003, 11, 25));
            EXPECT_EQ(Control<QDateEdit>(panel, 232)->date(), QDate(2003, 11, 26));
        },
        Exports() + "/node.hef");
    CExportDialog::ExportSelection(nullptr, m_base.Get(), kNov25, 86400, "http://a.example/",
                                   {"2003/November/27/a.htm", "2003/November/25/a.htm"});
    EXPECT_EQ(Copied(Exports() + "/node_files"),
              (std::set<std::string>{"2003/November/25/a.htm", "2003/November/27/a.htm"}));
}

TEST_F(ExportDialog, ANodeWithoutSavedCopiesPresetsItsRange)
{
    Answer(
        [](CHistoryFileDialog* dialog, CExportPanel* panel) {
            EXPECT_FALSE(Control<QRadioButton>(panel, 258)->isEnabled());
            EXPECT_TRUE(Control<QRadioButton>(panel, 259)->isChecked());
            EXPECT_FALSE(SaveDialogScreenshot(dialog, "export-dialog-range").isEmpty());
            for (int id : {206, 231, 232, 234, 235})
                EXPECT_TRUE(Control(panel, id)->isEnabled()) << id;
            // The node's start and end with their times of day.
            EXPECT_EQ(Control<CCheckedTimeEdit>(panel, 234)->Time(), QTime(0, 0, 0));
            EXPECT_TRUE(Control<CCheckedTimeEdit>(panel, 234)->HasTime());
            EXPECT_EQ(panel->PickedRange().From, kNov26);
            EXPECT_EQ(panel->PickedRange().To, kNov27);
        },
        Exports() + "/day.hef");
    CExportDialog::ExportSelection(nullptr, m_base.Get(), kNov26, 86400, "", {});
    EXPECT_EQ(Copied(Exports() + "/day_files"),
              (std::set<std::string>{"2003/November/26/b.htm", "2003/November/26/c.htm"}));
}

TEST_F(ExportDialog, EnablingRuleFollowsTheScopeWithinAQuarterSecond)
{
    Answer(
        [](CHistoryFileDialog*, CExportPanel* panel) {
            Control<QRadioButton>(panel, 259)->setChecked(true);
            RunEventsFor(std::chrono::milliseconds(300));
            for (int id : {206, 231, 232, 234, 235})
                EXPECT_TRUE(Control(panel, id)->isEnabled()) << id;
            // A clear time picker greys its time but not its box.
            auto* to = Control<CCheckedTimeEdit>(panel, 235);
            to->SetHasTime(false);
            EXPECT_FALSE(to->TimeEdit()->isEnabled());
            EXPECT_TRUE(to->CheckBox()->isEnabled());
            // A selected item that is not allowed falls back to All.
            Control<QRadioButton>(panel, 258)->setChecked(true);
            RunEventsFor(std::chrono::milliseconds(300));
            EXPECT_TRUE(Control<QRadioButton>(panel, 257)->isChecked());
            for (int id : {206, 231, 232, 234, 235})
                EXPECT_FALSE(Control(panel, id)->isEnabled()) << id;
        },
        "");
    CExportDialog::ExportAll(nullptr, m_base.Get());
    EXPECT_EQ(m_shown, 1);
    EXPECT_FALSE(fs::exists(Exports()) && !fs::is_empty(Exports())) << "cancelled: nothing written";
}

TEST_F(ExportDialog, F1OnAPanelControlShowsItsPopup)
{
    const std::string helpPath = Help::GetHelpPath();
    Help::SetHelpPath(WYS_HELP_DIR);
    bool shown = false;
    Answer(
        [&](CHistoryFileDialog* dialog, CExportPanel* panel) {
            QApplication::setActiveWindow(dialog);
            Control<QRadioButton>(panel, 259)->setChecked(true);
            RunEventsFor(std::chrono::milliseconds(300));
            auto* time = Control<CCheckedTimeEdit>(panel, 234)->TimeEdit();
            time->setFocus();
            QTest::keyClick(time, Qt::Key_F1);
            shown = ShownHelpPopup() != nullptr;
            if (QWidget* popup = ShownHelpPopup())
                popup->close();
        },
        "");
    CExportDialog::ExportAll(nullptr, m_base.Get());
    EXPECT_TRUE(shown);
    Help::SetHelpPath(helpPath);
}

TEST_F(ExportDialog, AnExportThatMatchesNothingWritesNoFileAndSaysSo)
{
    const auto nothingSaid = [this](std::size_t box) {
        ASSERT_GT(m_boxes->Count(), box);
        EXPECT_EQ(m_boxes->Shown()[box].text, CExportDialog::kNothingExportedText);
        EXPECT_EQ(m_boxes->Shown()[box].caption, "Export History Files");
    };
    // A range in which no visit lies.
    Answer([](CHistoryFileDialog*,
              CExportPanel* panel) { SetRange(panel, QDate(2003, 11, 20), {}, QDate(2003, 11, 21), {}); },
           Exports() + "/empty");
    CExportDialog::ExportAll(nullptr, m_base.Get());
    EXPECT_FALSE(fs::exists(Exports() + "/empty.hef"));
    nothingSaid(0);
    // The visits' days, but a URL none of them has.
    Answer(
        [](CHistoryFileDialog*, CExportPanel* panel) {
            SetRange(panel, QDate(2003, 11, 25), {}, QDate(2003, 11, 28), {});
            Control<QLineEdit>(panel, 206)->setText("http://nowhere.example/");
        },
        Exports() + "/nowhere");
    CExportDialog::ExportAll(nullptr, m_base.Get());
    EXPECT_FALSE(fs::exists(Exports() + "/nowhere.hef"));
    EXPECT_FALSE(fs::exists(Exports() + "/nowhere_files"));
    nothingSaid(1);
    // An export that writes its file says nothing.
    Answer({}, Exports() + "/all");
    CExportDialog::ExportAll(nullptr, m_base.Get());
    EXPECT_TRUE(fs::is_regular_file(Exports() + "/all.hef"));
    EXPECT_EQ(m_boxes->Count(), 2u);
}

TEST_F(ExportDialog, ImportingOneExportTwiceAddsItsVisitsOnceAndSaysWhatCameIn)
{
    fs::create_directories(Exports());
    {
        CExportDialog all;
        all.Path = Exports() + "/backup.hef";
        ASSERT_EQ(all.CallUrlBase(m_base.Get()), S_OK);
    }
    // The history loses its visits and takes them back from the export.
    m_server->Run([](IWYSCURLBase* base) { base->RemoveRange(0, kNov27 + 86400, nullptr); });
    ASSERT_EQ(m_server->Count(), 0u);
    int shown = 0;
    HistoryImport::SetShowHook([&](CHistoryFileDialog* dialog) {
        ++shown;
        QTimer::singleShot(0, dialog, [this, dialog, &shown] {
            EXPECT_EQ(dialog->windowTitle(), "Import History Files");
            if (shown == 1) {
                dialog->setDirectory(QString::fromStdString(Exports()));
                RunEventsFor(std::chrono::milliseconds(300));
                EXPECT_FALSE(SaveDialogScreenshot(dialog, "import-dialog").isEmpty());
            }
            TypeFileName(dialog, Exports() + "/backup");  // without its extension
        });
    });
    const auto importedPages = [this] {
        std::size_t pages = 0;
        if (fs::is_directory(History() + "/Imported"))
            for (const auto& entry : fs::recursive_directory_iterator(History() + "/Imported"))
                pages += entry.path().extension() == ".htm" ? 1 : 0;
        return pages;
    };
    EXPECT_EQ(HistoryImport::ImportHistoryFiles(nullptr), Exports() + "/backup.hef");
    EXPECT_EQ(m_server->Count(), 4u);
    ASSERT_EQ(m_boxes->Count(), 1u);
    EXPECT_EQ(m_boxes->Shown()[0].text, "Imported 4 visits, skipped 0.");
    EXPECT_EQ(m_boxes->Shown()[0].caption, "Import History Files");
    EXPECT_EQ(importedPages(), 4u);

    // The same file again: nothing comes in twice, and no page is copied.
    EXPECT_EQ(HistoryImport::ImportHistoryFiles(nullptr), Exports() + "/backup.hef");
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(m_server->Count(), 4u);
    ASSERT_EQ(m_boxes->Count(), 2u);
    EXPECT_EQ(m_boxes->Shown()[1].text, "Imported 0 visits, skipped 4.");
    EXPECT_EQ(importedPages(), 4u);
}

TEST_F(ExportDialog, ImportWithoutTheUrlBaseShowsNothing)
{
    int shown = 0;
    HistoryImport::SetShowHook([&](CHistoryFileDialog*) { ++shown; });
    m_server->Revoke();
    EXPECT_EQ(HistoryImport::ImportHistoryFiles(nullptr), "");
    EXPECT_EQ(shown, 0);
}

}  // namespace
}  // namespace wys::test
